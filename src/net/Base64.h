#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

namespace fiscora {

// Base64 text to single-byte text (one character per decoded byte, Windows-1252).
// Fails with {0x80040000, "MyDecode", "Input string is not valid Base64."} when the length
// without line breaks is not a multiple of 4. Empty input gives empty text.
Result<QString> MyDecode(const QString& text);
// The same decoding, the bytes themselves (a certificate's encoded form).
Result<QByteArray> MyDecodeBytes(const QString& text);

} // namespace fiscora

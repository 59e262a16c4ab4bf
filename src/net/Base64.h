#pragma once

#include "core/AppError.h"

#include <QByteArray>
#include <QString>

namespace fiscora {

// Base64 text to single-byte text (one character per decoded byte, Windows-1252).
// Returns false, with error = {0x80040000, "MyDecode", "Input string is not valid Base64."},
// when the length without line breaks is not a multiple of 4. Empty input gives empty text.
bool MyDecode(const QString& text, QString* decoded, AppError* error = nullptr);
// The same decoding, the bytes themselves (a certificate's encoded form).
bool MyDecodeBytes(const QString& text, QByteArray* decoded, AppError* error = nullptr);

} // namespace fiscora

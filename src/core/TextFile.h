#pragma once

#include "core/Result.h"

#include <QString>

namespace fiscora {

// Reads a Windows-1252 text file line by line, each line followed by CR LF (also the last one,
// with or without its own line end); an empty file gives the empty text.
// A failure when the file cannot be opened.
Result<QString> ReadFile(const QString& path);

} // namespace fiscora

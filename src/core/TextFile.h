#pragma once

#include <QString>

namespace fiscora {

// Reads a Windows-1252 text file line by line, each line followed by CR LF (also the last one,
// with or without its own line end); an empty file gives the empty text.
// ok (when given) is false when the file cannot be opened; the result is then empty.
QString ReadFile(const QString& path, bool* ok = nullptr);

} // namespace fiscora

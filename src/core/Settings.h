#pragma once

#include <QString>

namespace fiscora {

// The one reader of the settings file, read afresh at every call. Mirrors the Windows
// profile reader: 255 characters of room (so at most 254 kept), names matched without
// regard to case, values trimmed, and a value of fewer than two characters reads as missing.
QString ReadIni(const QString& section, const QString& key);

// Same rules on a given file (the tests, and the settings path above).
QString readIniFile(const QString& path, const QString& section, const QString& key);

} // namespace fiscora

#pragma once

#include <QList>
#include <QString>

#include <utility>

namespace fiscora {

// One section of the settings file as read at one moment, for callers that want several of its
// keys from one reading.
class IniSection {
public:
    // The first entry of this key, "" when absent or shorter than two characters.
    QString value(const QString& key) const;

private:
    friend IniSection readIniSectionFile(const QString& path, const QString& section);
    QList<std::pair<QString, QString>> m_entries; // keys and values in file order
};

// The one reader of a settings file (the program folder's settingsPath()), read afresh at every
// call. Mirrors the Windows profile reader: 255 characters of room (so at most 254 kept), names
// matched without regard to case, values trimmed, and a value of fewer than two characters reads
// as missing.
QString readIniFile(const QString& path, const QString& section, const QString& key);
IniSection readIniSectionFile(const QString& path, const QString& section);

} // namespace fiscora

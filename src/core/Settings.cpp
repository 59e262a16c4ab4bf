#include "core/Settings.h"

#include "core/Cp1252.h"

#include <QFile>

namespace fiscora {

namespace {

constexpr qsizetype kMaxValue = 254; // a buffer of 255 with its terminator

} // namespace

QString IniSection::value(const QString& key) const {
    for (const auto& [name, value] : m_entries) {
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return value.size() < 2 ? QString() : value;
    }
    return {};
}

IniSection readIniSectionFile(const QString& path, const QString& section) {
    IniSection result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QString text = Cp1252::decode(file.readAll());
    bool inSection = false;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        QStringView value = line.mid(eq + 1).trimmed();
        // The profile reader drops one pair of enclosing quotes.
        if (value.size() >= 2 && value.front() == value.back() &&
            (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
            value = value.mid(1, value.size() - 2);
        result.m_entries.append({line.left(eq).trimmed().toString(), value.left(kMaxValue).toString()});
    }
    return result;
}

QString readIniFile(const QString& path, const QString& section, const QString& key) {
    return readIniSectionFile(path, section).value(key);
}

} // namespace fiscora

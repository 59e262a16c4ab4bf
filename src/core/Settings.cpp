#include "core/Settings.h"

#include "core/Cp1252.h"
#include "core/ProgramFolder.h"

#include <QFile>

namespace fiscora {

namespace {

constexpr qsizetype kMaxValue = 254; // a buffer of 255 with its terminator

QString profileValue(const QString& path, const QString& section, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
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
        if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QStringView value = line.mid(eq + 1).trimmed();
        // The profile reader drops one pair of enclosing quotes.
        if (value.size() >= 2 && value.front() == value.back() &&
            (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
            value = value.mid(1, value.size() - 2);
        return value.left(kMaxValue).toString();
    }
    return {};
}

} // namespace

QString readIniFile(const QString& path, const QString& section, const QString& key) {
    const QString value = profileValue(path, section, key);
    return value.size() < 2 ? QString() : value;
}

QString ReadIni(const QString& section, const QString& key) {
    return readIniFile(ProgramFolder::settingsPath(), section, key);
}

} // namespace fiscora

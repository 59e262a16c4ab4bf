#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace jettest {

// Facts taken once from files Access itself made (catalog rows, index keys, header bytes) live
// as text in tests/fixtures/access; the files themselves are not part of the project. Setting
// FISCORA_DERIVE_FIXTURES to a folder holding those files makes the tests write the facts afresh.
inline QString accessFactsFolder() {
    return QStringLiteral(FISCORA_SOURCE_DIR "/tests/fixtures/access");
}

inline QString deriveFixturesFrom() {
    return qEnvironmentVariable("FISCORA_DERIVE_FIXTURES");
}

inline QStringList readFacts(const QString& name) {
    QFile file(QDir(accessFactsFolder()).filePath(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {QStringLiteral("<missing fixture %1>").arg(name)};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

inline bool writeFacts(const QString& name, const QStringList& lines) {
    QFile file(QDir(accessFactsFolder()).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    return file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) > 0;
}

// The facts of one kind ("object", "ace", ...): the lines that begin with it.
inline QStringList factsOf(const QStringList& facts, const QString& kind) {
    QStringList out;
    for (const QString& line : facts) {
        if (line.startsWith(kind + QLatin1Char(' ')))
            out.append(line);
    }
    return out;
}

} // namespace jettest

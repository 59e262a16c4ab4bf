#pragma once

#include "support/ProgramFolderFixture.h"

#include <QByteArray>
#include <QDir>
#include <QtEndian>

namespace fiscora::test {

// The build's empty NovaGIA package with one damaged byte: the length of a column's properties
// in the catalog set to 0, on which libmdb takes memory without end while it reads the catalog.
// Empty when the package has no such properties.
inline QByteArray runawayExport() {
    QByteArray bytes = readBytes(QDir(buildProgramFolder()).filePath(QStringLiteral("gia_limpa.mdb")));
    const QByteArray blob("MR2", 4);
    for (qsizetype at = bytes.indexOf(blob); at >= 0 && at + 8 <= bytes.size();
         at = bytes.indexOf(blob, at + 4)) {
        // After the names chunk: the first owner's, a column's when its type is 1.
        const qsizetype chunk = at + 4 + qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (chunk > at && chunk + 6 <= bytes.size() &&
            qFromLittleEndian<quint16>(bytes.constData() + chunk + 4) == 1 &&
            qFromLittleEndian<quint32>(bytes.constData() + chunk) < 256) {
            bytes[chunk] = 0;
            return bytes;
        }
    }
    return {};
}

} // namespace fiscora::test

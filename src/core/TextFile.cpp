#include "core/TextFile.h"

#include "core/Cp1252.h"

#include <QDir>
#include <QFile>

namespace fiscora {

Result<QString> ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return AppError::message(QStringLiteral("Não foi possível abrir o arquivo %1: %2")
                                     .arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    QByteArray out;
    out.reserve(bytes.size() + 2);
    // A line ends at CR LF, a lone CR or a lone LF, as the text-stream reader does.
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        out.append(bytes.constData() + start, i - start);
        out.append("\r\n");
        if (c == '\r' && i + 1 < n && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n) {
        out.append(bytes.constData() + start, n - start);
        out.append("\r\n");
    }
    return Cp1252::decode(out);
}

} // namespace fiscora

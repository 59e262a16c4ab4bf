#include "RequestLog.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace servidor {

RequestLog::RequestLog(const QString& dataFolder)
    : m_path(QDir(dataFolder).filePath(QStringLiteral("requisicoes.log"))) {}

// Text from the request (decoded query values, names) may hold anything: control characters
// are written as \xHH escapes, so one request is always one line.
QString RequestLog::escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, u'0').toUpper();
        else
            out += c;
    }
    return out;
}

void RequestLog::write(const QString& line) {
    const QByteArray bytes = escaped(line).toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(bytes);
}

} // namespace servidor

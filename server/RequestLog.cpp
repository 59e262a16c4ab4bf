#include "RequestLog.h"

#include "core/EscapedText.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace servidor {

RequestLog::RequestLog(const QString& dataFolder)
    : m_path(QDir(dataFolder).filePath(QStringLiteral("requisicoes.log")))
    , m_timesPath(QDir(dataFolder).filePath(QStringLiteral("tempos.log"))) {}

void RequestLog::writeTime(const QString& line, int clientPort, double milliseconds) {
    const QByteArray bytes = fiscora::escapeControls(line).toUtf8() + '\t' + QByteArray::number(clientPort) +
                             '\t' + QByteArray::number(milliseconds, 'f', 3) + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    QFile file(m_timesPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(bytes);
}

void RequestLog::write(const QString& line) {
    // Text from the request (decoded query values, names) may hold anything: escaped, one request
    // is always one line.
    const QByteArray bytes = fiscora::escapeControls(line).toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(bytes);
}

} // namespace servidor

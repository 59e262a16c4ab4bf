#include "RequestLog.h"

#include "core/EscapedText.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace servidor {

RequestLog::RequestLog(const QString& dataFolder)
    : m_path(QDir(dataFolder).filePath(QStringLiteral("requisicoes.log"))) {}

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

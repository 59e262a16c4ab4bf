#pragma once

#include <QString>

#include <mutex>

namespace servidor {

// One line per request ("METHOD target [detail]") on stderr and in requisicoes.log of the data
// folder, which tests read to see what the client asked for.
class RequestLog {
public:
    explicit RequestLog(const QString& dataFolder);
    // Writes one line; control characters in it are escaped.
    void write(const QString& line);

private:
    QString m_path;
    std::mutex m_mutex;
};

} // namespace servidor

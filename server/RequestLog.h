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
    // The server's own time for a request, from its headers to its answer, in tempos.log (what a
    // benchmark compares the client's time with), after the client's port (which tells the
    // requests of one kept connection).
    void writeTime(const QString& line, int clientPort, double milliseconds);

private:
    QString m_path;
    QString m_timesPath;
    std::mutex m_mutex;
};

} // namespace servidor

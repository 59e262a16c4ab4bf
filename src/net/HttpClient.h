#pragma once

#include "core/ProgramFolder.h"
#include "core/Result.h"
#include "net/Transport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace fiscora {

class HttpClient;
class ModalGate;
class ServerAddress;

// An answer read to its provable end (its declared length, or the last chunk of a chunked body).
struct HttpAnswer {
    int status = 0; // HTTP status; the caller decides what it means
    QByteArray body;
};

// One exchange under way. It belongs to the context it was started with: destroying it (or the
// context) ends the exchange and nothing is reported.
class HttpJob final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpJob)

public:
    using Handler = std::function<void(Result<HttpAnswer>)>;
    struct Exchange;
    ~HttpJob() override;

private:
    friend class HttpClient;
    HttpJob(ModalGate& gate, QObject* context, Handler done);
    void begin(const HttpClient& client, const ServerAddress& server, const QString& url,
               const QByteArray* body, const HttpHeaders& headers, qint64 maxBody);
    // An empty error: the answer came.
    void finish(const QString& error, HttpAnswer answer = {});

    ModalGate& m_gate;
    std::unique_ptr<Exchange> m_exchange;
    Handler m_done;
};

// HTTP/1.1 or HTTPS exchanges on the one transport (net/Transport: libcurl, the proxy
// and the authorities of the settings, no redirects, no compression). Everything short of the whole answer is
// a failure: no connection, a certificate that does not verify, a stall of idleTimeoutMs()
// without progress (connecting included), an exchange longer than totalTimeoutMs(), a body past
// maxBody bytes, a body cut short (declared length not reached, chunked body without its last
// chunk), or the wait ended from outside (the program quitting).
class HttpClient {
public:
    static constexpr int kIdleTimeoutMs = 30'000;
    static constexpr int kTotalTimeoutMs = 120'000;

    // The server of the folder's settings, the gate the outcomes go through, and the time limits
    // of every exchange this client starts. The folder and the gate are not owned: they outlive
    // the client.
    HttpClient(const ProgramFolder& folder, ModalGate& gate, int idleTimeoutMs = kIdleTimeoutMs,
               int totalTimeoutMs = kTotalTimeoutMs)
        : m_folder(&folder)
        , m_gate(&gate)
        , m_idleMs(idleTimeoutMs)
        , m_totalMs(totalTimeoutMs) {}

    // The exchange starts at once; `done` runs once, later (never inside the call), with the
    // answer or the failure, when no box of the gate is up (core/ModalGate). The job is the
    // context's child.
    HttpJob* get(const QString& url, qint64 maxBody, QObject* context, HttpJob::Handler done) const;
    HttpJob* post(const ServerAddress& server, const QString& url, const QByteArray& body,
                  const HttpHeaders& headers, qint64 maxBody, QObject* context, HttpJob::Handler done) const;
    // A file from the server: the body of a 2xx answer; any other status is a failure.
    HttpJob* download(const QString& url, qint64 maxBody, QObject* context,
                      std::function<void(Result<QByteArray>)> done) const;

    int idleTimeoutMs() const { return m_idleMs; }
    int totalTimeoutMs() const { return m_totalMs; }
    // Whose settings name the server.
    const ProgramFolder& folder() const { return *m_folder; }
    ModalGate& gate() const { return *m_gate; }

private:
    const ProgramFolder* m_folder;
    ModalGate* m_gate;
    int m_idleMs;
    int m_totalMs;
};

} // namespace fiscora

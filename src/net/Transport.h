#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace fiscora {

class ServerAddress;

// A connection the server closed without a byte of answer.
inline const QString kClosedWithoutAnswerText =
    QStringLiteral("O servidor encerrou a conexão sem responder.");

// The source of a failure that is a proxy's refusal: the server never had the request.
inline const QString kProxyRefusalSource = QStringLiteral("Proxy");

// The transport's code for a time limit passed (libcurl's CURLE_OPERATION_TIMEDOUT), for failures
// the program's own timers find.
inline constexpr int kTransportTimedOut = 28;

// Statuses with which a proxy answers in place of the server: access denied, authentication
// wanted, the server unreachable or too slow for it.
inline bool isProxyRefusalStatus(int status) {
    return status == 403 || status == 407 || status == 502 || status == 503 || status == 504;
}

// How a connection reaches its address: straight, through an HTTP proxy that is handed the
// address itself (plain http), or through a tunnel (CONNECT for https, or a SOCKS proxy), where
// the server sees what a direct connection would send.
struct Route {
    QString proxy;             // empty: direct
    bool viaHttpProxy = false; // a proxy that is not a tunnel
};

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// The transport (libcurl, in the module net/NetworkLibrary loads) as the program sees it. Each
// exchange is driven by the event loop of the thread that made it, so windows keep repainting;
// every option an exchange shares is the transport's: only http and https, no redirects, no
// compression, HTTP/1.1, the server's certificate verified (against the settings' file of
// authorities, else the system's), the proxy the settings and the environment choose. Callbacks
// run from the event loop, never inside the call that started the exchange; destroying the
// object ends the exchange silently.

// What an HTTP exchange asks for: a GET, or a POST of `body` when `post`.
struct HttpRequest {
    QString url;
    HttpHeaders headers;
    bool post = false;
    QByteArray body;
    qint64 maxBody = 0;
    int connectTimeoutMs = 0;
};

// How an HTTP exchange ended.
struct HttpTransferEnd {
    enum class Kind {
        Answered, // read to its provable end
        Cut,      // closed before the end of the answer's head
        TooLarge, // the body passed maxBody
        Failed,   // failure says what went wrong
    };
    Kind kind = Kind::Failed;
    int status = 0;
    QByteArray body;
    QString failure;
};

class HttpTransfer {
public:
    virtual ~HttpTransfer() = default;
    // Fails at once when the address is not one the transport takes; otherwise `progressed`
    // runs whenever bytes move, and `done` once at the end (it may destroy nothing but may
    // call close()).
    virtual Status start(const HttpRequest& request, const ServerAddress& settings,
                         std::function<void()> progressed, std::function<void(HttpTransferEnd)> done) = 0;
    // Ends the exchange at once; nothing more is reported.
    virtual void close() = 0;
};

// The outcome of one non-blocking send or receive on a Connection.
struct ConnectionIo {
    enum class Kind { Moved, Again, Closed };
    Kind kind = Kind::Closed;
    qint64 bytes = 0; // Moved: how many
    int code = 0;     // the transport's code (0 for a plain close)
};

// A connection the transport opens (TCP, TLS, proxy) and hands over: the bytes on it are the
// owner's to write and read.
class Connection {
public:
    virtual ~Connection() = default;
    // Starts connecting to `url` (scheme, host and port only); `done` runs once, with 0 when
    // connected or the transport's code of the failure. Fails at once for an unusable address.
    virtual Status connect(const QString& url, const ServerAddress& settings, int timeoutMs,
                           std::function<void(int code)> done) = 0;
    virtual const Route& route() const = 0;
    // After connecting: the socket, which the transport no longer watches.
    virtual int takeSocket() = 0;
    virtual ConnectionIo send(const char* data, qint64 size) = 0;
    virtual ConnectionIo receive(char* data, qint64 size) = 0;
    // Closes the connection at once; nothing more is reported.
    virtual void close() = 0;

    // A failure in Portuguese: what went wrong and with which host.
    virtual QString failureText(int code) const = 0;
    // The proxy refused the CONNECT: the connection failed in its hands, not the server's.
    virtual bool refusedByProxy() const = 0;
    // The proxy refused the exchange with this status ("403", "403 Forbidden").
    virtual QString proxyRefusalText(const QString& status) const = 0;
};

} // namespace fiscora

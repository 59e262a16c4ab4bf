#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace fiscora {

class ServerAddress;

// An answer read to its provable end (its declared length, or the last chunk of a chunked body).
struct HttpAnswer {
    int status = 0; // HTTP status; the caller decides what it means
    QByteArray body;
};

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// Blocking HTTP/1.1 or HTTPS exchanges on the one transport (net/Transport: libcurl, the proxy
// and the authorities of the settings, no redirects, no compression). The caller's window keeps
// repainting but takes no input until the answer is in. Everything short of the whole answer is
// a failure: no connection, a certificate that does not verify, a stall of idleTimeoutMs()
// without progress (connecting included), an exchange longer than totalTimeoutMs(), a body past
// maxBody bytes, a body cut short (declared length not reached, chunked body without its last
// chunk), or the wait ended from outside (the program quitting).
class HttpClient {
public:
    static constexpr int kIdleTimeoutMs = 30'000;
    static constexpr int kTotalTimeoutMs = 120'000;

    static Result<HttpAnswer> get(const QString& url, qint64 maxBody);
    static Result<HttpAnswer> post(const QString& url, const QByteArray& body, const HttpHeaders& headers,
                                   qint64 maxBody);
    // The same through the proxy and authorities of settings already read.
    static Result<HttpAnswer> post(const ServerAddress& server, const QString& url, const QByteArray& body,
                                   const HttpHeaders& headers, qint64 maxBody);
    // A file from the server: the body of a 2xx answer; any other status is a failure.
    static Result<QByteArray> download(const QString& url, qint64 maxBody);

    static int idleTimeoutMs();
    static int totalTimeoutMs();
    // Shorter limits for tests; 0 restores the defaults.
    static void setTimeLimitsMs(int idleMs, int totalMs);
};

} // namespace fiscora

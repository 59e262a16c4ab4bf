#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace fiscora {

struct HttpResponse {
    bool ok = false; // the exchange completed at the transport level (any HTTP status)
    int status = 0;  // HTTP status, for logs and tests; callers of the program do not examine it
    QByteArray body;
    QString error; // transport failure, when !ok
};

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// Blocking HTTP over Qt Network. The caller's window keeps repainting but takes no input
// until the answer is in. No proxy. A stall of kIdleTimeoutMs without progress (connecting
// included) or a whole exchange longer than kTotalTimeoutMs is a transport failure.
class HttpClient {
public:
    static constexpr int kIdleTimeoutMs = 30'000;
    static constexpr int kTotalTimeoutMs = 120'000;

    static HttpResponse get(const QString& url);
    static HttpResponse post(const QString& url, const QByteArray& body, const HttpHeaders& headers);
};

} // namespace fiscora

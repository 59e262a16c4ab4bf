#pragma once

#include "core/Result.h"
#include "core/ServerAddress.h"
#include "net/Transport.h"

#include <curl/curl.h>

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace fiscora {

// One libcurl transfer with a multi handle of its own, driven by the event loop of the thread
// that made it: a socket notifier for each socket libcurl watches and a timer for its time-outs,
// so windows keep repainting while it runs. Every exchange with the server is one of these.
class CurlTransfer final {
public:
    CurlTransfer();
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    CURL* handle() const { return m_easy; }
    const Route& route() const { return m_route; }

    // The options every exchange shares, for this address: only http and https, no redirects,
    // no compression, HTTP/1.1, the server's certificate verified (against the settings' file of
    // authorities, else the system's), the proxy the settings and the environment choose.
    Status configure(const QString& url, const ServerAddress& settings);
    // Starts the transfer; `done` runs once, when libcurl is through with it (it must not delete
    // this object).
    void start(std::function<void(CURLcode)> done);
    // The transfer's sockets are no longer watched (a connection made with CURLOPT_CONNECT_ONLY
    // is then driven by its owner with curl_easy_send and curl_easy_recv).
    void releaseSockets();
    // Closes the connection at once; safe from inside `done`.
    void close();

    // A failure in Portuguese: what went wrong and with which host.
    QString failureText(CURLcode code) const;
    // The proxy refused the CONNECT: the connection failed in its hands, not the server's.
    bool refusedByProxy() const;
    // The proxy refused the exchange with this status ("403", "403 Forbidden").
    QString proxyRefusalText(const QString& status) const;

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* self, void* socketData);
    static int onTimer(CURLM* multi, long milliseconds, void* self);
    void watch(curl_socket_t socket, int what);
    void act(curl_socket_t socket, int events);
    void drop(Watch& watch);

    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    QObject m_context; // parent of the notifiers and the timer
    QTimer* m_timer = nullptr;
    std::map<curl_socket_t, Watch> m_sockets;
    std::function<void(CURLcode)> m_done;
    bool m_added = false;
    bool m_released = false;
    QString m_host;
    QString m_authorities;
    Route m_route;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

// The transport's two kinds of exchange, on libcurl.
std::unique_ptr<HttpTransfer> curlHttpTransfer();
std::unique_ptr<Connection> curlConnection();

} // namespace fiscora

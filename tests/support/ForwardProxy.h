#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fiscora::test {

// A small forward proxy on 127.0.0.1, on threads of its own (so a client blocked on the window
// thread, or on another thread, is still served): requests in absolute form are passed on in
// origin form, CONNECT opens a tunnel. It records the head of every request it was given.
class ForwardProxy {
public:
    ForwardProxy();
    ~ForwardProxy();
    ForwardProxy(const ForwardProxy&) = delete;
    ForwardProxy& operator=(const ForwardProxy&) = delete;

    // "http://127.0.0.1:PORT", empty when it could not listen.
    QString url() const;
    // Each request's line and header fields, as the client sent them to the proxy.
    QStringList requests() const;
    // The request lines only.
    QStringList requestLines() const;
    // From now on every request, CONNECT or not, is answered by the proxy itself with this
    // status ("403 Forbidden") and a page of its own, as a proxy that refuses does.
    void refuseWith(const QByteArray& status);

private:
    void acceptLoop();
    void serve(int client);

    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_connections;
    QStringList m_requests;
    QByteArray m_refusal;
};

} // namespace fiscora::test

#include "support/ForwardProxy.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fiscora::test {

namespace {

int connectTo(const QByteArray& host, const QByteArray& port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    QByteArray name = host;
    if (name.startsWith('[') && name.endsWith(']'))
        name = name.mid(1, name.size() - 2);
    if (::getaddrinfo(name.constData(), port.constData(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

bool sendAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Copies both ways until both sides have closed (or the proxy stops).
void relay(int a, int b, const std::atomic<bool>& stop) {
    bool open[2] = {true, true};
    const int fds[2] = {a, b};
    char buffer[64 * 1024];
    while ((open[0] || open[1]) && !stop) {
        pollfd set[2] = {{a, short(open[0] ? POLLIN : 0), 0}, {b, short(open[1] ? POLLIN : 0), 0}};
        if (::poll(set, 2, 100) < 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!open[i] || !(set[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(fds[i], buffer, sizeof buffer, 0);
            if (n <= 0 || !sendAll(fds[1 - i], buffer, n)) {
                open[i] = false;
                ::shutdown(fds[1 - i], SHUT_WR);
            }
        }
    }
}

} // namespace

ForwardProxy::ForwardProxy() {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 64) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

ForwardProxy::~ForwardProxy() {
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> connections;
    {
        const std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (std::thread& connection : connections)
        connection.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

QString ForwardProxy::url() const {
    return m_listener < 0 ? QString() : QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QStringList ForwardProxy::requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

QStringList ForwardProxy::requestLines() const {
    QStringList lines;
    for (const QString& request : requests())
        lines.append(request.section(QStringLiteral("\r\n"), 0, 0));
    return lines;
}

void ForwardProxy::refuseWith(const QByteArray& status) {
    const std::lock_guard lock(m_mutex);
    m_refusal = status;
}

void ForwardProxy::acceptLoop() {
    while (!m_stop) {
        pollfd set{m_listener, POLLIN, 0};
        if (::poll(&set, 1, 100) <= 0)
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        const std::lock_guard lock(m_mutex);
        m_connections.emplace_back([this, client] { serve(client); });
    }
}

void ForwardProxy::serve(int client) {
    QByteArray head;
    char buffer[4096];
    while (!head.contains("\r\n\r\n") && head.size() < 64 * 1024 && !m_stop) {
        pollfd set{client, POLLIN, 0};
        if (::poll(&set, 1, 100) == 0)
            continue;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        head.append(buffer, n);
    }
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        ::close(client);
        return;
    }
    QByteArray refusal;
    {
        const std::lock_guard lock(m_mutex);
        m_requests.append(QString::fromLatin1(head.left(end)));
        refusal = m_refusal;
    }
    if (!refusal.isEmpty()) {
        // Answered at once, whatever of the body is still coming, which is then read and dropped.
        const QByteArray page = "<html><body>Acesso negado pelo proxy: " + refusal + "</body></html>";
        const QByteArray challenge =
            refusal.startsWith("407") ? "Proxy-Authenticate: Basic realm=\"proxy\"\r\n" : "";
        const QByteArray reply =
            "HTTP/1.1 " + refusal + "\r\n" + challenge +
            "Content-Type: text/html\r\nContent-Length: " + QByteArray::number(page.size()) +
            "\r\nConnection: close\r\n\r\n" + page;
        sendAll(client, reply.constData(), reply.size());
        ::shutdown(client, SHUT_WR);
        while (!m_stop) {
            pollfd set{client, POLLIN, 0};
            if (::poll(&set, 1, 100) == 0)
                continue;
            if (::recv(client, buffer, sizeof buffer, 0) <= 0)
                break;
        }
        ::close(client);
        return;
    }
    const qsizetype lineEnd = head.indexOf("\r\n");
    const QList<QByteArray> line = head.left(lineEnd).split(' ');
    int server = -1;
    if (line.size() == 3 && line[0] == "CONNECT") {
        const qsizetype colon = line[1].lastIndexOf(':');
        server = connectTo(line[1].left(colon), line[1].mid(colon + 1));
        const QByteArray reply = server >= 0 ? "HTTP/1.1 200 Connection established\r\n\r\n"
                                             : "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n";
        sendAll(client, reply.constData(), reply.size());
        if (server >= 0 && head.size() > end + 4)
            sendAll(server, head.constData() + end + 4, head.size() - end - 4);
    } else if (line.size() == 3 && line[1].startsWith("http://")) {
        // "http://host[:port]/path": passed on as "/path" to host:port.
        const QByteArray rest = line[1].mid(7);
        const qsizetype slash = rest.indexOf('/');
        const QByteArray authority = slash < 0 ? rest : rest.left(slash);
        const QByteArray target = slash < 0 ? QByteArray("/") : rest.mid(slash);
        const qsizetype colon = authority.lastIndexOf(':');
        const bool hasPort = colon > authority.lastIndexOf(']');
        server =
            connectTo(hasPort ? authority.left(colon) : authority, hasPort ? authority.mid(colon + 1) : "80");
        const QByteArray forwarded = line[0] + ' ' + target + ' ' + line[2] + head.mid(lineEnd);
        if (server >= 0)
            sendAll(server, forwarded.constData(), forwarded.size());
    }
    if (server >= 0) {
        relay(client, server, m_stop);
        ::close(server);
    }
    ::close(client);
}

} // namespace fiscora::test

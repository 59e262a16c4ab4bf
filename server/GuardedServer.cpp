#include "GuardedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace servidor {

namespace {

using Clock = std::chrono::steady_clock;

// The connection of one worker thread, read with deadlines. Buffered, because the library
// reads the request line and headers a byte at a time.
class DeadlineStream final : public httplib::Stream {
public:
    DeadlineStream(socket_t sock, const GuardedServer::Times& times)
        : m_sock(sock)
        , m_times(times) {}

    // A new request begins: its header and whole-request clocks start now.
    void beginRequest() {
        const Clock::time_point now = Clock::now();
        m_headerDeadline = now + m_times.header;
        m_requestDeadline = now + m_times.request;
        m_headersDone = false;
        m_closeAfter = false;
    }
    void headersDone() { m_headersDone = true; }
    // From now on the connection is read and written through this TLS session.
    void setTls(SSL* ssl) { m_ssl = ssl; }
    bool headersWereDone() const { return m_headersDone; }
    void closeAfterResponse() { m_closeAfter = true; }
    bool closeAfter() const { return m_closeAfter; }
    bool hasBuffered() const { return m_begin < m_end || (m_ssl && SSL_pending(m_ssl) > 0); }

    // Waits for the first byte of a request; false when none comes in time.
    bool waitForRequest(std::chrono::milliseconds wait) const { return hasBuffered() || poll(POLLIN, wait); }

    bool is_readable() const override { return hasBuffered() || poll(POLLIN, readWait()); }
    bool is_writable() const override { return poll(POLLOUT, m_times.read); }

    ssize_t read(char* ptr, size_t size) override {
        if (m_ssl && m_begin == m_end) {
            const ssize_t n = tlsRead();
            if (n <= 0)
                return n;
        } else if (!hasBuffered()) {
            if (!poll(POLLIN, readWait()))
                return -1;
            ssize_t n;
            do
                n = ::recv(m_sock, m_buffer, sizeof m_buffer, 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0)
                return n;
            m_begin = 0;
            m_end = std::size_t(n);
        }
        const std::size_t count = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buffer + m_begin, count);
        m_begin += count;
        return ssize_t(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (m_ssl)
            return tlsWrite(ptr, size);
        if (!is_writable())
            return -1;
        ssize_t n;
        do
            n = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(false, ip, port); }
    socket_t socket() const override { return m_sock; }

    // The TLS handshake, within the header time.
    bool handshake() {
        const Clock::time_point until = Clock::now() + m_times.header;
        for (;;) {
            const int result = SSL_accept(m_ssl);
            if (result == 1)
                return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            const int error = SSL_get_error(m_ssl, result);
            if (left.count() <= 0 || !awaitTls(error, left))
                return false;
        }
    }

private:
    ssize_t tlsRead() {
        for (;;) {
            const int n = SSL_read(m_ssl, m_buffer, int(sizeof m_buffer));
            if (n > 0) {
                m_begin = 0;
                m_end = std::size_t(n);
                return n;
            }
            const int error = SSL_get_error(m_ssl, n);
            if (error == SSL_ERROR_ZERO_RETURN)
                return 0;
            if (!awaitTls(error, readWait()))
                return -1;
        }
    }

    ssize_t tlsWrite(const char* ptr, size_t size) {
        for (;;) {
            const int n = SSL_write(m_ssl, ptr, int(std::min<size_t>(size, INT_MAX)));
            if (n > 0)
                return n;
            if (!awaitTls(SSL_get_error(m_ssl, n), m_times.read))
                return -1;
        }
    }

    // After a TLS call that could not finish yet: waits, at most `wait`, for the socket to be ready
    // the way OpenSSL asks; false for any other error or when the wait runs out.
    bool awaitTls(int error, std::chrono::milliseconds wait) const {
        return (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) &&
               poll(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, wait);
    }

    // The longest the next read may wait: the read time-out, cut short by the request's
    // deadlines (the header one until the headers are in).
    std::chrono::milliseconds readWait() const {
        const Clock::time_point now = Clock::now();
        Clock::time_point limit = std::min(now + m_times.read, m_requestDeadline);
        if (!m_headersDone)
            limit = std::min(limit, m_headerDeadline);
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(limit - now));
    }

    bool poll(short events, std::chrono::milliseconds wait) const {
        pollfd descriptor{m_sock, events, 0};
        const Clock::time_point until = Clock::now() + wait;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            const int ready = ::poll(&descriptor, 1, int(std::max<long long>(0, left.count())));
            if (ready > 0)
                return (descriptor.revents & (events | POLLHUP | POLLERR)) != 0;
            if (ready == 0 || errno != EINTR)
                return false;
        }
    }

    void address(bool remote, std::string& ip, int& port) const {
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        auto* any = reinterpret_cast<sockaddr*>(&storage);
        if ((remote ? ::getpeername(m_sock, any, &length) : ::getsockname(m_sock, any, &length)) != 0)
            return;
        char text[INET6_ADDRSTRLEN] = {};
        if (storage.ss_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(&storage);
            ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            port = ntohs(v4->sin_port);
        } else if (storage.ss_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&storage);
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            port = ntohs(v6->sin6_port);
        }
        ip = text;
    }

    socket_t m_sock;
    SSL* m_ssl = nullptr;
    const GuardedServer::Times& m_times;
    Clock::time_point m_headerDeadline;
    Clock::time_point m_requestDeadline;
    bool m_headersDone = false;
    bool m_closeAfter = false;
    char m_buffer[4096];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

// The stream of the request this worker thread is serving (the library runs a request's
// handlers on the thread that reads it).
thread_local DeadlineStream* t_stream = nullptr;

thread_local std::chrono::steady_clock::time_point t_requestStart;

bool hasBody(const std::string& method) {
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE" || method == "PRI";
}

} // namespace

GuardedServer::GuardedServer(std::size_t defaultBodyLimit, std::size_t workers)
    : m_defaultLimit(defaultBodyLimit) {
    new_task_queue = [workers] {
        return new httplib::ThreadPool(workers);
    };
    set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        t_requestStart = std::chrono::steady_clock::now();
        return admit(request, response);
    });
}

std::chrono::steady_clock::time_point GuardedServer::requestStart() {
    return t_requestStart;
}

GuardedServer::~GuardedServer() {
    SSL_CTX_free(m_tls);
}

bool GuardedServer::useTls(const std::string& certificateFile, const std::string& keyFile,
                           std::string* error) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    const bool ok = context && SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
                    SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) == 1 &&
                    SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
                    SSL_CTX_check_private_key(context) == 1;
    if (!ok) {
        char text[256] = {};
        ERR_error_string_n(ERR_get_error(), text, sizeof text);
        *error = text;
        SSL_CTX_free(context);
        return false;
    }
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_free(m_tls);
    m_tls = context;
    return true;
}

void GuardedServer::setBodyLimit(const std::string& pathPrefix, std::size_t bytes) {
    m_limits.emplace_back(pathPrefix, bytes);
    std::size_t largest = m_defaultLimit;
    for (const auto& [prefix, limit] : m_limits)
        largest = std::max(largest, limit);
    // The library's own ceiling, for any way around the check below.
    set_payload_max_length(largest);
}

std::size_t GuardedServer::bodyLimit(const std::string& path) const {
    std::size_t matched = 0;
    std::size_t limit = m_defaultLimit;
    for (const auto& [prefix, bytes] : m_limits) {
        if (path.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= matched) {
            matched = prefix.size();
            limit = bytes;
        }
    }
    return limit;
}

httplib::Server::HandlerResponse GuardedServer::admit(const httplib::Request& request,
                                                      httplib::Response& response) const {
    if (t_stream)
        t_stream->headersDone();
    if (!hasBody(request.method))
        return HandlerResponse::Unhandled;
    // The answer is a code line and a sentence, as the upload routes answer.
    const auto refuse = [&](int status, const std::string& why) {
        response.status = status;
        response.set_content(why, "text/plain; charset=utf-8");
        // The body was not read: the connection cannot carry another request.
        if (t_stream)
            t_stream->closeAfterResponse();
        return HandlerResponse::Handled;
    };
    if (request.has_header("Transfer-Encoding") || !request.has_header("Content-Length"))
        return refuse(411, "SEM_TAMANHO\nO pedido não informa Content-Length.");
    const std::string declared = request.get_header_value("Content-Length");
    if (declared.empty() || declared.size() > 18 ||
        declared.find_first_not_of("0123456789") != std::string::npos)
        return refuse(400, "TAMANHO_INVALIDO\nO Content-Length do pedido não é um número.");
    const std::size_t limit = bodyLimit(request.path);
    if (std::stoull(declared) > limit)
        return refuse(413, "ARQUIVO_GRANDE\nO corpo do pedido excede o limite de " + std::to_string(limit) +
                               " bytes deste endereço.");
    return HandlerResponse::Unhandled;
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    DeadlineStream stream(sock, m_times);
    SSL* ssl = nullptr;
    if (m_tls) {
        ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
        ssl = SSL_new(m_tls);
        const bool ready = ssl && SSL_set_fd(ssl, sock) == 1;
        if (ready)
            stream.setTls(ssl);
        if (!ready || !stream.handshake()) {
            SSL_free(ssl);
            ERR_clear_error();
            ::shutdown(sock, SHUT_RDWR);
            ::close(sock);
            return false;
        }
    }
    t_stream = &stream;
    bool ok = false;
    const std::size_t requests = keep_alive_max_count_;
    for (std::size_t left = requests; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
        if (!stream.waitForRequest(left == requests ? m_times.read : m_times.keepAlive))
            break;
        stream.beginRequest();
        bool closed = false;
        ok = process_request(stream, left == 1, closed, nullptr);
        // A request whose headers never arrived whole (too slow, malformed) ends the connection.
        if (!ok || closed || stream.closeAfter() || !stream.headersWereDone())
            break;
    }
    t_stream = nullptr;
    if (stream.closeAfter()) {
        // A refused body is still on its way: read a little of it after our answer has gone, so
        // the close does not reset the connection before the client has read the answer.
        ::shutdown(sock, SHUT_WR);
        char sink[4096];
        const Clock::time_point until = Clock::now() + std::chrono::seconds(1);
        for (int reads = 0; reads < 256 && Clock::now() < until; ++reads) {
            pollfd descriptor{sock, POLLIN, 0};
            if (::poll(&descriptor, 1, 100) <= 0 || ::recv(sock, sink, sizeof sink, 0) <= 0)
                break;
        }
    }
    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
        ERR_clear_error();
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}

} // namespace servidor

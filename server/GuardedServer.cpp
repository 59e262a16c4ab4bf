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
#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>

namespace servidor {

namespace {

using Clock = std::chrono::steady_clock;

// The connection of one worker thread, read with deadlines. Buffered, because the library
// reads the request line and headers a byte at a time; it starts with the bytes read before.
class DeadlineStream final : public httplib::Stream {
public:
    DeadlineStream(socket_t sock, const GuardedServer::Times& times, std::string readAlready)
        : m_sock(sock)
        , m_times(times)
        , m_buffer(std::move(readAlready))
        , m_end(m_buffer.size()) {
        m_buffer.resize(std::max<std::size_t>(m_buffer.size(), 4096));
    }

    // A new request, whose first byte came at `start`: its header and whole-request clocks run
    // from then.
    void beginRequest(Clock::time_point start) {
        m_headerDeadline = start + m_times.header;
        m_requestDeadline = start + m_times.request;
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
                n = ::recv(m_sock, m_buffer.data(), m_buffer.size(), 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0)
                return n;
            m_begin = 0;
            m_end = std::size_t(n);
        }
        const std::size_t count = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buffer.data() + m_begin, count);
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

private:
    ssize_t tlsRead() {
        for (;;) {
            const int n = SSL_read(m_ssl, m_buffer.data(), int(m_buffer.size()));
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
    std::string m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

// The stream of the request this worker thread is serving (the library runs a request's
// handlers on the thread that reads it).
thread_local DeadlineStream* t_stream = nullptr;

thread_local std::chrono::steady_clock::time_point t_requestStart;

// How many connections may wait for their request at once; past it the longest waiting go.
constexpr std::size_t kMaxWaiting = 512;
// A head that has not ended by this size goes to a worker as it is, for the library to judge.
constexpr std::size_t kMaxHead = 16 * 1024;

// Whether the bytes hold the end of a request's head; `from` is where the bytes just read begin.
bool headEnded(const std::string& bytes, std::size_t from) {
    const std::size_t back = from < 3 ? 0 : from - 3;
    return bytes.find("\r\n\r\n", back) != std::string::npos || bytes.find("\n\n", back) != std::string::npos;
}

bool hasBody(const std::string& method) {
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE" || method == "PRI";
}

} // namespace

// A connection between requests: accepted, or back from a worker for its next request.
struct GuardedServer::Connection {
    socket_t sock = INVALID_SOCKET;
    SSL* ssl = nullptr;
    bool secured = false; // its TLS handshake is done
    std::string head;     // what has come of the next request
    Clock::time_point deadline;
    Clock::time_point start; // when the next request's first byte came
    std::size_t requestsLeft = 0;
    short events = POLLIN;

    void close(bool notify) {
        if (ssl) {
            if (notify && secured)
                SSL_shutdown(ssl);
            SSL_free(ssl);
            ERR_clear_error();
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
    }
};

// The library's task queue, in front of its worker pool: one thread watches every connection
// that has no request to serve yet (non-blocking, with poll) and passes it to the pool once its
// request's head is in.
class GuardedServer::Front final : public httplib::TaskQueue {
public:
    Front(GuardedServer& server, std::size_t workers)
        : m_server(server)
        , m_pool(workers)
        , m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        m_thread = std::thread([this] { run(); });
    }
    ~Front() override {
        if (m_wake >= 0)
            ::close(m_wake);
    }
    Front(const Front&) = delete;
    Front& operator=(const Front&) = delete;

    // The library's job for an accepted connection only calls process_and_close_socket, which
    // here hands the socket to wait() at once: it runs on the accepting thread.
    void enqueue(std::function<void()> job) override { job(); }

    void shutdown() override {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        wake();
        m_thread.join();
        m_pool.shutdown();
        m_server.m_front = nullptr;
    }

    void accepted(socket_t sock) {
        Connection connection;
        connection.sock = sock;
        connection.requestsLeft = m_server.keep_alive_max_count_;
        const Clock::time_point now = Clock::now();
        if (SSL_CTX* tls = m_server.m_tls) {
            ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
            connection.ssl = SSL_new(tls);
            if (!connection.ssl || SSL_set_fd(connection.ssl, sock) != 1) {
                connection.close(false);
                return;
            }
            connection.deadline = now + m_server.m_times.header;
        } else {
            connection.deadline = now + m_server.m_times.read;
        }
        wait(std::move(connection));
    }

    // Watches the connection until the head of its next request is in.
    void wait(Connection connection) {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_stopping) {
                m_incoming.push_back(std::move(connection));
                connection.sock = INVALID_SOCKET;
            }
        }
        if (connection.sock != INVALID_SOCKET)
            connection.close(true);
        else
            wake();
    }

private:
    enum class Step { Wait, Ready, Drop };

    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    }

    void run() {
        std::vector<Connection> waiting;
        std::vector<pollfd> descriptors;
        for (;;) {
            {
                const std::lock_guard lock(m_mutex);
                if (m_stopping)
                    break;
                std::move(m_incoming.begin(), m_incoming.end(), std::back_inserter(waiting));
                m_incoming.clear();
            }
            if (waiting.size() > kMaxWaiting) {
                const auto excess = std::ptrdiff_t(waiting.size() - kMaxWaiting);
                std::for_each(waiting.begin(), waiting.begin() + excess,
                              [](Connection& c) { c.close(true); });
                waiting.erase(waiting.begin(), waiting.begin() + excess);
            }
            Clock::time_point next = Clock::now() + std::chrono::seconds(1);
            descriptors.assign(1, pollfd{m_wake, POLLIN, 0});
            for (const Connection& connection : waiting) {
                descriptors.push_back(pollfd{connection.sock, connection.events, 0});
                next = std::min(next, connection.deadline);
            }
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
            if (::poll(descriptors.data(), descriptors.size(), int(std::max<long long>(0, wait.count()))) <
                    0 &&
                errno != EINTR)
                break;
            std::uint64_t wakes = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wake, &wakes, sizeof wakes);
            std::size_t kept = 0;
            for (std::size_t i = 0; i < waiting.size(); ++i) {
                Connection& connection = waiting[i];
                Step step = descriptors[i + 1].revents ? advance(connection) : Step::Wait;
                // Too slow, whether silent or a few bytes at a time.
                if (step == Step::Wait && Clock::now() >= connection.deadline)
                    step = Step::Drop;
                if (step == Step::Drop)
                    connection.close(true);
                else if (step == Step::Ready)
                    m_pool.enqueue([this, ready = std::move(connection)]() mutable {
                        m_server.serve(std::move(ready));
                    });
                else if (kept++ != i)
                    waiting[kept - 1] = std::move(connection);
            }
            waiting.resize(kept);
        }
        const std::lock_guard lock(m_mutex);
        for (Connection& connection : waiting)
            connection.close(true);
        for (Connection& connection : m_incoming)
            connection.close(true);
        m_incoming.clear();
    }

    // Takes what the connection has for us without blocking.
    Step advance(Connection& connection) {
        const Clock::time_point now = Clock::now();
        if (connection.ssl && !connection.secured) {
            const int result = SSL_accept(connection.ssl);
            if (result != 1)
                return awaitTls(connection, result);
            connection.secured = true;
            connection.deadline = now + m_server.m_times.read;
        }
        char buffer[4096];
        for (;;) {
            ssize_t n;
            if (connection.ssl) {
                n = SSL_read(connection.ssl, buffer, int(sizeof buffer));
                if (n <= 0)
                    return awaitTls(connection, int(n));
            } else {
                do
                    n = ::recv(connection.sock, buffer, sizeof buffer, MSG_DONTWAIT);
                while (n < 0 && errno == EINTR);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    connection.events = POLLIN;
                    return Step::Wait;
                }
                if (n <= 0)
                    return Step::Drop;
            }
            if (connection.head.empty()) {
                connection.start = now;
                connection.deadline = now + m_server.m_times.header;
            }
            const std::size_t from = connection.head.size();
            connection.head.append(buffer, std::size_t(n));
            if (headEnded(connection.head, from) || connection.head.size() >= kMaxHead)
                return Step::Ready;
        }
    }

    // After a TLS call that could not finish: what to wait for, or the end of the connection.
    static Step awaitTls(Connection& connection, int result) {
        switch (SSL_get_error(connection.ssl, result)) {
        case SSL_ERROR_WANT_READ:
            connection.events = POLLIN;
            return Step::Wait;
        case SSL_ERROR_WANT_WRITE:
            connection.events = POLLOUT;
            return Step::Wait;
        default:
            ERR_clear_error();
            return Step::Drop;
        }
    }

    GuardedServer& m_server;
    httplib::ThreadPool m_pool;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Connection> m_incoming;
    bool m_stopping = false;
    int m_wake;
};

GuardedServer::GuardedServer(std::size_t defaultBodyLimit, std::size_t workers)
    : m_defaultLimit(defaultBodyLimit) {
    // An answer is written as headers, then body: with Nagle's algorithm on a kept connection the
    // body waits for the client's delayed acknowledgement of the headers (40 ms on Linux).
    set_tcp_nodelay(true);
    new_task_queue = [this, workers] {
        m_front = new Front(*this, workers);
        return m_front;
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
    m_front->accepted(sock);
    return true;
}

void GuardedServer::serve(Connection connection) {
    const socket_t sock = connection.sock;
    DeadlineStream stream(sock, m_times, std::move(connection.head));
    connection.head.clear();
    if (connection.ssl)
        stream.setTls(connection.ssl);
    t_stream = &stream;
    bool again = false;
    Clock::time_point start = connection.start;
    while (connection.requestsLeft > 0 && svr_sock_ != INVALID_SOCKET) {
        stream.beginRequest(start);
        bool closed = false;
        const bool ok = process_request(stream, --connection.requestsLeft == 0, closed, nullptr);
        // A request whose headers never arrived whole (too slow, malformed) ends the connection.
        if (!ok || closed || stream.closeAfter() || !stream.headersWereDone())
            break;
        // Nothing of the next request yet: it is waited for off the workers.
        if (!stream.hasBuffered()) {
            again = connection.requestsLeft > 0;
            break;
        }
        start = Clock::now();
    }
    t_stream = nullptr;
    if (again && m_front) {
        connection.deadline = Clock::now() + m_times.keepAlive;
        connection.events = POLLIN;
        m_front->wait(std::move(connection));
        return;
    }
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
    connection.close(true);
}

} // namespace servidor

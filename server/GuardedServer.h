#pragma once

#include <httplib.h>
#include <openssl/ssl.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace servidor {

// An HTTP server that a slow or oversized client cannot take down:
// - a request's line and headers must arrive within headerTime, its body within requestTime,
//   and no single read may wait longer than readTime; a client that stalls is cut off, so slow
//   clients cannot keep every worker thread;
// - a request body needs a Content-Length within the limit of its route (the longest path
//   prefix set with setBodyLimit, else the default), checked before a byte of it is read;
//   a body without a declared length (chunked or read to the close) is refused;
// - with a certificate (useTls), every connection is TLS, its handshake within headerTime;
// - a connection takes a worker thread only once the head of its request is in: until then (the
//   handshake, the wait for a first or a next request, the head's bytes) one thread watches all
//   of them, so idle or stalled clients cannot keep the workers from the others.
// (httplib::SSLServer cannot be used: its own connection handling would bypass these guards.)
class GuardedServer : public httplib::Server {
public:
    struct Times {
        std::chrono::milliseconds header{10'000};
        std::chrono::milliseconds request{300'000};
        std::chrono::milliseconds read{10'000};
        std::chrono::milliseconds keepAlive{5'000};
    };

    explicit GuardedServer(std::size_t defaultBodyLimit, std::size_t workers = 32);
    ~GuardedServer() override;
    GuardedServer(const GuardedServer&) = delete;
    GuardedServer& operator=(const GuardedServer&) = delete;

    // Serves TLS with this certificate (PEM, the chain after it) and private key; false with the
    // reason when they cannot be used.
    bool useTls(const std::string& certificateFile, const std::string& keyFile, std::string* error);

    void setBodyLimit(const std::string& pathPrefix, std::size_t bytes);
    // When the request being handled on this thread had its headers read.
    static std::chrono::steady_clock::time_point requestStart();
    void setTimes(const Times& times) { m_times = times; }

private:
    class Front;
    struct Connection;

    void serve(Connection connection);
    std::size_t bodyLimit(const std::string& path) const;
    bool process_and_close_socket(socket_t sock) override;
    HandlerResponse admit(const httplib::Request& request, httplib::Response& response) const;

    std::size_t m_defaultLimit;
    std::vector<std::pair<std::string, std::size_t>> m_limits;
    Times m_times;
    SSL_CTX* m_tls = nullptr;
    Front* m_front = nullptr; // while listening
};

} // namespace servidor

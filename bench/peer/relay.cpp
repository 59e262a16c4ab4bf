// A network link between the program and the stand-in server, for the benchmarks: a TCP relay that
// delays each direction by half a round trip and shares one bandwidth per direction among its
// connections (the kernel here has no netem). A connection's first bytes wait one round trip more,
// the handshake a real link would cost. On SIGTERM or SIGINT it writes what crossed it: connections,
// round trips (each time a client speaks after the server, or first) and bytes each way.
//
//   bench_relay LISTEN_HOST LISTEN_PORT TARGET_HOST TARGET_PORT RTT_MS MBIT_PER_S COUNTS_FILE

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Duration = std::chrono::duration<double>;

double g_halfTrip = 0;       // seconds
double g_bytesPerSecond = 0; // one direction

// One direction of the link: when it is free to put the next byte on the wire.
struct Direction {
    std::mutex mutex;
    Clock::time_point free{};
    std::atomic<long long> bytes{0};

    // When `size` bytes handed over at `now` reach the far end.
    Clock::time_point deliver(Clock::time_point now, size_t size) {
        const std::lock_guard lock(mutex);
        const Clock::time_point start = std::max(now, free);
        free = start + std::chrono::duration_cast<Clock::duration>(Duration(double(size) / g_bytesPerSecond));
        bytes += static_cast<long long>(size);
        return free + std::chrono::duration_cast<Clock::duration>(Duration(g_halfTrip));
    }
};

Direction g_up;   // program → server
Direction g_down; // server → program
std::atomic<long long> g_connections{0};
std::atomic<long long> g_roundTrips{0};
std::atomic<bool> g_stop{false};

struct Chunk {
    Clock::time_point at;
    std::string data; // empty: the sender closed its side
};

// Bytes in flight in one direction of one connection, written to `to` when they arrive.
class Pipe {
public:
    explicit Pipe(int to)
        : m_to(to) {}

    void push(Chunk chunk) {
        const std::lock_guard lock(m_mutex);
        m_chunks.push_back(std::move(chunk));
        m_ready.notify_one();
    }

    // Runs until the closing chunk has been delivered or the far end fails.
    void deliver() {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [this] { return !m_chunks.empty(); });
                chunk = std::move(m_chunks.front());
                m_chunks.pop_front();
            }
            std::this_thread::sleep_until(chunk.at);
            if (chunk.data.empty()) {
                shutdown(m_to, SHUT_WR);
                return;
            }
            for (size_t sent = 0; sent < chunk.data.size();) {
                const ssize_t n =
                    send(m_to, chunk.data.data() + sent, chunk.data.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    shutdown(m_to, SHUT_RDWR);
                    return;
                }
                sent += size_t(n);
            }
        }
    }

private:
    int m_to;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Chunk> m_chunks;
};

struct Connection {
    int program = -1;
    int server = -1;
    Clock::time_point opened;
    std::atomic<int> lastSpeaker{0}; // 0 none, 1 program, 2 server
};

void readSide(const std::shared_ptr<Connection>& connection, bool fromProgram, Pipe& pipe) {
    const int from = fromProgram ? connection->program : connection->server;
    Direction& direction = fromProgram ? g_up : g_down;
    std::vector<char> buffer(16384);
    for (;;) {
        const ssize_t n = recv(from, buffer.data(), buffer.size(), 0);
        Clock::time_point now = Clock::now();
        // Nothing the program sends leaves before its handshake would have ended.
        if (fromProgram)
            now = std::max(now, connection->opened +
                                    std::chrono::duration_cast<Clock::duration>(Duration(2 * g_halfTrip)));
        if (n <= 0) {
            pipe.push({now + std::chrono::duration_cast<Clock::duration>(Duration(g_halfTrip)), {}});
            return;
        }
        const int speaker = fromProgram ? 1 : 2;
        if (fromProgram && connection->lastSpeaker.exchange(speaker) != 1)
            ++g_roundTrips;
        else if (!fromProgram)
            connection->lastSpeaker = speaker;
        pipe.push({direction.deliver(now, size_t(n)), std::string(buffer.data(), size_t(n))});
    }
}

int connectTo(const sockaddr_in& target) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void serve(int program, sockaddr_in target) {
    auto connection = std::make_shared<Connection>();
    connection->program = program;
    connection->opened = Clock::now();
    connection->server = connectTo(target);
    if (connection->server < 0) {
        close(program);
        return;
    }
    ++g_connections;
    ++g_roundTrips; // the handshake
    Pipe up(connection->server);
    Pipe down(connection->program);
    std::thread upDelivery([&] { up.deliver(); });
    std::thread downDelivery([&] { down.deliver(); });
    std::thread upRead([&] { readSide(connection, true, up); });
    readSide(connection, false, down);
    upRead.join();
    upDelivery.join();
    downDelivery.join();
    close(connection->program);
    close(connection->server);
}

void stop(int) {
    g_stop = true;
}

bool address(const char* host, int port, sockaddr_in* out) {
    *out = {};
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, host, &out->sin_addr) == 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "uso: %s ENDERECO PORTA DESTINO PORTA_DESTINO RTT_MS MBIT_S CONTAGENS\n",
                     argv[0]);
        return 2;
    }
    sockaddr_in listenAt{};
    sockaddr_in target{};
    if (!address(argv[1], std::atoi(argv[2]), &listenAt) || !address(argv[3], std::atoi(argv[4]), &target)) {
        std::fprintf(stderr, "endereço inválido\n");
        return 2;
    }
    g_halfTrip = std::atof(argv[5]) / 2000.0;
    g_bytesPerSecond = std::atof(argv[6]) * 1e6 / 8;
    if (g_bytesPerSecond <= 0) {
        std::fprintf(stderr, "banda inválida\n");
        return 2;
    }

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&listenAt), sizeof listenAt) != 0 ||
        listen(listener, 256) != 0) {
        std::perror("bench_relay");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    while (!g_stop) {
        pollfd waiting{listener, POLLIN, 0};
        if (poll(&waiting, 1, 100) <= 0)
            continue;
        const int program = accept(listener, nullptr, nullptr);
        if (program < 0)
            continue;
        setsockopt(program, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::thread(serve, program, target).detach();
    }
    if (FILE* counts = std::fopen(argv[7], "w")) {
        std::fprintf(counts, "%lld %lld %lld %lld\n", g_connections.load(), g_roundTrips.load(),
                     g_up.bytes.load(), g_down.bytes.load());
        std::fclose(counts);
    }
    return 0;
}

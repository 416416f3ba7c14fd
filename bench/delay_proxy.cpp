// A TCP proxy on loopback that puts a network's round trip between a client and a server: every
// chunk read from either side is held for half the round trip before it is written to the
// other, so a request and its answer cost one round trip more, as across a building's network
// or a VPN, while data that streams keeps its rate.
//
//   mae-delay-proxy LISTEN_PORT TARGET_PORT HALF_RTT_US COUNT_FILE
//
// Listens on 127.0.0.1:LISTEN_PORT, connects each client to 127.0.0.1:TARGET_PORT. On SIGTERM or
// SIGINT it writes to COUNT_FILE how many chunks went from clients to the server ("turns") and
// how many connections it served, then ends.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<long> g_turns{0};
std::atomic<long> g_connections{0};
volatile sig_atomic_t g_stop = 0;

void OnStop(int) { g_stop = 1; }

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// One direction of one connection: what is read from `from` is written to `to` once it has
// been held for the delay.
void Pump(int from, int to, std::chrono::microseconds delay, bool countTurns) {
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Chunk> held;
    std::mutex mutex;
    std::condition_variable wake;
    bool ended = false;
    std::thread writer([&] {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return ended || !held.empty(); });
            if (held.empty()) break;
            Chunk chunk = std::move(held.front());
            held.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(chunk.due);
            if (!WriteAll(to, chunk.bytes.data(), chunk.bytes.size())) break;
        }
        ::shutdown(to, SHUT_WR);
    });
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::recv(from, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (countTurns) ++g_turns;
        std::lock_guard<std::mutex> lock(mutex);
        held.push_back({Clock::now() + delay, std::string(buffer.data(), static_cast<size_t>(n))});
        wake.notify_one();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
    }
    wake.notify_one();
    writer.join();
}

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

void Serve(int client, int target, std::chrono::microseconds delay) {
    const int server = ConnectTo(target);
    if (server < 0) {
        ::close(client);
        return;
    }
    ++g_connections;
    for (int fd : {client, server}) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    std::thread back([=] { Pump(server, client, delay, false); });
    Pump(client, server, delay, true);
    back.join();
    ::close(server);
    ::close(client);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fputs("usage: mae-delay-proxy LISTEN_PORT TARGET_PORT HALF_RTT_US COUNT_FILE\n",
                   stderr);
        return 2;
    }
    const int listenPort = std::atoi(argv[1]);
    const int target = std::atoi(argv[2]);
    const std::chrono::microseconds delay(std::atol(argv[3]));
    struct sigaction action {};
    action.sa_handler = OnStop;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(listenPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 64) != 0) {
        std::perror("mae-delay-proxy: listen");
        return 1;
    }
    std::fprintf(stdout, "listening\n");
    std::fflush(stdout);
    while (!g_stop) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) continue;  // EINTR at a stop request, among others
        // The stop request is this thread's to take: the connection's threads block it.
        sigset_t stops, previous;
        sigemptyset(&stops);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &stops, &previous);
        std::thread([=] { Serve(client, target, delay); }).detach();
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    if (FILE* out = std::fopen(argv[4], "w")) {
        std::fprintf(out, "turns %ld\nconnections %ld\n", g_turns.load(), g_connections.load());
        std::fclose(out);
    }
    return 0;
}

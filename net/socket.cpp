#include "net/socket.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h must come before the headers that build on it.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
#endif

namespace kvr {

namespace {

#ifdef _WIN32
using Native = SOCKET;
constexpr int NO_SIGNAL = 0;
constexpr int BOTH_WAYS = SD_BOTH, SENDING = SD_SEND;
bool interrupted() { return false; }
#else
using Native = int;
// A send to a closed peer must fail, not raise SIGPIPE.
constexpr int NO_SIGNAL = MSG_NOSIGNAL;
constexpr int BOTH_WAYS = SHUT_RDWR, SENDING = SHUT_WR;
bool interrupted() { return errno == EINTR; }
#endif

Native native(SocketHandle s) { return static_cast<Native>(s); }

SocketHandle handle(Native s) {
#ifdef _WIN32
    return s == INVALID_SOCKET ? INVALID_NET_SOCKET : static_cast<SocketHandle>(s);
#else
    return s < 0 ? INVALID_NET_SOCKET : static_cast<SocketHandle>(s);
#endif
}

void setIntOption(SocketHandle s, int level, int name, int value) {
    setsockopt(native(s), level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

sockaddr_in ipv4(std::uint32_t address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = address;
    return a;
}

bool loopback(const in_addr& a) { return (ntohl(a.s_addr) >> 24) == 127; }

std::string dotted(const in_addr& a) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace

bool startNetworking() {
    int unused = 0;
    return startNetworking(unused);
}

bool startNetworking(int& error) {
#ifdef _WIN32
    WSADATA data;
    error = WSAStartup(MAKEWORD(2, 2), &data);
#else
    signal(SIGPIPE, SIG_IGN);
    error = 0;
#endif
    return error == 0;
}

void stopNetworking() {
#ifdef _WIN32
    WSACleanup();
#endif
}

void closeSocket(SocketHandle s) {
    if (!socketValid(s)) return;
#ifdef _WIN32
    closesocket(native(s));
#else
    close(native(s));
#endif
}

int lastNetworkError() {
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

void sleepMilliseconds(int ms) {
#ifdef _WIN32
    Sleep(static_cast<DWORD>(std::max(0, ms)));
#else
    timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
#endif
}

bool setSocketBlocking(SocketHandle s, bool blocking) {
#ifdef _WIN32
    u_long mode = blocking ? 0 : 1;
    return ioctlsocket(native(s), FIONBIO, &mode) == 0;
#else
    int flags = fcntl(native(s), F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(native(s), F_SETFL, flags) == 0;
#endif
}

bool sendSocketBytes(SocketHandle s, const char* data, std::size_t n) {
    if (!socketValid(s)) return n == 0;
    while (n > 0) {
        int chunk = static_cast<int>(std::min<std::size_t>(n, 1 << 20));
        long sent = send(native(s), data, chunk, NO_SIGNAL);
        if (sent < 0 && interrupted()) continue;
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool sendSocketText(SocketHandle s, const std::string& text) {
    return sendSocketBytes(s, text.data(), text.size());
}

bool waitReadable(SocketHandle s, int ms) {
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(native(s), &set);
    timeval t{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &t) != 0;
#else
    pollfd p{native(s), POLLIN, 0};
    int r = poll(&p, 1, ms);
    return r > 0 || (r < 0 && errno != EINTR);
#endif
}

long receiveSome(SocketHandle s, char* buf, std::size_t n) {
    for (;;) {
        long got = recv(native(s), buf, static_cast<int>(std::min<std::size_t>(n, 1 << 20)), 0);
        if (got < 0 && interrupted()) continue;
        return got;
    }
}

SocketHandle listenTcp(std::uint16_t port) {
    SocketHandle s = handle(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socketValid(s)) return INVALID_NET_SOCKET;
#ifdef _WIN32
    // Windows lets a second SO_REUSEADDR listener steal the port; exclusive use makes a taken port fail.
    setIntOption(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
#else
    setIntOption(s, SOL_SOCKET, SO_REUSEADDR, 1);
#endif
    sockaddr_in a = ipv4(htonl(INADDR_ANY), port);
    if (bind(native(s), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(native(s), 5) != 0 ||
        !setSocketBlocking(s, false)) {
        closeSocket(s);
        return INVALID_NET_SOCKET;
    }
    return s;
}

std::uint16_t boundPort(SocketHandle s) {
    sockaddr_in a{};
    socklen_t size = sizeof a;
    if (getsockname(native(s), reinterpret_cast<sockaddr*>(&a), &size) != 0) return 0;
    return ntohs(a.sin_port);
}

SocketHandle acceptClient(SocketHandle listener) {
    for (;;) {
        SocketHandle s = handle(accept(native(listener), nullptr, nullptr));
        if (!socketValid(s) && interrupted()) continue;
        if (!socketValid(s)) return INVALID_NET_SOCKET;
        setSocketBlocking(s, true);
        tuneHostedSocket(s);
        return s;
    }
}

bool parseIpv4(const std::string& text, std::uint32_t& address) {
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        std::size_t start = i;
        int value = 0;
        while (i < text.size() && i - start < 3 && text[i] >= '0' && text[i] <= '9')
            value = value * 10 + (text[i++] - '0');
        if (i == start || value > 255) return false;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    if (i != text.size()) return false;
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    address = a.s_addr;
    return true;
}

SocketHandle connectTcp(std::uint32_t address, std::uint16_t port, int& error) {
    SocketHandle s = handle(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socketValid(s)) {
        error = lastNetworkError();
        return INVALID_NET_SOCKET;
    }
    sockaddr_in a = ipv4(address, port);
    int rc = connect(native(s), reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (rc != 0) {
        error = lastNetworkError();
        closeSocket(s);
        return INVALID_NET_SOCKET;
    }
    setIntOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
    setIntOption(s, SOL_SOCKET, SO_KEEPALIVE, 1);
    return s;
}

void shutdownSocket(SocketHandle s) { shutdown(native(s), BOTH_WAYS); }

void shutdownSending(SocketHandle s) { shutdown(native(s), SENDING); }

namespace {

bool wouldBlock() {
#ifdef _WIN32
    return WSAGetLastError() == WSAEWOULDBLOCK;
#else
    return errno == EAGAIN || errno == EWOULDBLOCK;
#endif
}

} // namespace

void closeGracefully(const std::vector<SocketHandle>& sockets, int ms) {
    std::vector<SocketHandle> open;
    for (SocketHandle s : sockets) {
        if (!socketValid(s)) continue;
        shutdownSending(s);
        setSocketBlocking(s, false);
        open.push_back(s);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buf[4096];
    while (!open.empty() && std::chrono::steady_clock::now() < deadline) {
        bool read = false;
        for (std::size_t i = 0; i < open.size();) {
            long got = receiveSome(open[i], buf, sizeof buf);
            if (got > 0 || (got < 0 && wouldBlock())) {
                read = read || got > 0;
                ++i;
                continue;
            }
            closeSocket(open[i]);
            open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (!read) sleepMilliseconds(10);
    }
    for (SocketHandle s : open) closeSocket(s);
}

long sendSome(SocketHandle s, const char* data, std::size_t n) {
    if (n == 0) return 0;
    for (;;) {
        long sent = send(native(s), data, static_cast<int>(std::min<std::size_t>(n, 1 << 20)), NO_SIGNAL);
        if (sent < 0 && interrupted()) continue;
        if (sent < 0 && wouldBlock()) return 0;
        return sent == 0 ? -1 : sent;
    }
}

void tuneHostedSocket(SocketHandle s) {
    setIntOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
    setIntOption(s, SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef _WIN32
    tcp_keepalive k{1, 60000, 10000};
    DWORD unused = 0;
    WSAIoctl(native(s), SIO_KEEPALIVE_VALS, &k, sizeof k, nullptr, 0, &unused, nullptr, nullptr);
    DWORD timeout = 30000;
    setsockopt(native(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
#else
    setIntOption(s, IPPROTO_TCP, TCP_KEEPIDLE, 60);
    setIntOption(s, IPPROTO_TCP, TCP_KEEPINTVL, 10);
    setIntOption(s, IPPROTO_TCP, TCP_KEEPCNT, 6);
    timeval timeout{30, 0};
    setsockopt(native(s), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
#endif
}

std::vector<std::string> localIpv4Addresses() {
    std::vector<std::string> out;
    auto add = [&out](const in_addr& a) {
        std::string text = dotted(a);
        if (!loopback(a) && std::find(out.begin(), out.end(), text) == out.end()) out.push_back(text);
    };
#ifdef _WIN32
    char name[256] = {};
    if (gethostname(name, sizeof name) != 0) return out;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &list) != 0) return out;
    for (addrinfo* a = list; a; a = a->ai_next) add(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr);
    freeaddrinfo(list);
#else
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* a = list; a; a = a->ifa_next)
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET)
            add(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr);
    freeifaddrs(list);
#endif
    return out;
}

} // namespace kvr

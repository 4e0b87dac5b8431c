#include "net/client.hpp"

#include <atomic>
#include <iostream>
#include <system_error>
#include <thread>

#include "net/socket.hpp"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#include <poll.h>
#endif

namespace kvr {

namespace {

// How long the receiver waits before it looks again whether the player has left.
constexpr int POLL_MS = 50;

struct ClientReceiverContext {
    SocketHandle socket;
    std::atomic<bool>* running;
};

// Up to `ms` milliseconds for something to read on `s`: data, the end, or an error. A receiver that
// waits here rather than in recv notices a stop request on every system (on Windows only closesocket
// is sure to wake a blocked recv, and the handle must not be closed while another thread may use it).
bool readable(SocketHandle s, int ms) {
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(s), &set);
    timeval t{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &t) != 0;
#else
    pollfd p{static_cast<int>(s), POLLIN, 0};
    int r = poll(&p, 1, ms);
    return r > 0 || (r < 0 && errno != EINTR);
#endif
}

// Prints what the host sends, as it comes: lines, colours and split UTF-8 sequences are not interpreted.
void receiveClientMessages(ClientReceiverContext context) {
    char buf[2048];
    while (context.running->load()) {
        if (!readable(context.socket, POLL_MS)) continue;
        long got = receiveSome(context.socket, buf, sizeof buf);
        if (got <= 0) break;
        std::cout.write(buf, got);
        std::cout.flush();
    }
    context.running->exchange(false);
    std::cout << "\n与主机的连接已结束。\n" << std::flush;
}

} // namespace

int runLanClient(const std::string& ip, std::uint16_t port) {
    if (ip.empty()) {
        std::cerr << "主机 IP 不能为空。\n";
        return 1;
    }
    int startError = 0;
    if (!startNetworking(startError)) {
        std::cerr << "Winsock 初始化失败，错误码：" << startError << "。\n";
        return 1;
    }
    std::uint32_t addr = 0;
    if (!parseIpv4(ip, addr)) {
        std::cerr << "IPv4 地址格式无效，请输入类似 192.168.1.10 的地址。\n";
        stopNetworking();
        return 1;
    }
    std::cout << "正在连接 " << ip << ":" << port << "，请稍候...\n" << std::flush;
    SocketHandle sock = INVALID_NET_SOCKET;
    int errorCode = 0;
    for (int attempt = 1; attempt <= 3 && !socketValid(sock); ++attempt) {
        sock = connectTcp(addr, port, errorCode);
        if (!socketValid(sock) && attempt < 3) sleepMilliseconds(500);
    }
    if (!socketValid(sock)) {
        std::cerr << "连接失败，网络错误码：" << errorCode << "。\n"
                  << "请确认主机已建立大厅、两边端口相同、IPv4正确，并允许防火墙专用网络访问。\n";
        stopNetworking();
        return 1;
    }
    std::cout << "连接成功。等待主机开局；收到输入提示后输入选项并按 Enter。\n" << std::flush;
    std::atomic<bool> running(true);
    // Only the receiver writes to standard output from here on: reading the keyboard must not flush
    // it from this thread as well.
    std::ostream* tied = std::cin.tie(nullptr);
    std::thread receiver;
    try {
        receiver = std::thread(receiveClientMessages, ClientReceiverContext{sock, &running});
    } catch (const std::system_error& e) {
        std::cerr << "无法启动网络接收线程，错误码：" << e.code().value() << "。\n";
        std::cin.tie(tied);
        shutdownSocket(sock);
        closeSocket(sock);
        stopNetworking();
        return 1;
    }
    std::string input;
    bool lost = false;
    while (!lost && running.load() && std::getline(std::cin, input)) {
        input += "\n";
        lost = !sendSocketText(sock, input);
    }
    // A failed send means the host has gone: the receiver still prints what it sent last, up to the
    // end of the connection. Otherwise the player left, and the receiver is stopped.
    if (!lost) {
        running.exchange(false);
        shutdownSocket(sock);
    }
    receiver.join();
    std::cin.tie(tied);
    closeSocket(sock);
    stopNetworking();
    return 0;
}

} // namespace kvr

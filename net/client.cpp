#include "net/client.hpp"

#include <atomic>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "console/keyboard.hpp"
#include "console/win_console.hpp"
#include "net/socket.hpp"

namespace kvr {

namespace {

// How long either thread waits before it looks again whether the other has ended the session.
constexpr int POLL_MS = 50;

// Standard output for the receiver and for the keyboard echo alike: one writer at a time, and only
// whole characters and escape sequences, so that an echo never lands inside one the host has only
// half sent. A line being typed that the host's text has covered is drawn again once that text stands
// still, so that Backspace takes back what was typed and not the host's new prompt.
class ClientScreen {
  public:
    void show(const char* data, std::size_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.append(data, n);
        std::size_t whole = completeConsolePrefix(held_);
        std::cout.write(held_.data(), static_cast<std::streamsize>(whole)).flush();
        held_.erase(0, whole);
        covered_ = !typed_.empty();
    }
    // Typed text goes out at once, ahead of an unfinished sequence still held back; over covered text
    // the whole line goes out again.
    void echo(const std::string& text, const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        bool ended = !text.empty() && text.back() == '\n';
        std::string shown = covered_ ? (ended ? line + "\n" : line) : text;
        std::cout.write(shown.data(), static_cast<std::streamsize>(shown.size())).flush();
        typed_ = ended ? std::string() : line;
        covered_ = false;
    }
    // The host's text stands still: the line being typed comes after it.
    void settle() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!covered_) return;
        std::cout.write(typed_.data(), static_cast<std::streamsize>(typed_.size())).flush();
        covered_ = false;
    }
    void finish(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::cout << held_ << text << std::flush;
        held_.clear();
    }

  private:
    std::mutex mutex_;
    std::string held_;
    // The line being typed, and whether the host's text came after it on the screen.
    std::string typed_;
    bool covered_ = false;
};

// Prints what the host sends as it comes (lines and colours are not interpreted), until the connection
// ends or the player leaves. It waits for data with a time-out rather than in recv, so a stop request is
// noticed on every system: on Windows only closesocket is sure to wake a blocked recv, and the handle
// must not be closed while this thread may still use it.
void receiveClientMessages(SocketHandle sock, std::atomic<bool>& running, ClientScreen& screen) {
    char buf[2048];
    while (running.load()) {
        if (!waitReadable(sock, POLL_MS)) {
            screen.settle();
            continue;
        }
        long got = receiveSome(sock, buf, sizeof buf);
        if (got <= 0) break;
        screen.show(buf, static_cast<std::size_t>(got));
    }
    running.store(false);
    screen.finish("\n与主机的连接已结束。\n");
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
    ClientScreen screen;
    std::thread receiver;
    try {
        receiver = std::thread(receiveClientMessages, sock, std::ref(running), std::ref(screen));
    } catch (const std::system_error& e) {
        std::cerr << "无法启动网络接收线程，错误码：" << e.code().value() << "。\n";
        shutdownSocket(sock);
        closeSocket(sock);
        stopNetworking();
        return 1;
    }
    // The keyboard is read with a time-out, so that the client ends by itself with the connection
    // instead of waiting for one more line.
    KeyboardLines keyboard(
        [&screen](const std::string& text, const std::string& line) { screen.echo(text, line); });
    std::string input;
    bool lost = false;
    while (!lost && running.load()) {
        KeyboardLines::Status status = keyboard.next(input, POLL_MS);
        if (status == KeyboardLines::Ended) break;
        if (status == KeyboardLines::Line) lost = !sendSocketText(sock, input + "\n");
    }
    // A failed send means the host has gone: the receiver still prints what it sent last, up to the
    // end of the connection. Otherwise the player left, and the receiver is stopped.
    if (!lost) {
        running.store(false);
        shutdownSocket(sock);
    }
    receiver.join();
    closeSocket(sock);
    stopNetworking();
    return 0;
}

} // namespace kvr

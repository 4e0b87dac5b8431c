// What the web page costs, measured rather than asserted:
// - a tap: a browser's answer until the game's ask returns it, over loopback, through the real web
//   server and web table (the game's side played by this program's own thread);
// - idle load: a real kavrin host with 5 browser seats and 8 browser spectators, waiting for a seat's
//   answer, sampled for CPU time from /proc;
// - a tap to the next question: a browser's answer until the next question is on the page, the
//   game's side asking again at once (pure round trip);
// - a reload: a seated browser's page reloads and comes back with its stored code, until its seat's
//   question is on the new page (the game's side asks again as soon as the seat is back); and the
//   same from the page's first request, its files fetched over HTTP before the WebSocket opens;
// - the page's weight: every embedded file.
//   kavrin-web-bench [path/to/kavrin]
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "tools/proc_usage.hpp"

#include "net/hub.hpp"
#include "net/web_assets.hpp"
#include "net/web_host.hpp"
#include "net/web_table.hpp"

using namespace kvr;
namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

struct Socket {
    asio::io_context io;
    beast::websocket::stream<tcp::socket> ws{io};
    explicit Socket(std::uint16_t port, const std::string& code = "") {
        tcp::resolver resolver(io);
        asio::connect(ws.next_layer(), resolver.resolve("127.0.0.1", std::to_string(port)));
        ws.handshake("127.0.0.1", "/ws");
        ws.text(true);
        ws.write(asio::buffer(Json{{"t", "hello"}, {"code", code}}.dump()));
    }
    Json next() {
        beast::flat_buffer b;
        ws.read(b);
        return Json::parse(beast::buffers_to_string(b.data()));
    }
};

// A web host on a free port whose one browser joined the lobby and was dealt seat 1 with `code`.
struct SeatedPage {
    LanHub hub;
    WebHost web{hub, ""};
    WebTable& table = web.table();
    std::unique_ptr<Socket> page;
    bool start(const std::string& code) {
        if (!web.start(0)) {
            std::cerr << "cannot listen\n";
            return false;
        }
        table.lobby(0, 1);
        page = std::make_unique<Socket>(web.port());
        while (table.lobbyJoiners().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        table.openDoor();
        table.seat(table.lobbyJoiners().front().second, 1, "start\n", code);
        return true;
    }
};

void tapLatency(int rounds) {
    SeatedPage seated;
    if (!seated.start("ABCDEF")) return;
    WebTable& table = seated.table;
    Socket& browser = *seated.page;
    std::vector<double> taps;
    std::vector<double> trips;
    Clock::time_point sent;
    std::thread player([&] {
        for (int k = 0; k < rounds; ++k) {
            Json m;
            do m = browser.next();
            while (m["t"] != "ask");
            if (k > 0)
                trips.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
            std::string answer = Json{{"t", "answer"}, {"id", m["id"]}, {"value", 2}}.dump();
            sent = Clock::now();
            browser.ws.write(asio::buffer(answer));
        }
    });
    std::string line;
    for (int k = 0; k < rounds; ++k) {
        table.show(1, "\n选择目标（0取消）：\n1.Varnok HP4\n2.Korveth HP3\n> ");
        if (table.ask(1, Prompt{PromptKind::Number, 0, 2}, line) != Answer::Line) break;
        taps.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }
    player.join();
    std::sort(taps.begin(), taps.end());
    std::cout << "tap to game over loopback: " << taps.size() << " answers, median " << taps[taps.size() / 2]
              << " ms, 99th percentile " << taps[taps.size() * 99 / 100] << " ms, worst " << taps.back()
              << " ms\n";
    std::sort(trips.begin(), trips.end());
    if (trips.empty()) return;
    std::cout << "tap to the next question on the page over loopback: " << trips.size() << " taps, median "
              << trips[trips.size() / 2] << " ms, 99th percentile " << trips[trips.size() * 99 / 100]
              << " ms, worst " << trips.back() << " ms\n";
}

// What a browser fetches before it opens the WebSocket: the page and each of its files, on one
// connection kept alive, as a browser's first request and those that follow it.
void fetchPage(std::uint16_t port) {
    namespace http = beast::http;
    asio::io_context io;
    tcp::socket socket(io);
    tcp::resolver resolver(io);
    asio::connect(socket, resolver.resolve("127.0.0.1", std::to_string(port)));
    std::vector<std::string> paths{"/"};
    for (const WebAsset& a : webAssets())
        if (std::string(a.path) != "/index.html") paths.push_back(a.path);
    beast::flat_buffer buffer;
    for (const std::string& path : paths) {
        http::request<http::empty_body> request(http::verb::get, path, 11);
        request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
        http::write(socket, request);
        http::response<http::string_body> response;
        http::read(socket, buffer, response);
    }
}

// Each reload comes a little over a second after the last, as a person's would: guesses from one address
// are tried once a second.
void reloadLatency(int rounds, bool withFiles) {
    SeatedPage seated;
    std::string code = seated.hub.seatPlayer(1, INVALID_NET_SOCKET);
    if (!seated.start(code)) return;
    LanHub& hub = seated.hub;
    WebHost& web = seated.web;
    WebTable& table = seated.table;
    std::unique_ptr<Socket>& page = seated.page;
    std::atomic<bool> done{false};
    // The game: asks seat 1 while a page holds it, and takes it back as soon as a page brings its code.
    std::thread game([&] {
        std::string line;
        while (!done) {
            if (table.holds(1) || hub.takeReturned(1)) {
                table.show(1, "\n选择目标（0取消）：\n1.Varnok HP4\n2.Korveth HP3\n> ");
                table.ask(1, Prompt{PromptKind::Number, 0, 2}, line, 1);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
    std::vector<double> times;
    for (int k = 0; k < rounds; ++k) {
        Json m;
        do m = page->next();
        while (m["t"] != "ask");
        beast::error_code ignored;
        page->ws.next_layer().close(ignored);
        page.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        auto start = Clock::now();
        if (withFiles) fetchPage(web.port());
        page = std::make_unique<Socket>(web.port(), code);
        do m = page->next();
        while (m["t"] != "ask");
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    done = true;
    game.join();
    std::sort(times.begin(), times.end());
    std::cout << (withFiles ? "a page's first question from its first request: "
                            : "reload with the stored code back to the seat's question: ")
              << times.size() << " reloads, median " << times[times.size() / 2] << " ms, worst "
              << times.back() << " ms\n";
}


void idleLoad(const char* kavrin) {
    SocketHandle probe = listenTcp(0);
    std::uint16_t port = boundPort(probe);
    closeSocket(probe);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        std::string p = std::to_string(port);
        execl(kavrin, kavrin, "--host", "--players", "6", "--wait", "30", "--port", p.c_str(), "--fast",
              "--mode", "normal", "--seed", "5", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::uint16_t webPort = static_cast<std::uint16_t>(port + 1);
    std::vector<std::unique_ptr<Socket>> seats, spectators;
    for (int k = 0; k < 5; ++k) seats.push_back(std::make_unique<Socket>(webPort));
    // The host's own keyboard is /dev/null: the game runs until a browser seat is asked, and waits.
    bool asked = false;
    while (!asked)
        for (auto& s : seats) {
            if (!s->ws.next_layer().available()) continue;
            asked = asked || s->next()["t"] == "ask";
        }
    for (int k = 0; k < 8; ++k) spectators.push_back(std::make_unique<Socket>(webPort));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    long before = cpuTicks(pid);
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    long used = cpuTicks(pid) - before;
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double share = 100.0 * static_cast<double>(used) / static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds;
    std::cout << "host waiting for a browser seat, 5 browser seats and 8 spectators: " << share
              << "% of a core over " << seconds << " s\n";
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    startNetworking();
    std::size_t bytes = 0;
    for (const WebAsset& a : webAssets()) bytes += a.size;
    std::cout << "page weight: " << bytes << " bytes in " << webAssets().size() << " files\n";
    tapLatency(2000);
    reloadLatency(5, false);
    reloadLatency(5, true);
    if (argc > 1) idleLoad(argv[1]);
    return 0;
}

// kavrin-room-bench: what a room's tables cost. Starts `kavrin --serve` as a child over loopback, measures
// the empty room's processor share, then opens N tables, each with 5 browser clients (the opener and 4
// friends) that answer every question at a person's pace: one answer 1 to 3 s after it is asked,
// randomised from the seed. Reports the room's processor time and resident memory per table and the
// answer's round trip (from the answer sent to the room's next message to that browser), median and
// 99th percentile.
//
//     kavrin-room-bench KAVRIN [--tables N] [--seconds S] [--seed N] [--ai classic|strong]
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "tools/proc_usage.hpp"

namespace {

using kvr::cpuTicks;
using kvr::residentKb;

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;



double coreShare(pid_t pid, double seconds) {
    long before = cpuTicks(pid);
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    double took = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(cpuTicks(pid) - before) / static_cast<double>(sysconf(_SC_CLK_TCK)) / took;
}

// "/t/ID#code=CODE" from the room's answer to /open.
bool openTable(std::uint16_t port, const std::string& query, std::string& id, std::string& code) {
    try {
        asio::io_context io;
        tcp::socket s(io);
        s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
        http::request<http::empty_body> req(http::verb::get, "/open?" + query, 11);
        req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
        req.keep_alive(false);
        http::write(s, req);
        beast::flat_buffer buffer;
        http::response<http::string_body> res;
        http::read(s, buffer, res);
        std::string where(res[http::field::location]);
        std::size_t hash = where.find("#code=");
        if (hash == std::string::npos) return false;
        id = where.substr(3, hash - 3);
        code = where.substr(hash + 6);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

struct Stats {
    std::vector<double> roundTrips;
    long answers = 0;
    int closed = 0;
};

// One browser: answers each question after a person's pause, and times the room's reply.
class Client : public std::enable_shared_from_this<Client> {
  public:
    Client(asio::io_context& io, Stats& stats, std::uint32_t seed)
        : ws_(io), timer_(io), stats_(stats), rng_(seed) {}

    void start(std::uint16_t port, const std::string& path, const std::string& code) {
        ws_.next_layer().connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
        ws_.handshake("127.0.0.1:" + std::to_string(port), path);
        ws_.text(true);
        ws_.write(asio::buffer(Json{{"t", "hello"}, {"code", code}}.dump()));
        read();
    }

  private:
    void read() {
        auto self = shared_from_this();
        ws_.async_read(buffer_, [self](beast::error_code ec, std::size_t) {
            if (ec) {
                ++self->stats_.closed;
                return;
            }
            if (self->waiting_) {
                self->stats_.roundTrips.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - self->sent_).count());
                self->waiting_ = false;
            }
            Json m = Json::parse(beast::buffers_to_string(self->buffer_.data()), nullptr, false);
            self->buffer_.consume(self->buffer_.size());
            if (m.is_object() && m["t"] == "ask") self->later(m);
            self->read();
        });
    }

    void later(const Json& ask) {
        ask_ = ask;
        timer_.expires_after(std::chrono::milliseconds(1000 + rng_() % 2001));
        auto self = shared_from_this();
        timer_.async_wait([self](beast::error_code ec) {
            if (!ec) self->answer();
        });
    }

    void answer() {
        text_ = Json{{"t", "answer"}, {"id", ask_["id"]}, {"value", choose(ask_)}}.dump();
        sent_ = Clock::now();
        waiting_ = true;
        ++stats_.answers;
        auto self = shared_from_this();
        ws_.async_write(asio::buffer(text_), [self](beast::error_code, std::size_t) {});
    }

    Json choose(const Json& ask) {
        const std::string kind = ask.value("kind", "");
        if (kind == "number") {
            int lo = ask["lo"], hi = ask["hi"];
            return lo + static_cast<int>(rng_() % static_cast<unsigned>(hi - lo + 1));
        }
        if (kind == "yesno") return rng_() % 2 == 0;
        if (kind == "pause") return "";
        if (kind == "order") {
            std::vector<int> order;
            for (std::size_t k = 0; k < ask["options"].size(); ++k) order.push_back(static_cast<int>(k) + 1);
            return order;
        }
        if (kind == "command") return "e";
        return "1";
    }

    websocket::stream<tcp::socket> ws_;
    asio::steady_timer timer_;
    Stats& stats_;
    std::mt19937 rng_;
    beast::flat_buffer buffer_;
    Json ask_;
    std::string text_;
    Clock::time_point sent_;
    bool waiting_ = false;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: kavrin-room-bench KAVRIN [--tables N] [--seconds S] [--seed N] [--ai classic|strong]\n";
        return 2;
    }
    const char* kavrin = argv[1];
    int tables = 20, seconds = 30;
    std::uint32_t seed = 1;
    std::string ai = "classic";
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--tables") tables = std::max(1, std::atoi(argv[i + 1]));
        if (a == "--seconds") seconds = std::max(1, std::atoi(argv[i + 1]));
        if (a == "--seed") seed = static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        if (a == "--ai") ai = argv[i + 1];
    }
    signal(SIGPIPE, SIG_IGN);
    std::uint16_t port = static_cast<std::uint16_t>(20000 + getpid() % 20000);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        std::string p = std::to_string(port), t = std::to_string(tables + 1), s = std::to_string(seed);
        // The room keeps its games in a scratch folder of the bench's own.
        std::string data = "/tmp/kavrin-room-bench-" + std::to_string(getpid());
        execl(kavrin, kavrin, "--serve", "--port", p.c_str(), "--tables", t.c_str(), "--seed", s.c_str(),
              "--data", data.c_str(),
              "--opens-per-minute", t.c_str(), "--max-connections", "100000", "--max-per-address", "100000",
              "--fast", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double idle = coreShare(pid, 5);
    long rssEmpty = residentKb(pid);
    std::cout << "empty room: " << 100 * idle << "% of a core, " << rssEmpty / 1024 << " MB resident\n";

    asio::io_context io;
    Stats stats;
    std::vector<std::shared_ptr<Client>> clients;
    std::mt19937 seeds(seed);
    int opened = 0;
    for (int k = 0; k < tables; ++k) {
        std::string id, code;
        if (!openTable(port, std::string("mode=") + (k % 2 ? "identity" : "normal") + "&people=5&ai=" + ai, id,
                       code))
            break;
        ++opened;
        std::string path = "/t/" + id + "/ws";
        try {
            for (int c = 0; c < 5; ++c) {
                auto client = std::make_shared<Client>(io, stats, seeds());
                client->start(port, path, c == 4 ? code : "");
                clients.push_back(client);
            }
        } catch (const std::exception& e) {
            std::cerr << "table " << k << ": " << e.what() << "\n";
            break;
        }
    }
    std::thread runner([&io] {
        auto guard = asio::make_work_guard(io);
        io.run();
    });
    std::this_thread::sleep_for(std::chrono::seconds(3));
    long rssBefore = residentKb(pid);
    double busy = coreShare(pid, seconds);
    long rss = residentKb(pid);
    io.stop();
    runner.join();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    std::error_code ignored;
    std::filesystem::remove_all("/tmp/kavrin-room-bench-" + std::to_string(pid), ignored);

    std::cout << "tables " << opened << ", browsers " << clients.size() << ", answers " << stats.answers
              << ", closed " << stats.closed << "\n";
    std::cout << "room: " << 100 * busy << "% of a core in all, " << 100 * (busy - idle) / std::max(1, opened)
              << "% per table; resident " << rss / 1024 << " MB (" << (rss - rssEmpty) / std::max(1, opened)
              << " KB per table; " << rssBefore / 1024 << " MB at the start)\n";
    std::cout << "answer round trip: median " << percentile(stats.roundTrips, 0.5) << " ms, p99 "
              << percentile(stats.roundTrips, 0.99) << " ms over " << stats.roundTrips.size() << " answers\n";
    return 0;
}

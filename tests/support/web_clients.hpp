// The process tests' clients of a kavrin that serves browsers: the process itself (its keyboard a pipe,
// its output a file) and a WebSocket browser (Beast) that keeps every message and plays its seat.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "net/socket.hpp"
#include "tests/support/hosting.hpp"

namespace kvr {
namespace web_clients {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

inline const bool NETWORKING = startNetworking();

inline std::uint16_t freePort() {
    EXPECT_TRUE(NETWORKING);
    // The web page takes the port after the game's: both must be free.
    for (;;) {
        SocketHandle s = listenTcp(0);
        std::uint16_t port = boundPort(s);
        SocketHandle next = listenTcp(static_cast<std::uint16_t>(port + 1));
        closeSocket(s);
        bool free = socketValid(next);
        closeSocket(next);
        if (free && port < 65535) return port;
    }
}

// A kavrin process whose keyboard is a pipe: held (nobody types) or closed (every question at the
// host's console gets its default answer at once).
class Host {
  public:
    Host(std::vector<std::string> args, bool held) {
        static int serial = 0;
        out_ = "/tmp/kvr_web_" + std::to_string(getpid()) + "_" + std::to_string(++serial) + ".out";
        args.insert(args.begin(), KAVRIN_BIN);
        int in[2];
        EXPECT_EQ(pipe(in), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            int fd = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, 1);
            dup2(fd, 2);
            close(in[0]), close(in[1]);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(KAVRIN_BIN, argv.data());
            _exit(127);
        }
        close(in[0]);
        keyboard_ = in[1];
        if (!held) release();
    }
    ~Host() {
        if (pid_ > 0) finish(0);
        unlink(out_.c_str());
    }
    void release() {
        if (keyboard_ >= 0) close(keyboard_);
        keyboard_ = -1;
    }
    void type(const std::string& text) {
        EXPECT_EQ(write(keyboard_, text.data(), text.size()), ssize_t(text.size()));
    }
    std::string out() const { return slurp(out_); }
    void signal(int sig) {
        if (pid_ > 0) kill(pid_, sig);
    }
    bool waitFor(const std::string& text, int seconds) {
        for (auto end = Clock::now() + std::chrono::seconds(seconds); Clock::now() < end;) {
            if (out().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The exit code, or -1 when the process had to be killed after `seconds`.
    int finish(int seconds) {
        release();
        int status = 0;
        for (auto end = Clock::now() + std::chrono::seconds(seconds); waitpid(pid_, &status, WNOHANG) == 0;) {
            if (Clock::now() > end) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int keyboard_ = -1;
    std::string out_;
};

// A browser on its own thread: keeps every message and, while it plays, answers each question with a
// seeded choice among its options, now and then with a number out of range. `leaveAfter` questions
// answered, it vanishes at the next one without a close handshake, as a closed tab does.
class Browser {
  public:
    // `path` is the table's WebSocket: a hosted game's at /ws, a room's table's at /t/ID/ws.
    Browser(std::uint16_t webPort, const std::string& code, bool plays, std::uint32_t seed = 1,
            int leaveAfter = -1, const std::string& path = "/ws")
        : plays_(plays), rng_(seed), leaveAfter_(leaveAfter) {
        try {
            tcp::resolver resolver(io_);
            asio::connect(ws_.next_layer(), resolver.resolve("127.0.0.1", std::to_string(webPort)));
            ws_.handshake("127.0.0.1", path);
            ws_.text(true);
            ws_.write(asio::buffer(Json{{"t", "hello"}, {"code", code}}.dump()));
        } catch (const std::exception&) {
            closed_ = true;
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~Browser() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        beast::error_code ignored;
        ws_.next_layer().close(ignored);
    }
    void play() { plays_ = true; }
    // Answers nothing more from the next question on.
    void hold() { plays_ = false; }
    std::vector<Json> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    bool closed() const { return closed_; }
    // Waits until a message satisfies `test`; false after `seconds`.
    bool waitFor(const std::function<bool(const Json&)>& test, int seconds) {
        for (auto end = Clock::now() + std::chrono::seconds(seconds);;) {
            for (const Json& m : messages())
                if (test(m)) return true;
            if (Clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    bool waitClosed(int seconds) {
        for (auto end = Clock::now() + std::chrono::seconds(seconds); Clock::now() < end && !closed_;)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return closed_;
    }
    // A message of the test's own making, sent by the browser's thread.
    void send(std::string text, bool binary = false) {
        std::lock_guard<std::mutex> lock(mutex_);
        outgoing_.push_back({std::move(text), binary});
    }
    int seat() {
        for (const Json& m : messages())
            if (m["t"] == "state" && m["state"] == "player") return m["seat"].get<int>();
        return -1;
    }
    std::string code() {
        for (const Json& m : messages())
            if (m["t"] == "state" && m["state"] == "player") return m["code"].get<std::string>();
        return "";
    }
    // Every public text in order, or every private one.
    std::string texts(bool isPublic) {
        std::string out;
        for (const Json& m : messages())
            if (m["t"] == "text" && m["public"] == isPublic) out += m["text"].get<std::string>();
        return out;
    }

  private:
    void run() {
        read();
        while (!stop_ && !closed_) {
            io_.run_for(std::chrono::milliseconds(10));
            if (io_.stopped()) io_.restart();
            write();
        }
    }
    void read() {
        ws_.async_read(buffer_, [this](beast::error_code ec, std::size_t) {
            if (ec) {
                closed_ = true;
                return;
            }
            Json m = Json::parse(beast::buffers_to_string(buffer_.data()), nullptr, false);
            buffer_.consume(buffer_.size());
            {
                std::lock_guard<std::mutex> lock(mutex_);
                messages_.push_back(m);
            }
            if (m.is_object() && m["t"] == "ask") pending_ = m;
            write();
            read();
        });
    }
    void write() {
        if (writing_ || closed_) return;
        std::pair<std::string, bool> next;
        if (plays_ && !pending_.is_null()) {
            if (leaveAfter_ >= 0 && answered_ >= leaveAfter_) {
                beast::error_code ignored;
                ws_.next_layer().close(ignored);
                closed_ = true;
                return;
            }
            next = {Json{{"t", "answer"}, {"id", pending_["id"]}, {"value", choose(pending_)}}.dump(), false};
            pending_ = Json();
            ++answered_;
        } else {
            std::lock_guard<std::mutex> lock(mutex_);
            if (outgoing_.empty()) return;
            next = std::move(outgoing_.front());
            outgoing_.erase(outgoing_.begin());
        }
        writing_ = true;
        text_ = std::move(next.first);
        ws_.binary(next.second);
        ws_.async_write(asio::buffer(text_), [this](beast::error_code ec, std::size_t) {
            writing_ = false;
            if (ec) closed_ = true;
        });
    }
    Json choose(const Json& ask) {
        const std::string kind = ask["kind"];
        const Json& options = ask["options"];
        if (kind == "number") {
            int lo = ask["lo"], hi = ask["hi"];
            if (rng_() % 20 == 0) return hi + 1;
            return lo + static_cast<int>(rng_() % static_cast<unsigned>(hi - lo + 1));
        }
        if (kind == "yesno") return rng_() % 2 == 0;
        if (kind == "pause") return "";
        if (kind == "order") {
            std::vector<int> order;
            for (std::size_t k = 0; k < options.size(); ++k) order.push_back(static_cast<int>(k) + 1);
            std::shuffle(order.begin(), order.end(), rng_);
            return order;
        }
        if (kind == "command") {
            if (rng_() % 3 == 0 || options.empty()) return "e";
            const Json& o = options[rng_() % options.size()];
            std::string v = o["value"];
            return v[0] >= '0' && v[0] <= '9' ? Json(std::stoi(v)) : Json(v);
        }
        return "1";
    }

    asio::io_context io_;
    websocket::stream<tcp::socket> ws_{io_};
    beast::flat_buffer buffer_;
    std::atomic<bool> plays_;
    std::mt19937 rng_;
    int leaveAfter_;
    int answered_ = 0;
    Json pending_;
    bool writing_ = false;
    std::string text_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closed_{false};
    std::mutex mutex_;
    std::vector<Json> messages_;
    std::vector<std::pair<std::string, bool>> outgoing_;
    std::thread thread_;
};

inline auto isState(const char* state) {
    return [state](const Json& m) { return m["t"] == "state" && m["state"] == state; };
}
inline auto isEnd() {
    return [](const Json& m) { return m["t"] == "end"; };
}

} // namespace web_clients
} // namespace kvr

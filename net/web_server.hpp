// The web server, shared by the translation units that make it up: web_host.cpp (listening, the
// ticker), web_page.cpp (HTTP: the page's files, the record, the way into a WebSocket) and
// web_session.cpp (a browser's WebSocket). Each includes only the part of Beast it needs, so the three
// compile side by side. Everything here runs on the server's one thread, except wake(). What it serves,
// one hosted table or a room of them, is its site's to say.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>

#include "net/web_host.hpp"

namespace kvr {

class Anonymous;
class WebTable;

// The server's second thread: the pages that may take long, one after another, so that the thread that
// serves every table never waits for them. Jobs past a few waiting are refused.
class Backroom {
  public:
    Backroom() = default;
    ~Backroom() {
        {
            std::lock_guard<std::mutex> lock(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    Backroom(const Backroom&) = delete;
    Backroom& operator=(const Backroom&) = delete;
    // False when too many jobs wait already.
    bool run(std::function<void()> job) {
        std::lock_guard<std::mutex> lock(lock_);
        if (stopping_ || jobs_.size() >= MAX_WAITING) return false;
        jobs_.push_back(std::move(job));
        if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
        wake_.notify_one();
        return true;
    }

  private:
    static constexpr std::size_t MAX_WAITING = 32;
    void work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(lock_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (stopping_) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

struct WebHost::Server {
    // Connections open, in all and from each remote address. Declared before the io_context: handlers
    // it still holds when it goes release their slots here.
    int open = 0;
    std::map<std::string, int> openFrom;
    // WebSockets not yet destroyed (read from any thread): the host waits for them before it goes.
    std::atomic<int> liveSockets{0};
    boost::asio::io_context io{1};
    boost::asio::ip::tcp::acceptor acceptor{io};
    boost::asio::steady_timer ticker{io};
    std::thread thread;
    WebSite& site;
    // The port served and the names the page may be reached by: the Host and Origin an upgrade must
    // carry.
    std::uint16_t port = 0;
    std::vector<std::string> names;
    // The origin a reverse proxy serves the pages from, empty for none.
    std::string proxied;
    std::atomic<bool> wakePending{false};
    struct Session;
    long sessionSerial = 0;
    std::map<long, std::weak_ptr<Session>> sessions;
    // The same by table: a table with news wakes its own browsers only, so a room's cost per message
    // does not grow with the number of tables.
    std::map<const WebTable*, std::map<long, std::weak_ptr<Session>>> byTable;
    std::mutex wakeLock;
    std::set<const WebTable*> woken;
    bool tablesWakePending = false;
    // Anonymous connections, oldest first, with their remote address.
    long serial = 0;
    std::map<long, std::pair<std::string, std::weak_ptr<Anonymous>>> anonymous;

    // Once closing, no connection is taken any more.
    bool closing = false;
    // Last, so that it stops before anything its jobs use goes.
    Backroom backroom;

    explicit Server(WebSite& s) : site(s) {}

    void wake() {
        if (!wakePending.exchange(true)) boost::asio::post(io, [this] { pumpAll(); });
    }
    void pumpAll();
    // From any thread: table `t`'s browsers have something to read.
    void wake(const WebTable* t) {
        std::lock_guard<std::mutex> lock(wakeLock);
        woken.insert(t);
        if (tablesWakePending) return;
        tablesWakePending = true;
        boost::asio::post(io, [this] { pumpWoken(); });
    }
    void pumpWoken();
    // Every WebSocket ends once what waits for it is sent.
    void closeSessions();
    void accept();
    void tick();
    // Registers an anonymous connection; forget() when it has said who it is.
    long track(const std::string& from, const std::shared_ptr<Anonymous>& a) {
        anonymous[++serial] = {from, a};
        return serial;
    }
    void forget(long ticket) { anonymous.erase(ticket); }
    // Closes the oldest anonymous connection (from `from`, or from anywhere when empty); false when
    // there is none.
    bool evictOldest(const std::string& from);
};

// Counts a connection while it is open, in all and for its remote address, until released (at the
// latest when it goes).
class Slot {
  public:
    Slot(WebHost::Server& server, std::string from) : server_(server), from_(std::move(from)) {
        ++server_.open;
        ++server_.openFrom[from_];
    }
    ~Slot() { release(); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    const std::string& from() const { return from_; }
    void release() {
        if (released_) return;
        released_ = true;
        --server_.open;
        auto it = server_.openFrom.find(from_);
        if (it != server_.openFrom.end() && --it->second <= 0) server_.openFrom.erase(it);
    }

  private:
    WebHost::Server& server_;
    std::string from_;
    bool released_ = false;
};

// A connection that has not yet said who it is: an HTTP connection, or a WebSocket before its hello.
// When the connections are at their limit, the oldest of these makes room for a newcomer.
class Anonymous {
  public:
    virtual ~Anonymous() = default;
    // Closes the connection and gives its slot up at once.
    virtual void evict() = 0;
};

using UpgradeRequest = boost::beast::http::request<boost::beast::http::empty_body>;

// A new connection from `from`: its HTTP requests are read (web_page.cpp).
void readRequests(boost::asio::ip::tcp::socket socket, WebHost::Server& server, const std::string& from);
// A request to open the game's WebSocket, already let through (web_session.cpp).
void openSession(boost::asio::ip::tcp::socket socket, WebHost::Server& server, std::shared_ptr<WebTable> table,
                 const std::string& from, UpgradeRequest request);

} // namespace kvr

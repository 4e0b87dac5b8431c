// The web page a hosted game serves on a port of its own: the HTTP and WebSocket server on a thread
// of its own, and the web table it shares with the game. The line protocol's port is untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kvr {

class LanHub;
class WebTable;

// Connections open at once at most, pages and browsers together, and from any one address. Past either
// limit a newcomer displaces the oldest connection that has not said who it is, or is closed.
constexpr int MAX_WEB_CONNECTIONS = 40;
constexpr int MAX_WEB_CONNECTIONS_FROM_ONE = 16;
// How long a WebSocket may take to send its hello before it is closed.
constexpr int HELLO_WAIT_MS = 5000;

// What a web server serves besides the page's files: the tables behind its WebSocket paths, their
// records, and any pages of its own. Called on the server's thread.
class WebSite {
  public:
    virtual ~WebSite() = default;
    // The table whose WebSocket is at `path` (a host's one table at "/ws"); null when there is none.
    virtual std::shared_ptr<WebTable> tableAt(const std::string& path) = 0;
    // The record file offered at `path` once its game is over; empty when there is none (yet).
    virtual std::string recordAt(const std::string& path) = 0;
    // The page file a path shows ("/" shows "/index.html"); empty when the path is none of them.
    virtual std::string assetAt(const std::string& path) = 0;
    // A page of the site's own: false when `path` is none. `query` is what followed '?', `from` the
    // remote address. A `location` answers with a redirect there.
    struct Reply {
        int status = 200;
        std::string type = "text/html; charset=utf-8";
        std::string body;
        std::string location;
        // Headers that replace the page's own of the same name.
        std::vector<std::pair<std::string, std::string>> headers;
    };
    virtual bool answer(const std::string& path, const std::string& query, const std::string& from, Reply& out) {
        (void)path, (void)query, (void)from, (void)out;
        return false;
    }
    // Whether the page at `path` may take long (a database, a replay): it is answered on a thread of the
    // server's own beside the one that serves every table, so no table waits for it. answer() and upload()
    // must then be safe to call from that thread.
    virtual bool aside(const std::string& path) const {
        (void)path;
        return false;
    }
    // The most bytes a POST to `path` may carry; 0 where nothing may be posted.
    virtual std::size_t uploadLimit(const std::string& path) const {
        (void)path;
        return 0;
    }
    // A POST's body, no longer than uploadLimit(path); always answered aside.
    virtual bool upload(const std::string& path, const std::string& body, const std::string& from, Reply& out) {
        (void)path, (void)body, (void)from, (void)out;
        return false;
    }
    // Every 100 ms or so.
    virtual void tick() = 0;
    // Connections in all and from one address at most.
    virtual int maxConnections() const { return MAX_WEB_CONNECTIONS; }
    virtual int maxConnectionsFromOne() const { return MAX_WEB_CONNECTIONS_FROM_ONE; }
};

class WebHost {
  public:
    // The record the host writes, offered for download once the game is over; empty for none.
    WebHost(LanHub& hub, const std::string& recordPath);
    ~WebHost();
    // Serves `site` instead of one table (a room).
    explicit WebHost(WebSite& site);
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;

    // Listens on every local IPv4 address and serves; false when the port can't be had.
    bool start(std::uint16_t port);
    // The port served (the one the system chose when started on port 0); 0 when not serving.
    std::uint16_t port() const;
    WebTable& table();
    // A reverse proxy serves the pages at `url` too: pages from there may open WebSockets.
    void proxiedAt(const std::string& url);
    // Takes no connection any more and ends those open, after what waits for them is sent.
    void closeAll();
    // Called from any thread when browsers have something to read: every table's, or table t's.
    void wake();
    void wake(const WebTable* t);

    // The server proper (Boost.Beast), kept out of this header.
    struct Server;

  private:
    struct OneTable;
    LanHub* hub_ = nullptr;
    std::shared_ptr<WebTable> table_;
    std::unique_ptr<WebSite> own_;
    std::unique_ptr<Server> server_;
    std::string proxied_;
};

// The page's addresses on this machine's LAN addresses, for the host to show its players.
std::vector<std::string> pageAddresses(std::uint16_t port);

} // namespace kvr

#include "net/web_host.hpp"

#include "net/hub.hpp"
#include "net/socket.hpp"
#include "net/web_guard.hpp"
#include "net/web_server.hpp"
#include "net/web_table.hpp"

namespace kvr {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;

bool WebHost::Server::evictOldest(const std::string& from) {
    for (auto it = anonymous.begin(); it != anonymous.end();) {
        auto a = it->second.second.lock();
        if (!a) {
            it = anonymous.erase(it);
            continue;
        }
        if (!from.empty() && it->second.first != from) {
            ++it;
            continue;
        }
        anonymous.erase(it);
        a->evict();
        return true;
    }
    return false;
}

// A newcomer past a limit takes the place of the oldest connection that has not yet said who it is,
// from its own address when that address is at its limit: a device that floods the page with
// connections displaces only its own, and a player who comes back with its seat code always gets in.
// Only when every connection is known is the newcomer closed as it comes.
void WebHost::Server::accept() {
    acceptor.async_accept([this](ErrorCode ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (!ec) {
            tcp::endpoint remote = socket.remote_endpoint(ec);
            std::string from = ec ? std::string("?") : remote.address().to_string();
            bool room = true;
            if (openFrom[from] >= site.maxConnectionsFromOne()) room = evictOldest(from);
            if (room && open >= site.maxConnections()) room = evictOldest("");
            if (openFrom[from] == 0) openFrom.erase(from);
            if (!room || closing) {
                ErrorCode ignored;
                socket.close(ignored);
            } else {
                socket.set_option(tcp::no_delay(true), ec);
                readRequests(std::move(socket), *this, from);
            }
        }
        accept();
    });
}

void WebHost::Server::tick() {
    ticker.expires_after(std::chrono::milliseconds(100));
    ticker.async_wait([this](ErrorCode ec) {
        if (ec) return;
        site.tick();
        pumpAll();
        tick();
    });
}

// A hosted game's one table: its WebSocket at /ws, its record at /record.
struct WebHost::OneTable : WebSite {
    std::shared_ptr<WebTable> table;
    std::string recordPath;
    OneTable(std::shared_ptr<WebTable> t, std::string record) : table(std::move(t)), recordPath(std::move(record)) {}
    std::shared_ptr<WebTable> tableAt(const std::string& path) override { return path == "/ws" ? table : nullptr; }
    std::string recordAt(const std::string& path) override {
        return path == "/record" && table->over() ? recordPath : std::string();
    }
    std::string assetAt(const std::string& path) override { return path == "/" ? "/index.html" : path; }
    void tick() override { table->tick(); }
};

WebHost::WebHost(LanHub& hub, const std::string& recordPath) : hub_(&hub), table_(std::make_shared<WebTable>(hub)) {
    table_->recordAt(recordPath);
    own_ = std::make_unique<OneTable>(table_, recordPath);
    server_ = std::make_unique<Server>(*own_);
    table_->onWake([server = server_.get()] { server->wake(); });
    hub_->attachWeb(table_.get());
}

WebHost::WebHost(WebSite& site) : server_(std::make_unique<Server>(site)) {}

void WebHost::proxiedAt(const std::string& url) { proxied_ = publicOrigin(url); }

void WebHost::wake() { server_->wake(); }

void WebHost::wake(const WebTable* t) { server_->wake(t); }

// What waits for each browser (the end, the record) is sent and each close handshake answered before the
// program goes, for up to two seconds: a host whose keyboard says nothing more exits right after its game,
// and stopping at once lost the end screen of a page not yet written to.
WebHost::~WebHost() {
    if (hub_) hub_->attachWeb(nullptr);
    if (server_->thread.joinable()) {
        closeAll();
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
             server_->liveSockets.load() > 0 && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    server_->io.stop();
    if (server_->thread.joinable()) server_->thread.join();
    server_.reset();
}

bool WebHost::start(std::uint16_t port) {
    ErrorCode ec;
    tcp::endpoint at(asio::ip::address_v4::any(), port);
    server_->acceptor.open(at.protocol(), ec);
#ifndef _WIN32
    if (!ec) server_->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
    if (!ec) server_->acceptor.bind(at, ec);
    if (!ec) server_->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        server_->acceptor.close(ec);
        return false;
    }
    server_->port = this->port();
    server_->names = hostNames();
    server_->proxied = proxied_;
    server_->accept();
    server_->tick();
    server_->thread = std::thread([server = server_.get()] { server->io.run(); });
    return true;
}

std::uint16_t WebHost::port() const {
    ErrorCode ec;
    if (!server_->acceptor.is_open()) return 0;
    tcp::endpoint at = server_->acceptor.local_endpoint(ec);
    return ec ? 0 : at.port();
}

WebTable& WebHost::table() { return *table_; }

void WebHost::closeAll() {
    asio::post(server_->io, [server = server_.get()] {
        server->closing = true;
        ErrorCode ec;
        server->acceptor.close(ec);
        server->closeSessions();
    });
}

std::vector<std::string> pageAddresses(std::uint16_t port) {
    std::vector<std::string> out;
    for (const std::string& a : localIpv4Addresses())
        out.push_back("http://" + a + ":" + std::to_string(port) + "/");
    if (out.empty()) out.push_back("http://127.0.0.1:" + std::to_string(port) + "/");
    return out;
}

} // namespace kvr

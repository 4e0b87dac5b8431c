#include "net/web_host.hpp"

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "net/hub.hpp"
#include "net/socket.hpp"
#include "net/web_assets.hpp"
#include "net/web_table.hpp"

namespace kvr {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;

namespace {

// A request's header at most; a larger one closes the connection. Requests carry no body.
constexpr std::uint32_t MAX_HEADER_BYTES = 8192;
// Messages other than answers a browser may send in one second; more is a flood, and closes its
// connection.
constexpr int MAX_MESSAGES_PER_SECOND = 20;
// How long a request may take to arrive, and an unanswered close handshake may hold a connection.
constexpr auto REQUEST_TIME = std::chrono::seconds(15);
constexpr auto CLOSE_TIME = std::chrono::seconds(2);
// A browser that answers no ping for this long is gone (its Wi-Fi, its tab): the seat drops.
constexpr auto IDLE_TIME = std::chrono::seconds(60);

const char* contentType(const std::string& path) {
    auto ends = [&path](const char* tail) {
        std::string t(tail);
        return path.size() >= t.size() && path.compare(path.size() - t.size(), t.size(), t) == 0;
    };
    if (ends(".html")) return "text/html; charset=utf-8";
    if (ends(".css")) return "text/css; charset=utf-8";
    if (ends(".js")) return "text/javascript; charset=utf-8";
    if (ends(".svg")) return "image/svg+xml";
    if (ends(".png")) return "image/png";
    return "application/octet-stream";
}

} // namespace

// Everything below runs on the server's one thread, except wake(), which any thread may call.
struct WebHost::Server {
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer ticker{io};
    std::thread thread;
    WebTable& table;
    std::string recordPath;
    int open = 0;
    std::atomic<bool> wakePending{false};
    struct Session;
    std::map<int, std::weak_ptr<Session>> sessions;

    Server(WebTable& t, std::string record) : table(t), recordPath(std::move(record)) {}

    void wake() {
        if (!wakePending.exchange(true)) asio::post(io, [this] { pumpAll(); });
    }
    void pumpAll();
    void accept();
    void tick();
};

namespace {

// Counts a connection while it is open.
class Slot {
  public:
    explicit Slot(int& open) : open_(open) { ++open_; }
    ~Slot() { --open_; }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

  private:
    int& open_;
};

} // namespace

// One browser's WebSocket. What it is sent waits at the web table until the previous message has
// gone, so that a browser that does not read fills the table's bounded queue and is let go there.
struct WebHost::Server::Session : std::enable_shared_from_this<Session> {
    websocket::stream<beast::tcp_stream> ws;
    Server& server;
    Slot slot;
    beast::flat_buffer buffer;
    asio::steady_timer closer;
    int id = -1;
    std::deque<std::string> queue;
    bool writing = false;
    bool closing = false;
    bool done = false;
    int burst = 0;
    std::chrono::steady_clock::time_point burstStart;

    Session(tcp::socket socket, Server& s) : ws(std::move(socket)), server(s), slot(s.open), closer(s.io) {}

    void run(http::request<http::empty_body> request) {
        beast::get_lowest_layer(ws).expires_never();
        websocket::stream_base::timeout timeouts =
            websocket::stream_base::timeout::suggested(beast::role_type::server);
        timeouts.idle_timeout = IDLE_TIME;
        timeouts.keep_alive_pings = true;
        ws.set_option(timeouts);
        ws.read_message_max(MAX_BROWSER_MESSAGE);
        ws.text(true);
        auto self = shared_from_this();
        ws.async_accept(request, [self](ErrorCode ec) {
            if (ec) return;
            self->id = self->server.table.connect();
            self->server.sessions[self->id] = self;
            self->read();
        });
    }

    void read() {
        auto self = shared_from_this();
        ws.async_read(buffer, [self](ErrorCode ec, std::size_t) { self->received(ec); });
    }

    // Anything but a text message the table accepts closes this connection, and only this one.
    void received(ErrorCode ec) {
        if (ec) return end(false);
        if (!ws.got_text()) return end(true);
        // Each answer needs a question of its own, so only other messages can make a flood.
        auto now = std::chrono::steady_clock::now();
        if (now - burstStart > std::chrono::seconds(1)) {
            burstStart = now;
            burst = 0;
        }
        std::string text = beast::buffers_to_string(buffer.data());
        buffer.consume(buffer.size());
        WebTable::Received r = server.table.receive(id, parseBrowserMessage(text));
        if (r == WebTable::Received::Refused) return end(true);
        if (r != WebTable::Received::Answered && ++burst > MAX_MESSAGES_PER_SECOND) return end(true);
        pump();
        read();
    }

    void pump() {
        if (done || writing) return;
        if (queue.empty()) {
            std::vector<std::string> more;
            closing = server.table.take(id, more) || closing;
            for (std::string& m : more) queue.push_back(std::move(m));
        }
        if (queue.empty()) {
            if (closing) end(true);
            return;
        }
        writing = true;
        auto self = shared_from_this();
        ws.async_write(asio::buffer(queue.front()), [self](ErrorCode ec, std::size_t) {
            self->writing = false;
            if (ec) return self->end(false);
            self->queue.pop_front();
            self->pump();
        });
    }

    // The table forgets the browser at once; the connection gets a close handshake when `polite`, and
    // is cut after a moment either way.
    void end(bool polite) {
        if (done) return;
        done = true;
        if (id >= 0) {
            server.table.disconnect(id);
            server.sessions.erase(id);
        }
        auto self = shared_from_this();
        closer.expires_after(polite ? CLOSE_TIME : std::chrono::seconds(0));
        closer.async_wait([self](ErrorCode) {
            ErrorCode ignored;
            beast::get_lowest_layer(self->ws).socket().close(ignored);
        });
        if (polite && !writing)
            ws.async_close(websocket::close_code::normal, [self](ErrorCode) { self->closer.cancel(); });
    }
};

namespace {

// One HTTP connection: the page's files, the record at the end, or the way into a WebSocket.
class Page : public std::enable_shared_from_this<Page> {
  public:
    Page(tcp::socket socket, WebHost::Server& server)
        : stream_(std::move(socket)), server_(server), slot_(server.open) {}

    void read() {
        parser_.emplace();
        parser_->header_limit(MAX_HEADER_BYTES);
        parser_->body_limit(0);
        stream_.expires_after(REQUEST_TIME);
        auto self = shared_from_this();
        http::async_read(stream_, buffer_, *parser_,
                         [self](ErrorCode ec, std::size_t) { self->received(ec); });
    }

  private:
    void received(ErrorCode ec) {
        if (ec) return close();
        http::request<http::empty_body> request = parser_->release();
        if (websocket::is_upgrade(request)) {
            if (request.target() != "/ws") return close();
            auto session = std::make_shared<WebHost::Server::Session>(stream_.release_socket(), server_);
            session->run(std::move(request));
            return;
        }
        answer(request);
    }

    void answer(const http::request<http::empty_body>& request) {
        auto response =
            std::make_shared<http::response<http::string_body>>(http::status::ok, request.version());
        response->set(http::field::server, "kavrin");
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        response->set("Content-Security-Policy",
                      "default-src 'self'; connect-src 'self' ws: wss:; img-src 'self' data:");
        std::string path(request.target());
        path = path.substr(0, path.find('?'));
        if (path == "/") path = "/index.html";
        bool found = false;
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            response->result(http::status::method_not_allowed);
        } else if (path == "/record") {
            found = record(*response);
        } else {
            for (const WebAsset& a : webAssets()) {
                if (path != a.path) continue;
                response->set(http::field::content_type, contentType(path));
                response->body().assign(reinterpret_cast<const char*>(a.data), a.size);
                found = true;
            }
        }
        if (!found && response->result() == http::status::ok) response->result(http::status::not_found);
        if (!found) {
            response->set(http::field::content_type, "text/plain; charset=utf-8");
            response->body() = response->result() == http::status::not_found ? "404 找不到该页面\n" : "405\n";
        }
        response->keep_alive(request.keep_alive() && found);
        response->prepare_payload();
        if (request.method() == http::verb::head) response->body().clear();
        auto self = shared_from_this();
        http::async_write(stream_, *response, [self, response](ErrorCode ec, std::size_t) {
            if (ec || !response->keep_alive()) return self->close();
            self->read();
        });
    }

    // The game's record, once the game is over: until then it would tell the answers of every seat.
    bool record(http::response<http::string_body>& response) {
        if (server_.recordPath.empty() || !server_.table.over()) return false;
        std::ifstream in(server_.recordPath, std::ios::binary);
        if (!in) return false;
        response.body().assign(std::istreambuf_iterator<char>(in), {});
        response.set(http::field::content_type, "text/plain; charset=utf-8");
        response.set(http::field::content_disposition, "attachment; filename=\"kavrin-record.txt\"");
        return true;
    }

    void close() {
        ErrorCode ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    beast::tcp_stream stream_;
    WebHost::Server& server_;
    Slot slot_;
    beast::flat_buffer buffer_{MAX_HEADER_BYTES * 2};
    std::optional<http::request_parser<http::empty_body>> parser_;
};

} // namespace

void WebHost::Server::pumpAll() {
    wakePending = false;
    std::vector<std::shared_ptr<Session>> live;
    for (auto& [id, weak] : sessions)
        if (auto s = weak.lock()) live.push_back(s);
    for (auto& s : live) s->pump();
}

// Past the limit a connection is closed as it comes: a flood of connections costs nothing more.
void WebHost::Server::accept() {
    acceptor.async_accept([this](ErrorCode ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (!ec) {
            if (open >= MAX_WEB_CONNECTIONS) {
                ErrorCode ignored;
                socket.close(ignored);
            } else {
                socket.set_option(tcp::no_delay(true), ec);
                std::make_shared<Page>(std::move(socket), *this)->read();
            }
        }
        accept();
    });
}

void WebHost::Server::tick() {
    ticker.expires_after(std::chrono::milliseconds(100));
    ticker.async_wait([this](ErrorCode ec) {
        if (ec) return;
        table.tick();
        pumpAll();
        tick();
    });
}

WebHost::WebHost(LanHub& hub, const std::string& recordPath)
    : hub_(hub), table_(std::make_unique<WebTable>(hub)) {
    table_->recordAt(recordPath);
    server_ = std::make_unique<Server>(*table_, recordPath);
    table_->onWake([server = server_.get()] { server->wake(); });
    hub_.attachWeb(table_.get());
}

WebHost::~WebHost() {
    hub_.attachWeb(nullptr);
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

std::vector<std::string> pageAddresses(std::uint16_t port) {
    std::vector<std::string> out;
    for (const std::string& a : localIpv4Addresses())
        out.push_back("http://" + a + ":" + std::to_string(port) + "/");
    if (out.empty()) out.push_back("http://127.0.0.1:" + std::to_string(port) + "/");
    return out;
}

} // namespace kvr

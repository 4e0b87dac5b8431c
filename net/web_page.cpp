// The web host's HTTP side: the page's files, the record once the game is over, and the way into the
// game's WebSocket, which only the host's own page may take.
#include <fstream>
#include <iterator>
#include <optional>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include "net/web_assets.hpp"
#include "net/web_guard.hpp"
#include "net/web_server.hpp"
#include "net/web_table.hpp"

namespace kvr {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;

namespace {

// A request's header at most; a larger one closes the connection. Requests carry no body.
constexpr std::uint32_t MAX_HEADER_BYTES = 8192;
// How long a request may take to arrive, the first as every later one on a kept-alive connection: as
// long as a WebSocket's hello.
constexpr auto REQUEST_TIME = std::chrono::milliseconds(HELLO_WAIT_MS);

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

std::string fieldOf(const UpgradeRequest& request, http::field f) {
    auto it = request.find(f);
    return it == request.end() ? std::string() : std::string(it->value());
}

// One HTTP connection: the page's files, the record at the end, or the way into a WebSocket.
class Page : public std::enable_shared_from_this<Page>, public Anonymous {
  public:
    Page(tcp::socket socket, WebHost::Server& server, const std::string& from)
        : stream_(std::move(socket)), server_(server), slot_(server, from) {}

    void start() {
        ticket_ = server_.track(slot_.from(), shared_from_this());
        read();
    }

    void evict() override { close(); }

  private:
    void read() {
        parser_.emplace();
        parser_->header_limit(MAX_HEADER_BYTES);
        parser_->body_limit(0);
        stream_.expires_after(REQUEST_TIME);
        auto self = shared_from_this();
        http::async_read(stream_, buffer_, *parser_,
                         [self](ErrorCode ec, std::size_t) { self->received(ec); });
    }

    void received(ErrorCode ec) {
        if (ec || closed_) return close();
        UpgradeRequest request = parser_->release();
        if (beast::websocket::is_upgrade(request)) {
            if (server_.closing) return close();
            std::shared_ptr<WebTable> table = server_.site.tableAt(std::string(request.target()));
            if (!table) return close();
            bool hasOrigin = request.find(http::field::origin) != request.end();
            if (!proxiedUpgradeAllowed(fieldOf(request, http::field::host), hasOrigin,
                                       fieldOf(request, http::field::origin), names(), server_.port,
                                       server_.proxied))
                return refuse(request.version());
            server_.forget(ticket_);
            slot_.release();
            closed_ = true;
            openSession(stream_.release_socket(), server_, std::move(table), slot_.from(), std::move(request));
            return;
        }
        answer(request);
    }

    // The host's names, and the address this connection reached it at.
    std::vector<std::string> names() {
        std::vector<std::string> all = server_.names;
        ErrorCode ec;
        tcp::endpoint local = stream_.socket().local_endpoint(ec);
        if (!ec) all.push_back(local.address().to_string());
        return all;
    }

    // A refused upgrade is told 403 and nothing else, and its connection ends.
    void refuse(unsigned version) {
        auto response = std::make_shared<http::response<http::empty_body>>(http::status::forbidden, version);
        response->keep_alive(false);
        response->prepare_payload();
        auto self = shared_from_this();
        http::async_write(stream_, *response, [self, response](ErrorCode, std::size_t) { self->close(); });
    }

    void answer(const UpgradeRequest& request) {
        auto response =
            std::make_shared<http::response<http::string_body>>(http::status::ok, request.version());
        response->set(http::field::server, "kavrin");
        response->set(http::field::cache_control, "no-store");
        std::string host = fieldOf(request, http::field::host);
        for (const auto& [name, value] : pageHeaders(hostAllowed(host, names(), server_.port) ? host : ""))
            response->set(name, value);
        std::string target(request.target());
        std::size_t mark = target.find('?');
        std::string path = target.substr(0, mark);
        std::string query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
        std::string file = server_.site.recordAt(path);
        WebSite::Reply own;
        bool found = false;
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            response->result(http::status::method_not_allowed);
            response->set(http::field::allow, "GET, HEAD");
        } else if (!file.empty()) {
            found = record(*response, file);
        } else if (server_.site.answer(path, query, slot_.from(), own)) {
            found = true;
            response->result(static_cast<http::status>(own.status));
            response->set(http::field::content_type, own.type);
            if (!own.location.empty()) response->set(http::field::location, own.location);
            for (const auto& [name, value] : own.headers) response->set(name, value);
            response->body() = std::move(own.body);
        } else {
            path = server_.site.assetAt(path);
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
    bool record(http::response<http::string_body>& response, const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        if (!in) return false;
        response.body().assign(std::istreambuf_iterator<char>(in), {});
        response.set(http::field::content_type, "text/plain; charset=utf-8");
        response.set(http::field::content_disposition, "attachment; filename=\"kavrin-record.txt\"");
        return true;
    }

    void close() {
        server_.forget(ticket_);
        slot_.release();
        if (closed_) return;
        closed_ = true;
        ErrorCode ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    beast::tcp_stream stream_;
    WebHost::Server& server_;
    Slot slot_;
    long ticket_ = 0;
    bool closed_ = false;
    beast::flat_buffer buffer_{MAX_HEADER_BYTES * 2};
    std::optional<http::request_parser<http::empty_body>> parser_;
};

} // namespace

void readRequests(tcp::socket socket, WebHost::Server& server, const std::string& from) {
    std::make_shared<Page>(std::move(socket), server, from)->start();
}

} // namespace kvr

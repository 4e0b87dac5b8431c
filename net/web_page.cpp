// The web host's HTTP side: the page's files, the record once the game is over, and the way into the
// game's WebSocket, which only the host's own page may take.
#include <fstream>
#include <limits>
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

// A request's header at most; a larger one closes the connection. Requests carry no body, except a POST
// to a path the site takes uploads at, up to its limit.
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
        // The header is read alone: a body's length is judged once its path is known (headerRead).
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
        stream_.expires_after(REQUEST_TIME);
        auto self = shared_from_this();
        http::async_read_header(stream_, buffer_, *parser_,
                                [self](ErrorCode ec, std::size_t) { self->headerRead(ec); });
    }

    // A POST to a path that takes uploads reads its body, up to the path's limit; any other request
    // with a body closes its connection, as a request past the header's limit does.
    void headerRead(ErrorCode ec) {
        if (ec || closed_) return close();
        if (parser_->is_done()) return received();
        const auto& header = parser_->get();
        std::string target(header.target());
        std::size_t limit = header.method() == http::verb::post
                                ? server_.site.uploadLimit(target.substr(0, target.find('?')))
                                : 0;
        if (limit == 0) return close();
        posted_.emplace(std::move(*parser_));
        posted_->body_limit(limit);
        auto self = shared_from_this();
        http::async_read(stream_, buffer_, *posted_, [self](ErrorCode e, std::size_t) {
            if (e || self->closed_) return self->close();
            http::request<http::string_body> request = self->posted_->release();
            self->posted_.reset();
            UpgradeRequest head(request.base());
            self->answer(head, std::move(request.body()));
        });
    }

    void received() {
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

    using Response = http::response<http::string_body>;

    void answer(const UpgradeRequest& request, std::string posted = std::string()) {
        auto response = std::make_shared<Response>(http::status::ok, request.version());
        response->set(http::field::server, "kavrin");
        response->set(http::field::cache_control, "no-store");
        std::string host = fieldOf(request, http::field::host);
        for (const auto& [name, value] : pageHeaders(hostAllowed(host, names(), server_.port) ? host : ""))
            response->set(name, value);
        std::string target(request.target());
        std::size_t mark = target.find('?');
        std::string path = target.substr(0, mark);
        std::string query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
        bool head = request.method() == http::verb::head;
        bool keepAlive = request.keep_alive();
        bool post = request.method() == http::verb::post && server_.site.uploadLimit(path) > 0;
        if (request.method() != http::verb::get && !head && !post) {
            response->result(http::status::method_not_allowed);
            response->set(http::field::allow, "GET, HEAD");
            return send(response, false, keepAlive, head);
        }
        if (post || server_.site.aside(path)) return answerAside(response, path, query, std::move(posted), keepAlive, head, post);
        std::string file = server_.site.recordAt(path);
        WebSite::Reply own;
        bool found = false;
        if (!file.empty()) {
            found = record(*response, file);
        } else if (server_.site.answer(path, query, slot_.from(), own)) {
            found = true;
            fill(*response, own);
        } else {
            path = server_.site.assetAt(path);
            for (const WebAsset& a : webAssets()) {
                if (path != a.path) continue;
                response->set(http::field::content_type, contentType(path));
                response->body().assign(reinterpret_cast<const char*>(a.data), a.size);
                found = true;
            }
        }
        send(response, found, keepAlive, head);
    }

    // A page that may take long is made on the server's second thread and sent from this one; too many
    // waiting already, it is told to come back later.
    void answerAside(std::shared_ptr<Response> response, std::string path, std::string query, std::string posted,
                     bool keepAlive, bool head, bool post) {
        auto self = shared_from_this();
        bool queued = server_.backroom.run([self, response, path, query, posted, keepAlive, head, post] {
            WebSite::Reply own;
            WebSite& site = self->server_.site;
            bool found = post ? site.upload(path, posted, self->slot_.from(), own)
                              : site.answer(path, query, self->slot_.from(), own);
            asio::post(self->server_.io, [self, response, own, found, keepAlive, head] {
                if (found) self->fill(*response, own);
                self->send(response, found, keepAlive, head);
            });
        });
        if (queued) return;
        response->result(http::status::service_unavailable);
        response->set(http::field::content_type, "text/plain; charset=utf-8");
        response->body() = "503 服务器忙，请稍后再试\n";
        send(response, true, false, head);
    }

    void fill(Response& response, const WebSite::Reply& own) {
        response.result(static_cast<http::status>(own.status));
        response.set(http::field::content_type, own.type);
        if (!own.location.empty()) response.set(http::field::location, own.location);
        for (const auto& [name, value] : own.headers) response.set(name, value);
        response.body() = own.body;
    }

    void send(const std::shared_ptr<Response>& response, bool found, bool keepAlive, bool head) {
        if (closed_) return;
        if (!found && response->result() == http::status::ok) response->result(http::status::not_found);
        if (!found) {
            response->set(http::field::content_type, "text/plain; charset=utf-8");
            response->body() = response->result() == http::status::not_found ? "404 找不到该页面\n" : "405\n";
        }
        response->keep_alive(keepAlive && found);
        response->prepare_payload();
        if (head) response->body().clear();
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
    std::optional<http::request_parser<http::string_body>> posted_;
};

} // namespace

void readRequests(tcp::socket socket, WebHost::Server& server, const std::string& from) {
    std::make_shared<Page>(std::move(socket), server, from)->start();
}

} // namespace kvr

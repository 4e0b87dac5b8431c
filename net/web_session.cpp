// A browser's WebSocket at the web host: the game's messages to it, its messages to the web table.
#include <deque>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket.hpp>

#include "net/web_server.hpp"
#include "net/web_table.hpp"

namespace kvr {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;

namespace {

// Messages other than answers a browser may send in one second; more is a flood, and closes its
// connection.
constexpr int MAX_MESSAGES_PER_SECOND = 20;
// How long an unanswered close handshake may hold a connection.
constexpr auto CLOSE_TIME = std::chrono::seconds(2);
// A browser that answers no ping for this long is gone (its Wi-Fi, its tab): the seat drops.
constexpr auto IDLE_TIME = std::chrono::seconds(60);

} // namespace

// What it is sent waits at the web table until the previous message has gone, so that a browser that
// does not read fills the table's bounded queue and is let go there. Until its hello it is anonymous,
// and is closed if the hello does not come in time.
struct WebHost::Server::Session : std::enable_shared_from_this<Session>, Anonymous {
    websocket::stream<beast::tcp_stream> ws;
    Server& server;
    // The table it reached, kept while the connection lasts.
    std::shared_ptr<WebTable> table;
    long serial = 0;
    Slot slot;
    beast::flat_buffer buffer;
    asio::steady_timer closer;
    asio::steady_timer helloTimer;
    int id = -1;
    long anonymousTicket = 0;
    bool greeted = false;
    std::deque<std::string> queue;
    bool writing = false;
    bool closing = false;
    bool done = false;
    int burst = 0;
    std::chrono::steady_clock::time_point burstStart;

    Session(tcp::socket socket, Server& s, std::shared_ptr<WebTable> t, const std::string& from)
        : ws(std::move(socket)), server(s), table(std::move(t)), slot(s, from), closer(s.io), helloTimer(s.io) {
        ++server.liveSockets;
    }
    ~Session() { --server.liveSockets; }

    void run(UpgradeRequest request) {
        beast::get_lowest_layer(ws).expires_never();
        websocket::stream_base::timeout timeouts =
            websocket::stream_base::timeout::suggested(beast::role_type::server);
        timeouts.idle_timeout = IDLE_TIME;
        timeouts.keep_alive_pings = true;
        ws.set_option(timeouts);
        ws.read_message_max(MAX_BROWSER_MESSAGE);
        ws.text(true);
        auto self = shared_from_this();
        anonymousTicket = server.track(slot.from(), self);
        helloTimer.expires_after(std::chrono::milliseconds(HELLO_WAIT_MS));
        helloTimer.async_wait([self](ErrorCode ec) {
            if (!ec && !self->greeted) self->end(true);
        });
        ws.async_accept(request, [self](ErrorCode ec) {
            if (ec || self->done) return self->end(false);
            self->id = self->table->connect(self->slot.from());
            self->serial = ++self->server.sessionSerial;
            self->server.sessions[self->serial] = self;
            self->server.byTable[self->table.get()][self->serial] = self;
            self->read();
        });
    }

    void evict() override { end(false); }

    void read() {
        auto self = shared_from_this();
        ws.async_read(buffer, [self](ErrorCode ec, std::size_t) { self->received(ec); });
    }

    // Anything but a text message the table accepts closes this connection, and only this one.
    void received(ErrorCode ec) {
        if (ec || done) return end(false);
        if (!ws.got_text()) return end(true);
        // Each answer needs a question of its own, so only other messages can make a flood.
        auto now = std::chrono::steady_clock::now();
        if (now - burstStart > std::chrono::seconds(1)) {
            burstStart = now;
            burst = 0;
        }
        std::string text = beast::buffers_to_string(buffer.data());
        buffer.consume(buffer.size());
        WebTable::Received r = table->receive(id, parseBrowserMessage(text));
        if (r == WebTable::Received::Refused) return end(true);
        if (!greeted) {
            greeted = true;
            helloTimer.cancel();
            server.forget(anonymousTicket);
        }
        if (r != WebTable::Received::Answered && ++burst > MAX_MESSAGES_PER_SECOND) return end(true);
        pump();
        read();
    }

    void pump() {
        if (done || writing) return;
        if (queue.empty()) {
            std::vector<std::string> more;
            closing = table->take(id, more) || closing;
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

    // The table forgets the browser at once, and its slot is free; the connection gets a close
    // handshake when `polite`, and is cut after a moment either way.
    void end(bool polite) {
        if (done) return;
        done = true;
        slot.release();
        server.forget(anonymousTicket);
        helloTimer.cancel();
        if (id >= 0) {
            table->disconnect(id);
            server.sessions.erase(serial);
            auto mine = server.byTable.find(table.get());
            if (mine != server.byTable.end()) {
                mine->second.erase(serial);
                if (mine->second.empty()) server.byTable.erase(mine);
            }
        }
        auto self = shared_from_this();
        closer.expires_after(polite ? CLOSE_TIME : std::chrono::seconds(0));
        closer.async_wait([self](ErrorCode) {
            ErrorCode ignored;
            beast::get_lowest_layer(self->ws).socket().close(ignored);
        });
        if (polite && !writing && id >= 0)
            ws.async_close(websocket::close_code::normal, [self](ErrorCode) { self->closer.cancel(); });
    }
};

void WebHost::Server::pumpAll() {
    wakePending = false;
    std::vector<std::shared_ptr<Session>> live;
    for (auto& [key, weak] : sessions)
        if (auto s = weak.lock()) live.push_back(s);
    for (auto& s : live) s->pump();
}

void WebHost::Server::pumpWoken() {
    std::set<const WebTable*> tables;
    {
        std::lock_guard<std::mutex> lock(wakeLock);
        tables.swap(woken);
        tablesWakePending = false;
    }
    std::vector<std::shared_ptr<Session>> live;
    for (const WebTable* t : tables) {
        auto it = byTable.find(t);
        if (it == byTable.end()) continue;
        for (auto& [key, weak] : it->second)
            if (auto s = weak.lock()) live.push_back(s);
    }
    for (auto& s : live) s->pump();
}

void WebHost::Server::closeSessions() {
    std::vector<std::shared_ptr<Session>> live;
    for (auto& [key, weak] : sessions)
        if (auto s = weak.lock()) live.push_back(s);
    for (auto& s : live) {
        s->closing = true;
        s->pump();
    }
}

void openSession(tcp::socket socket, WebHost::Server& server, std::shared_ptr<WebTable> table,
                 const std::string& from, UpgradeRequest request) {
    auto session = std::make_shared<WebHost::Server::Session>(std::move(socket), server, std::move(table), from);
    session->run(std::move(request));
}

} // namespace kvr

// The process tests' clients of a room (`kavrin --serve`): plain HTTP requests, tables opened from the
// room page, and the room's process with its records and its database of games in a folder of its own.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <boost/beast/http.hpp>

#include "tests/support/web_clients.hpp"

namespace kvr {
namespace room_clients {

using namespace web_clients;
namespace http = beast::http;

struct Reply {
    int status = 0;
    std::string location;
    std::string body;
};

// A request on a connection of its own; status -1 when the connection ends without an answer.
inline Reply request(std::uint16_t port, http::verb verb, const std::string& target, const std::string& body) {
    Reply r;
    try {
        asio::io_context io;
        tcp::socket s(io);
        s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
        http::request<http::string_body> req(verb, target, 11);
        req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
        req.keep_alive(false);
        req.body() = body;
        if (verb == http::verb::post) req.prepare_payload();
        http::write(s, req);
        beast::flat_buffer buffer;
        http::response<http::string_body> res;
        http::read(s, buffer, res);
        r.status = static_cast<int>(res.result_int());
        r.body = res.body();
        if (res.find(http::field::location) != res.end()) r.location = std::string(res[http::field::location]);
    } catch (const std::exception&) {
        r.status = -1;
    }
    return r;
}

inline Reply get(std::uint16_t port, const std::string& target) {
    return request(port, http::verb::get, target, "");
}

inline Reply post(std::uint16_t port, const std::string& target, const std::string& body) {
    return request(port, http::verb::post, target, body);
}

// A table opened from the room: its ID and the opener's code, read from the redirect to its link.
struct Opened {
    std::string id;
    std::string code;
    std::string ws() const { return "/t/" + id + "/ws"; }
};

inline Opened openTable(std::uint16_t port, const std::string& query, int* status = nullptr) {
    Reply r = get(port, "/open?" + query);
    if (status) *status = r.status;
    Opened o;
    std::size_t hash = r.location.find("#code=");
    if (r.status != 303 || r.location.rfind("/t/", 0) != 0 || hash == std::string::npos) return o;
    o.id = r.location.substr(3, hash - 3);
    o.code = r.location.substr(hash + 6);
    return o;
}

struct RoomProcess {
    std::uint16_t port = freePort();
    std::string records;
    Host host;
    RoomProcess(std::vector<std::string> extra, const std::string& dir)
        : records(dir), host(args(port, dir, std::move(extra)), true) {
        EXPECT_TRUE(host.waitFor("房间已开启", 10)) << host.out();
    }
    static std::vector<std::string> args(std::uint16_t port, const std::string& dir, std::vector<std::string> extra) {
        mkdir(dir.c_str(), 0700);
        std::vector<std::string> a{"--serve", "--port", std::to_string(port), "--fast", "--no-color",
                                   "--seed", "7", "--records", dir, "--data", dir};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    std::string record(const std::string& id) const { return records + "/" + id + ".txt"; }
};

inline std::string tempDir(const char* name) { return "/tmp/kvr_room_" + std::to_string(getpid()) + "_" + name; }

// Replays a record silently: exit code 0 when every answer it holds fits the game.
inline int replays(const std::string& path) {
    Host replay({"--replay", path}, false);
    return replay.finish(60);
}

} // namespace room_clients
} // namespace kvr

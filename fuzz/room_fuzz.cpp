// The room's messages on arbitrary bytes, in process and with no socket: a room that is never started
// serves each line before the first NUL as a request's target ("/open?people=2", "/t/ID/ws",
// "/tables.json"), as its web server would, and the bytes after it are what a line client types at the
// greeting, taken a few at a time. Nothing may fail but by refusing: a table opened is named by a link
// of its own, a redirect carries nothing of the request, the list is JSON, and a typed line is cut clean.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "net/web_host.hpp"
#include "room/room.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool allOf(const std::string& text, std::size_t from, std::size_t n, const char* alphabet) {
    if (text.size() < from + n) return false;
    for (std::size_t k = from; k < from + n; ++k)
        if (std::string(alphabet).find(text[k]) == std::string::npos) return false;
    return true;
}

// A redirect from /open is to the new table's link with the opener's code after '#', both the room's own.
bool tableLink(const std::string& location) {
    return location.size() == 3 + 16 + 6 + 12 && location.compare(0, 3, "/t/") == 0 && allOf(location, 3, 16, "0123456789abcdef") &&
           location.compare(19, 6, "#code=") == 0 && allOf(location, 25, 12, "abcdefghijkmnpqrstuvwxyz23456789");
}

void serve(kvr::WebSite& site, const std::string& target) {
    std::size_t mark = target.find('?');
    std::string path = target.substr(0, mark);
    std::string query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
    site.recordAt(path);
    site.tableAt(path);
    std::string asset = site.assetAt(path);
    check(asset.empty() || (asset[0] == '/' && asset.find('/', 1) == std::string::npos));
    kvr::WebSite::Reply reply;
    if (!site.answer(path, query, "203.0.113.7", reply)) return;
    check(reply.location.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    if (path == "/open") {
        check(reply.status == 303 || reply.status == 400 || reply.status == 429);
        check(reply.status != 303 || tableLink(reply.location));
    }
    if (path == "/tables.json") check(nlohmann::json::accept(reply.body));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        // The room tells its console of each table opened and closed; nobody reads it here.
        std::cout.setstate(std::ios::badbit);
        return true;
    }();
    (void)quiet;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t nul = input.find('\0');

    // Table IDs and codes from a counter: the same input opens the same tables. A table nobody starts
    // closes at once, and a closed one goes at the next tick, so that no table thread outlives its input.
    kvr::RoomOptions options;
    options.tables = 3;
    options.unstartedSeconds = 0;
    options.keepEndedSeconds = 0;
    auto drawn = std::make_shared<unsigned>(0);
    options.random = [drawn](unsigned char* bytes, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) bytes[k] = static_cast<unsigned char>((*drawn)++ * 37);
    };
    kvr::Room room(options);
    kvr::WebSite& site = room.site();
    std::string requests = input.substr(0, nul);
    for (std::size_t at = 0; at <= requests.size();) {
        std::size_t end = requests.find('\n', at);
        if (end == std::string::npos) end = requests.size();
        serve(site, requests.substr(at, end - at));
        at = end + 1;
    }
    site.tick();

    check(kvr::lineGreeting(room.listed()).size() > 0);
    if (nul == std::string::npos) return 0;
    std::string typed;
    for (std::size_t at = nul + 1; at < input.size(); at += 7) {
        typed += input.substr(at, 7);
        std::string line;
        kvr::TypedLine got = kvr::TypedLine::None;
        while ((got = kvr::takeTypedLine(typed, line)) == kvr::TypedLine::Line) {
            check(line.size() <= kvr::MAX_TYPED_LINE && line.find('\n') == std::string::npos);
            check(line.empty() || (line.back() != '\r' && line.back() != ' '));
        }
        if (got == kvr::TypedLine::TooLong) break;
        check(typed.find('\n') == std::string::npos && typed.size() <= kvr::MAX_TYPED_LINE);
    }
    return 0;
}

// The room's pages of kept games: the history (the room's, or one table's for those who hold its link),
// the replay viewer's steps (of a kept game, or of a record file a person opens), and the statistics.
// Each answers with JSON built from the store; the pages themselves are files of web/.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "net/hub.hpp"
#include "net/web_host.hpp"
#include "store/replay_view.hpp"

namespace kvr {

class GameStore;

// `bytes` drawn from `random`, as hex digits: a table's ID, a link's token.
std::string drawHex(const SecureSource& random, std::size_t bytes);

// The most bytes a record opened from a person's disk may have; the most rounds and strong-player
// playouts its head may ask the replay for; and the records one address may open a minute.
constexpr std::size_t MAX_UPLOAD_BYTES = 512 * 1024;
constexpr int MAX_UPLOAD_ROUNDS = 150;
constexpr int MAX_UPLOAD_SEARCH_PLAYS = 1680;
constexpr int UPLOADS_PER_MINUTE = 6;

class GamePages {
  public:
    GamePages(GameStore& store, SecureSource random) : store_(store), random_(std::move(random)), cache_(store) {}

    // The JSON at `path` (false when the path is none of them), answered aside: every call reads the
    // database or replays a game.
    bool answer(const std::string& path, const std::string& query, WebSite::Reply& out);
    // A record file opened in the viewer: the link of its replay, or why it cannot be opened.
    bool upload(const std::string& path, const std::string& body, const std::string& from, WebSite::Reply& out);
    // The page file a path shows: history.html, replay.html, stats.html; empty for none.
    static std::string pageAt(const std::string& path);
    static bool takesUploads(const std::string& path) { return path == "/replay/upload"; }
    static bool ours(const std::string& path);
    // Replays a finished game into the viewer's cache.
    void warm(std::int64_t id) { cache_.index(id); }

  private:
    using Clock = std::chrono::steady_clock;
    bool history(const std::string& query, const std::string* table, WebSite::Reply& out);
    bool replay(const std::string& what, const std::string& query, const std::string* link, WebSite::Reply& out);

    GameStore& store_;
    SecureSource random_;
    ReplayCache cache_;
    std::mutex lock_;
    // Records opened from a disk, by the token of their link, most recent first.
    std::list<std::pair<std::string, std::shared_ptr<const ReplayView>>> opened_;
    std::map<std::string, std::deque<Clock::time_point>> uploadsFrom_;
};

} // namespace kvr

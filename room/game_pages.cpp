#include "room/game_pages.hpp"

#include <nlohmann/json.hpp>

#include <sstream>
#include <vector>

#include "console/record.hpp"
#include "model/text.hpp"
#include "room/room.hpp"
#include "store/game_store.hpp"
#include "store/store_json.hpp"

namespace kvr {

namespace {

const int HISTORY_PAGE = 20;
const std::size_t OPENED_KEPT = 16;

std::vector<std::string> partsOf(const std::string& path) {
    std::vector<std::string> out;
    std::size_t at = 1;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        out.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// A table's ID or a link's token: letters and digits, as the room draws them.
bool isName(const std::string& s) {
    if (s.empty() || s.size() > 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
    return true;
}

bool isNumber(const std::string& s, long long limit, long long& out) {
    if (s.empty() || s.size() > 12) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return out <= limit;
}

void json(WebSite::Reply& out, std::string body) {
    out.type = "application/json";
    out.body = std::move(body);
}

void refuse(WebSite::Reply& out, int status, const std::string& text) {
    out.status = status;
    out.type = "text/plain; charset=utf-8";
    out.body = text;
}


} // namespace

std::string drawHex(const SecureSource& random, std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    random(raw.data(), raw.size());
    static const char HEX[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : raw) {
        out += HEX[b >> 4];
        out += HEX[b & 15];
    }
    return out;
}

bool GamePages::ours(const std::string& path) {
    // Only the JSON: the pages themselves are files.
    std::vector<std::string> p = partsOf(path);
    bool json = path.size() > 5 && path.compare(path.size() - 5, 5, ".json") == 0;
    if (p.empty() || !json) return false;
    if (p[0] == "history.json" || p[0] == "stats.json" || p[0] == "replay") return true;
    return p[0] == "t" && p.size() >= 3 && (p[2] == "history.json" || p[2] == "replay");
}

std::string GamePages::pageAt(const std::string& path) {
    std::vector<std::string> p = partsOf(path);
    long long n = 0;
    if (path == "/history") return "/history.html";
    if (path == "/stats") return "/stats.html";
    if (p.size() == 3 && p[0] == "t" && isName(p[1]) && p[2] == "history") return "/history.html";
    if (p.size() == 2 && p[0] == "replay" && isNumber(p[1], 1LL << 50, n)) return "/replay.html";
    if (p.size() == 3 && p[0] == "replay" && p[1] == "u" && isName(p[2])) return "/replay.html";
    if (p.size() == 4 && p[0] == "t" && isName(p[1]) && p[2] == "replay" && isNumber(p[3], 1LL << 50, n))
        return "/replay.html";
    return "";
}

bool GamePages::answer(const std::string& path, const std::string& query, WebSite::Reply& out) {
    std::vector<std::string> p = partsOf(path);
    if (path == "/history.json") return history(query, nullptr, out);
    if (path == "/stats.json") {
        if (!query.empty()) {
            refuse(out, 400, "400 参数无效\n");
            return true;
        }
        json(out, statsJson(store_.stats()));
        return true;
    }
    if (p.size() == 3 && p[0] == "t" && isName(p[1]) && p[2] == "history.json") return history(query, &p[1], out);
    if (p.size() == 3 && p[0] == "replay") return replay(p[1], false, p[2], query, nullptr, out);
    if (p.size() == 4 && p[0] == "replay" && p[1] == "u" && isName(p[2]))
        return replay(p[2], true, p[3], query, nullptr, out);
    if (p.size() == 5 && p[0] == "t" && isName(p[1]) && p[2] == "replay")
        return replay(p[3], false, p[4], query, &p[1], out);
    return false;
}

// A page of the room's history (listed tables' games), or of one table's: filtered by mode and hero.
bool GamePages::history(const std::string& query, const std::string* table, WebSite::Reply& out) {
    std::map<std::string, std::string> q;
    long long page = 1;
    GameFilter filter;
    bool good = queryPairs(query, q);
    for (const auto& [key, value] : q) good = good && (key == "mode" || key == "hero" || key == "page");
    if (good && q.count("page")) good = isNumber(q["page"], 1000000, page) && page >= 1;
    good = good && historyFilter(q["mode"], q["hero"], static_cast<int>(page), HISTORY_PAGE, filter);
    if (!good) {
        refuse(out, 400, "400 参数无效\n");
        return true;
    }
    if (table) filter.table = *table;
    GamePage games = store_.list(filter);
    if (table && games.total == 0 && !filter.mode && !filter.hero) return false;
    json(out, historyJson(games, filter));
    return true;
}

// `part` of a kept game's replay ("index.json" or "step.json"), or of a record opened from a disk (`game`
// is then its link's token).
bool GamePages::replay(const std::string& game, bool opened, const std::string& part, const std::string& query,
                       const std::string* link, WebSite::Reply& out) {
    if (part != "index.json" && part != "step.json") return false;
    std::map<std::string, std::string> q;
    long long n = 0, since = 0, reveal = 0;
    bool good = queryPairs(query, q);
    for (const auto& [key, value] : q) good = good && (key == "n" || key == "reveal" || key == "since");
    if (good && q.count("n")) good = isNumber(q["n"], 1 << 30, n);
    if (good && q.count("since")) good = isNumber(q["since"], 1 << 30, since);
    if (good && q.count("reveal")) good = isNumber(q["reveal"], 1, reveal);
    if (!good) {
        refuse(out, 400, "400 参数无效\n");
        return true;
    }
    std::optional<std::string> body;
    if (opened) {
        std::shared_ptr<const ReplayView> view;
        {
            std::lock_guard<std::mutex> lock(lock_);
            for (const auto& [token, v] : opened_)
                if (sameCode(token, game)) view = v;
        }
        if (!view) return false;
        body = part == "index.json" ? view->indexJson() : view->stepJson(static_cast<int>(n), reveal != 0, static_cast<int>(since));
    } else {
        long long id = 0;
        if (!isNumber(game, 1LL << 50, id)) return false;
        std::string room;
        const std::string* from = link ? link : &room;
        body = part == "index.json" ? cache_.index(id, from)
                                    : cache_.step(id, static_cast<int>(n), reveal != 0, static_cast<int>(since), from);
    }
    if (!body) return false;
    json(out, std::move(*body));
    return true;
}

// A record opened from a person's disk is replayed once, within its caps, and kept for a while under a
// link of its own that nobody else can guess.
bool GamePages::upload(const std::string& path, const std::string& body, const std::string& from,
                       WebSite::Reply& out) {
    if (!takesUploads(path)) return false;
    {
        std::lock_guard<std::mutex> lock(lock_);
        auto now = Clock::now();
        if (uploadsFrom_.size() > 4096) uploadsFrom_.clear();
        std::deque<Clock::time_point>& recent = uploadsFrom_[from];
        while (!recent.empty() && now - recent.front() >= std::chrono::minutes(1)) recent.pop_front();
        if (static_cast<int>(recent.size()) >= UPLOADS_PER_MINUTE) {
            refuse(out, 429, "一分钟内打开的记录太多，请稍后再试。\n");
            return true;
        }
        recent.push_back(now);
    }
    if (body.size() > MAX_UPLOAD_BYTES) {
        refuse(out, 413, "记录文件太大。\n");
        return true;
    }
    std::shared_ptr<const ReplayView> view;
    try {
        std::istringstream in(body);
        Record record = parseRecord(in, "记录文件");
        const Options& o = record.head.opt;
        if (o.maxRounds > MAX_UPLOAD_ROUNDS || o.searchPlays > MAX_UPLOAD_SEARCH_PLAYS) {
            refuse(out, 422, "该记录要求的回合数或电脑思考量超出本房间的上限，无法在此重放。\n");
            return true;
        }
        view = std::make_shared<const ReplayView>(body, "记录文件");
    } catch (const std::exception& e) {
        refuse(out, 422, std::string(e.what()) + "\n");
        return true;
    }
    std::string token = drawHex(random_, 8);
    {
        std::lock_guard<std::mutex> lock(lock_);
        opened_.emplace_front(token, view);
        if (opened_.size() > OPENED_KEPT) opened_.pop_back();
    }
    json(out, nlohmann::json{{"t", "opened"}, {"link", "/replay/u/" + token}}.dump());
    return true;
}

} // namespace kvr

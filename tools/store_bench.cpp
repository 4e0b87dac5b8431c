// kavrin-store-bench [--games N] [--dir DIR]: what the store of games costs. Fills a fresh store (in DIR,
// which must not hold one yet, or a folder of its own under /tmp that is removed afterwards) with N
// automatic games (100,000 by default) kept as a room keeps them, then times a history page, the
// statistics, the replay viewer's step, and what keeping a person's game costs against the game itself.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>
#include <random>
#include <sstream>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "console/console_io.hpp"
#include "console/recording_io.hpp"
#include "model/game.hpp"
#include "room/room.hpp"
#include "store/replay_view.hpp"
#include "store/sqlite_store.hpp"
#include "store/store_json.hpp"
#include "store/storing_io.hpp"
#include "tools/autoplay.hpp"

namespace kvr {
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A table that shows nothing; its console seat, if any, answers from a script.
class Quiet : public TableIo {
  public:
    explicit Quiet(const std::string& answers = "") : in_(answers) {}
    void showAll(std::string_view) override {}
    void show(int, std::string_view) override {}
    Answer ask(int, std::string& line) override {
        return std::getline(in_, line) ? Answer::Line : Answer::Closed;
    }

  private:
    std::istringstream in_;
};

struct Timing {
    double median = 0;
    double worst = 0;
};

Timing timed(int runs, const std::function<void()>& f) {
    std::vector<double> t;
    for (int k = 0; k < runs; ++k) {
        auto start = Clock::now();
        f();
        t.push_back(msSince(start));
    }
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t.back()};
}

void report(const char* what, Timing t) {
    std::cout << "  " << std::left << std::setw(44) << what << std::right << std::fixed
              << std::setprecision(2) << std::setw(9) << t.median << " ms median" << std::setw(9) << t.worst
              << " ms worst\n";
}

// Plays a game kept in `store` (or only recorded, when null) at `table`: the milliseconds it took.
double playKept(GameStore* store, Mode mode, const Options& opt, TableIo& table, const char* tableId) {
    auto start = Clock::now();
    RecordHead head{opt.autoPlay ? RecordedGame::Automatic : RecordedGame::Local, mode, opt, 0};
    if (!store) {
        std::ostringstream file;
        RecordWriter writer(file);
        writer.head(head);
        RecordingIo recording(table, writer);
        Game game(mode, opt, &recording);
        game.setup();
        game.run();
        return msSince(start);
    }
    StoringIo storing(table, *store,
                      GameStart{tableId, true, storeClock(), mode, opt.seed, opt.ai, opt.strongRoles}, head,
                      std::cerr);
    Game game(mode, opt, &storing);
    game.setup();
    storing.seated(game);
    game.run();
    storing.finish(game);
    return msSince(start);
}

// A GET over loopback, as a page's fetch makes it; the body's size, or -1 when it was no 200.
long fetched(std::uint16_t port, const std::string& target) {
    namespace http = boost::beast::http;
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket s(io);
    s.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    http::request<http::empty_body> req(http::verb::get, target, 11);
    req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    req.keep_alive(false);
    http::write(s, req);
    boost::beast::flat_buffer buffer;
    http::response<http::string_body> res;
    http::read(s, buffer, res);
    return res.result_int() == 200 ? static_cast<long>(res.body().size()) : -1;
}

// The same answers as a page gets them from a room: its request, the room's second thread, the JSON.
void throughTheRoom(GameStore& store, int games, std::int64_t id) {
    RoomOptions o;
    o.webPort = 0;
    o.store = &store;
    Room room(o);
    if (!room.start()) return;
    std::uint16_t port = room.port();
    std::cout << "through a room's web server (HTTP over loopback, a connection a request):\n";
    auto get = [port](std::string target) {
        return [port, target] {
            if (fetched(port, target) < 0) std::cerr << target << " failed\n";
        };
    };
    report("history page, newest", timed(30, get("/history.json")));
    report("history page from the middle", timed(30, get("/history.json?page=" + std::to_string(games / 40))));
    report("history page, one hero", timed(30, get("/history.json?hero=" + std::string(heroRoster()[3].name))));
    report("statistics", timed(10, get("/stats.json")));
    std::string step = "/replay/" + std::to_string(id) + "/step.json?n=";
    fetched(port, step + "0");
    int n = 0;
    report("a viewer's step once replayed", timed(100, [&] {
               get(step + std::to_string(n) + "&reveal=1")();
               n = (n + 37) % 200;
           }));
}

std::string personAnswers(std::uint32_t seed) {
    static const char* const words[] = {"1", "2", "3", "e", "0", "y", "n", "s", "v", "", "4"};
    std::mt19937 rng(seed);
    std::string out;
    for (int i = 0; i < 400; ++i) out += std::string(words[rng() % 11]) + "\n";
    return out;
}

int run(int games, const std::string& dir) {
    SqliteStore store(dir);
    std::cout << "store " << store.file() << "\n";

    auto start = Clock::now();
    for (int k = 0; k < games; ++k) {
        Quiet quiet;
        Options opt = automaticOptions(static_cast<std::uint32_t>(k + 1));
        playKept(&store, k % 2 ? Identity : Normal3v3, opt, quiet, k % 50 == 0 ? "unlisted" : "bench");
        if ((k + 1) % 10000 == 0) std::cerr << "\r" << k + 1 << "/" << games << " games kept" << std::flush;
    }
    double fill = msSince(start);
    std::cerr << "\r" << std::string(40, ' ') << "\r";
    std::cout << "filled with " << games << " automatic games in " << std::fixed << std::setprecision(1)
              << fill / 1000 << " s (" << std::setprecision(3) << fill / games
              << " ms a game: play, begin, head, seats, end line, finish), file "
              << std::filesystem::file_size(store.file()) / (1024 * 1024) << " MB\n";

    std::cout << "history page (20 games, its JSON included):\n";
    auto page = [&store](GameFilter f) { return [&store, f] { historyJson(store.list(f), f); }; };
    GameFilter f;
    report("newest", timed(30, page(f)));
    f.offset = games / 2;
    report("from the middle (offset N/2)", timed(30, page(f)));
    f = GameFilter{};
    f.mode = Identity;
    report("mode filter", timed(30, page(f)));
    f.mode.reset();
    f.hero = Lirren;
    report("hero filter", timed(30, page(f)));
    f.mode = Normal3v3;
    report("mode and hero", timed(30, page(f)));
    f.mode.reset();
    f.offset = games / 3;
    report("hero filter from deep inside", timed(30, page(f)));
    f = GameFilter{};
    f.table = "unlisted";
    report("one table's games", timed(30, page(f)));

    std::cout << "statistics (every finished game, its JSON included):\n";
    report("stats", timed(10, [&store] { statsJson(store.stats()); }));

    std::cout << "replay viewer (a step's JSON; the first replays the game, the cache keeps it):\n";
    std::int64_t id = store.list(GameFilter{}).games.at(0).id;
    report("first step of a kept game (get, replay, step)", timed(30, [&store, id] {
               ReplayCache fresh(store);
               fresh.step(id, 40, false);
           }));
    ReplayCache cache(store);
    int n = 0;
    report("any step of it once replayed", timed(200, [&cache, id, &n] {
               cache.step(id, n, true);
               n = (n + 37) % 200;
           }));
    Options person = automaticOptions(7);
    person.autoPlay = false;
    Quiet answered(personAnswers(7));
    playKept(&store, Identity, person, answered, "bench");
    std::int64_t personId = store.list(GameFilter{}).games.at(0).id;
    report("first step of a person's game", timed(30, [&store, personId] {
               ReplayCache fresh(store);
               fresh.step(personId, 40, false);
           }));
    Options strong = automaticOptions(11);
    strong.ai = StrongAi;
    Quiet none;
    double strongGame = playKept(&store, Identity, strong, none, "bench");
    std::int64_t strongId = store.list(GameFilter{}).games.at(0).id;
    report("first step of a strong player's game", timed(3, [&store, strongId] {
               ReplayCache fresh(store);
               fresh.step(strongId, 40, false);
           }));
    std::cout << "  (that game took " << std::setprecision(0) << strongGame << " ms to play)\n";
    throughTheRoom(store, games, id);

    // A person's game: the same games with their answers kept in a string and in the store.
    std::cout << "keeping a person's game (400 scripted answers a game, answered at once):\n";
    const int personGames = 200;
    double plain = 0, kept = 0;
    int answers = 0;
    for (int k = 0; k < personGames; ++k) {
        Options opt = automaticOptions(static_cast<std::uint32_t>(5000 + k));
        opt.autoPlay = false;
        Mode mode = k % 2 ? Identity : Normal3v3;
        Quiet a(personAnswers(static_cast<std::uint32_t>(k))),
            b(personAnswers(static_cast<std::uint32_t>(k)));
        plain += playKept(nullptr, mode, opt, a, "bench");
        kept += playKept(&store, mode, opt, b, "bench");
        std::optional<StoredGame> last = store.get(store.list(GameFilter{}).games[0].id);
        for (std::size_t at = last->record.find("\nanswer "); at != std::string::npos;
             at = last->record.find("\nanswer ", at + 1))
            ++answers;
    }
    double perAnswer = (kept - plain) / std::max(1, answers);
    std::cout << std::setprecision(3) << "  " << personGames << " games, " << answers << " answers: played "
              << plain / personGames << " ms a game recorded in memory, " << kept / personGames
              << " ms kept in the store: " << perAnswer * 1000 << " us an answer\n";
    std::cout << "  against the game's own computing: +" << std::setprecision(0)
              << 100 * (kept - plain) / plain
              << "%; against a person who answers every 2 s: " << std::setprecision(4)
              << 100 * perAnswer / 2000 << "%\n";

    std::vector<double> appends;
    std::int64_t probe = store.begin(GameStart{"probe", false, storeClock(), Normal3v3, 1, ClassicAi, 0});
    for (int k = 0; k < 2000; ++k) {
        auto at = Clock::now();
        store.append(probe, "answer 1 command e\n");
        appends.push_back(msSince(at));
    }
    std::sort(appends.begin(), appends.end());
    std::cout << std::setprecision(1) << "  one append (committed): " << appends[appends.size() / 2] * 1000
              << " us median, " << appends[appends.size() * 99 / 100] * 1000 << " us 99th percentile, "
              << appends.back() * 1000 << " us worst\n";
    return 0;
}

} // namespace
} // namespace kvr

int main(int argc, char** argv) {
    int games = 100000;
    std::string dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--games") == 0)
            games = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--dir") == 0)
            dir = argv[i + 1];
        else
            argc = 0;
    }
    if (argc % 2 == 0) {
        std::cerr << "usage: kavrin-store-bench [--games N] [--dir DIR]\n";
        return 2;
    }
    bool scratch = dir.empty();
    if (scratch) {
        char name[] = "/tmp/kavrin-store-benchXXXXXX";
        if (!mkdtemp(name)) return 1;
        dir = name;
    } else if (std::filesystem::exists(kvr::storeFile(dir))) {
        std::cerr << kvr::storeFile(dir) << " exists: give a folder without a store\n";
        return 1;
    }
    int rc = 1;
    try {
        rc = kvr::run(games, dir);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
    }
    std::error_code error;
    if (scratch) std::filesystem::remove_all(dir, error);
    return rc;
}

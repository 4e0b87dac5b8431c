// The store of games: what a game keeps is what its record file holds, byte for byte; the history's
// filters and pages; the statistics against counts made by hand; and the faults: a database that is no
// database, of a newer schema, held by another room, in a folder that cannot be written, a disk that
// fills mid-game, and a room killed mid-game.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "console/console_io.hpp"
#include "console/replay_io.hpp"
#include "model/game.hpp"
#include "store/sqlite_store.hpp"
#include "store/store_json.hpp"
#include "store/storing_io.hpp"
#include "tests/support/checked_game.hpp"
#include "tests/support/hosting.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

namespace fs = std::filesystem;

// A fresh folder under /tmp, removed with its files when the test ends.
struct TempDir {
    TempDir() {
        char name[] = "/tmp/kvr_storeXXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() {
        std::error_code error;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path, error);
    }
    std::string path;
};

struct Kept {
    std::string out;
    std::string file;
    std::string told;
    std::int64_t id = -1;
    std::string result;
    std::array<Player, 6> seats;
    int rounds = 0;
};

// Plays a game at a console whose answers are `input`, recorded into a file's stream and kept in `store`.
Kept playKept(GameStore& store, Mode mode, const Options& opt, const std::string& input,
              const std::string& table = "local", bool listed = true) {
    std::istringstream in(input);
    std::ostringstream out, file, told;
    ConsoleIo console(in, out);
    RecordHead head{opt.autoPlay ? RecordedGame::Automatic : RecordedGame::Local, mode, opt, 0};
    RecordWriter writer(file);
    writer.head(head);
    RecordingIo recording(console, writer);
    GameStart start{table, listed, storeClock(), mode, opt.seed, opt.ai, opt.strongRoles};
    StoringIo storing(recording, store, start, head, told);
    Game game(mode, opt, &storing);
    try {
        game.setup();
        storing.seated(game);
        game.run();
    } catch (const std::runtime_error& e) {
        out << "[error] " << e.what();
    }
    storing.finish(game);
    return {out.str(),     file.str(),     told.str(),         storing.id(),
            game.result(), game.players(), game.roundsPlayed()};
}

std::string ordinaryInput(std::uint32_t seed, int lines) {
    static const char* const words[] = {"1", "2", "3",         "e", "0", "y", "n",
                                        "s", "v", "3 1 2 5 4", "",  "h", "4"};
    std::mt19937 rng(seed);
    std::string out;
    for (int i = 0; i < lines; ++i) out += std::string(words[rng() % 13]) + "\n";
    return out;
}

Options personOptions(std::uint32_t seed) {
    Options opt = checkedOptions(seed, true);
    opt.color = seed % 2 == 0;
    return opt;
}

// The stored record is the file's bytes, and replays to the same screen; the game's facts are its own.
TEST(Store, KeepsWhatTheRecordFileHolds) {
    TempDir dir;
    SqliteStore store(dir.path);
    for (std::uint32_t seed = 1; seed <= 16; ++seed) {
        Mode mode = seed % 2 ? Identity : Normal3v3;
        std::string input = seed % 3 ? ordinaryInput(seed, 60 + seed * 7) : hostileInput(seed, 200);
        Kept k = playKept(store, mode, personOptions(seed), input);
        ASSERT_GE(k.id, 0);
        EXPECT_TRUE(k.told.empty()) << k.told;
        std::optional<StoredGame> g = store.get(k.id);
        ASSERT_TRUE(g);
        EXPECT_EQ(g->record, k.file) << "seed " << seed;
        const GameSummary& s = g->summary;
        EXPECT_EQ(s.state, GameState::Finished);
        EXPECT_EQ(s.mode, mode);
        EXPECT_EQ(s.seed, seed);
        EXPECT_EQ(s.result, k.result);
        EXPECT_EQ(s.rounds, k.rounds);
        EXPECT_TRUE(s.ended >= s.started && s.started > 0);
        ASSERT_EQ(s.seats.size(), 6u);
        int people = 0;
        for (int p = 0; p < 6; ++p) {
            const StoredSeat& x = s.seats[static_cast<std::size_t>(p)];
            const Player& real = k.seats[static_cast<std::size_t>(p)];
            EXPECT_EQ(x.hero, real.hero.id);
            EXPECT_EQ(x.role, real.role);
            EXPECT_EQ(*x.won, seatWon(mode, real.role, k.result));
            people += x.player == PlayedBy::Person;
        }
        EXPECT_EQ(people, 1);
    }
    EXPECT_FALSE(store.get(9999));
}

// Which seats won, for every result text of both modes.
TEST(Store, SeatsWinByTheirSide) {
    EXPECT_TRUE(seatWon(Normal3v3, TeamHan, "汉军获胜！"));
    EXPECT_FALSE(seatWon(Normal3v3, TeamChu, "汉军获胜！"));
    EXPECT_TRUE(seatWon(Normal3v3, TeamChu, "楚军获胜！"));
    EXPECT_FALSE(seatWon(Normal3v3, TeamHan, "达到最大轮数，平局。"));
    const char* lord = "反贼与内奸全部阵亡，主公/忠臣获胜！";
    EXPECT_TRUE(seatWon(Identity, Lord, lord) && seatWon(Identity, Loyalist, lord));
    EXPECT_FALSE(seatWon(Identity, Rebel, lord) || seatWon(Identity, Renegade, lord));
    EXPECT_TRUE(seatWon(Identity, Rebel, "主公阵亡，反贼获胜！"));
    EXPECT_FALSE(seatWon(Identity, Renegade, "主公阵亡，反贼获胜！"));
    EXPECT_TRUE(seatWon(Identity, Renegade, "内奸成为最后生还者，内奸获胜！"));
    EXPECT_FALSE(seatWon(Identity, Lord, "内奸成为最后生还者，内奸获胜！"));
    EXPECT_FALSE(seatWon(Identity, Lord, "达到最大轮数，平局。"));
}

std::array<StoredSeat, 6> seatsWith(HeroId first, PlayedBy who) {
    std::array<StoredSeat, 6> seats;
    for (int p = 0; p < 6; ++p) {
        seats[static_cast<std::size_t>(p)].hero = static_cast<HeroId>(p == 0 ? first : 20 + p % 5);
        seats[static_cast<std::size_t>(p)].role = static_cast<Role>(p % 2);
        seats[static_cast<std::size_t>(p)].player = p == 0 ? who : PlayedBy::Classic;
    }
    return seats;
}

// Newest first; the mode and hero filters, alone and together; pages that split the list without a gap
// or an overlap; an unlisted table's games only in its own history.
TEST(Store, ListsNewestFirstWithFiltersAndPages) {
    TempDir dir;
    SqliteStore store(dir.path);
    std::vector<std::int64_t> ids;
    for (int k = 0; k < 30; ++k) {
        Mode mode = k % 3 == 0 ? Identity : Normal3v3;
        bool listed = k % 10 != 7;
        std::int64_t id = store.begin(GameStart{listed ? "t" + std::to_string(k % 4) : "secret", listed,
                                                1000 + k, mode, static_cast<std::uint32_t>(k), ClassicAi, 0});
        ASSERT_GE(id, 0);
        ids.push_back(id);
        ASSERT_TRUE(store.seated(id, seatsWith(static_cast<HeroId>(k % 5), PlayedBy::Person)));
        if (k % 2 == 0) {
            ASSERT_TRUE(store.finish(id, GameEnd{2000 + k, "汉军获胜！", 3, {}, true}));
        }
    }
    GamePage all = store.list(GameFilter{});
    EXPECT_EQ(all.total, 27);
    ASSERT_EQ(all.games.size(), 20u);
    EXPECT_EQ(all.games[0].id, ids[29]);
    EXPECT_EQ(all.games[0].state, GameState::Playing);
    EXPECT_EQ(all.games[1].state, GameState::Finished);
    EXPECT_EQ(all.games[1].ended, 2028);
    for (std::size_t k = 1; k < all.games.size(); ++k) EXPECT_GT(all.games[k - 1].id, all.games[k].id);
    EXPECT_EQ(all.games[0].seats.size(), 6u);

    GameFilter page;
    page.limit = 8;
    std::vector<std::int64_t> walked;
    for (page.offset = 0; page.offset < 40; page.offset += 8)
        for (const GameSummary& g : store.list(page).games) walked.push_back(g.id);
    ASSERT_EQ(walked.size(), 27u);
    for (std::size_t k = 1; k < walked.size(); ++k) EXPECT_GT(walked[k - 1], walked[k]);

    GameFilter identity;
    identity.mode = Identity;
    GamePage modes = store.list(identity);
    // k = 0, 3, ... 27, less the unlisted 27.
    EXPECT_EQ(modes.total, 9);
    for (const GameSummary& g : modes.games) EXPECT_EQ(g.mode, Identity);

    GameFilter hero;
    hero.hero = static_cast<HeroId>(2);
    GamePage heroes = store.list(hero);
    // k = 2, 12, 22 (7, 17 and 27 are unlisted).
    EXPECT_EQ(heroes.total, 3);
    for (const GameSummary& g : heroes.games) EXPECT_EQ(g.seats[0].hero, 2);
    hero.mode = Identity;
    // k = 12 and 27 have hero 2 and identity; 27 is unlisted.
    EXPECT_EQ(store.list(hero).total, 1);
    hero.hero = static_cast<HeroId>(19);
    EXPECT_EQ(store.list(hero).total, 0);

    GameFilter secret;
    secret.table = "secret";
    GamePage unlisted = store.list(secret);
    ASSERT_EQ(unlisted.total, 3);
    EXPECT_EQ(unlisted.games[0].id, ids[27]);
    EXPECT_FALSE(unlisted.games[0].listed);
    secret.table = "t1";
    EXPECT_EQ(store.list(secret).total, 7);
}

// The statistics of seeded games, counted again here from the games themselves: results, seats by role,
// hero and player, and lengths. A game left unfinished counts nowhere.
TEST(Store, StatsMatchCountsByHand) {
    TempDir dir;
    SqliteStore store(dir.path);
    GameStats hand;
    for (std::uint32_t seed = 40; seed < 64; ++seed) {
        Mode mode = seed % 2 ? Identity : Normal3v3;
        bool person = seed % 3 == 0;
        Options opt = person ? personOptions(seed) : checkedOptions(seed, false);
        if (seed % 5 == 0) opt.strongRoles = 1U << Rebel;
        Kept k = playKept(store, mode, opt, person ? ordinaryInput(seed, 200) : "");
        GameStats::ByMode& m = hand.modes[mode];
        ++m.games;
        auto r = std::find_if(m.results.begin(), m.results.end(),
                              [&k](const auto& x) { return x.first == k.result; });
        if (r == m.results.end())
            m.results.emplace_back(k.result, 1);
        else
            ++r->second;
        for (const Player& x : k.seats) {
            bool won = seatWon(mode, x.role, k.result);
            int who = x.human ? 0 : (opt.strongRoles >> x.role) & 1U ? 2 : 1;
            for (SeatTally* t :
                 {&m.roles[x.role], &m.heroes[x.hero.id], &m.players[static_cast<std::size_t>(who)]}) {
                ++t->games;
                t->wins += won;
            }
        }
        if (m.rounds.size() <= static_cast<std::size_t>(k.rounds))
            m.rounds.resize(static_cast<std::size_t>(k.rounds) + 1);
        ++m.rounds[static_cast<std::size_t>(k.rounds)];
    }
    std::int64_t open = store.begin(GameStart{"x", true, 1, Identity, 1, ClassicAi, 0});
    store.seated(open, seatsWith(Varnok, PlayedBy::Person));
    // A game is finished once: a second finish is refused and counts nothing.
    EXPECT_FALSE(store.finish(open - 1, GameEnd{5, "汉军获胜！", 1, {}, true}));

    GameStats got = store.stats();
    for (int mode = 0; mode < 2; ++mode) {
        const GameStats::ByMode& a = got.modes[static_cast<std::size_t>(mode)];
        const GameStats::ByMode& b = hand.modes[static_cast<std::size_t>(mode)];
        EXPECT_EQ(a.games, 12);
        EXPECT_EQ(a.games, b.games);
        EXPECT_EQ(a.results, b.results);
        EXPECT_EQ(a.rounds, b.rounds);
        auto same = [](const auto& x, const auto& y) {
            for (std::size_t k = 0; k < x.size(); ++k)
                if (x[k].games != y[k].games || x[k].wins != y[k].wins) return false;
            return true;
        };
        EXPECT_TRUE(same(a.roles, b.roles)) << mode;
        EXPECT_TRUE(same(a.heroes, b.heroes)) << mode;
        EXPECT_TRUE(same(a.players, b.players)) << mode;
        // Seeds 42, 45, ... 63 have a person at the table, four of each mode.
        EXPECT_EQ(a.players[0].games, 4);
    }
}

// The pages' JSON: intervals at the edges, a filter's words, a game's roles only once it is finished.
TEST(Store, PagesJson) {
    auto [low, high] = winInterval(5, 10);
    EXPECT_NEAR(low, 0.2366, 1e-4);
    EXPECT_NEAR(high, 0.7634, 1e-4);
    std::tie(low, high) = winInterval(0, 10);
    EXPECT_EQ(low, 0.0);
    EXPECT_NEAR(high, 0.2775, 1e-4);
    std::tie(low, high) = winInterval(10, 10);
    EXPECT_NEAR(low, 0.7225, 1e-4);
    EXPECT_EQ(high, 1.0);
    EXPECT_EQ(winInterval(0, 0), std::make_pair(0.0, 1.0));

    GameFilter f;
    ASSERT_TRUE(historyFilter("identity", "Lirren", 3, 20, f));
    EXPECT_TRUE(f.mode == Identity && f.hero == Lirren && f.offset == 40 && f.limit == 20);
    ASSERT_TRUE(historyFilter("", "", 0, 500, f));
    EXPECT_TRUE(!f.mode && !f.hero && f.offset == 0 && f.limit == 100);
    EXPECT_FALSE(historyFilter("3v3", "", 1, 20, f));
    EXPECT_FALSE(historyFilter("", "Nobody", 1, 20, f));

    TempDir dir;
    SqliteStore store(dir.path);
    Kept done = playKept(store, Identity, checkedOptions(8, false), "");
    std::int64_t open = store.begin(GameStart{"local", true, 9, Identity, 9, StrongAi, 0});
    store.seated(open, seatsWith(Lirren, PlayedBy::Person));
    using Json = nlohmann::json;
    Json history = Json::parse(historyJson(store.list(GameFilter{}), GameFilter{}));
    ASSERT_EQ(history["games"].size(), 2u);
    EXPECT_EQ(history["games"][0]["state"], "playing");
    EXPECT_EQ(history["games"][0]["ai"], "strong");
    EXPECT_EQ(history["games"][0]["seats"][0]["hero"], "Lirren");
    EXPECT_TRUE(history["games"][0]["seats"][0]["person"]);
    EXPECT_FALSE(history["games"][0]["seats"][0].contains("role"));
    EXPECT_EQ(history["games"][1]["result"], done.result);
    EXPECT_EQ(history["games"][1]["seats"][2]["role"], std::string(roleName(done.seats[2].role)));

    Json stats = Json::parse(statsJson(store.stats()));
    const Json& identity = stats["modes"][1];
    EXPECT_EQ(identity["games"], 1);
    EXPECT_EQ(identity["roles"].size(), 4u);
    EXPECT_EQ(identity["roles"][0]["role"], "主公");
    EXPECT_EQ(identity["heroes"].size(), 6u);
    EXPECT_EQ(stats["modes"][0]["games"], 0);
}

std::string faultOf(const std::string& dir) {
    try {
        SqliteStore store(dir);
    } catch (const StoreError& e) {
        return e.what();
    }
    return "";
}

// Each fault stops the opening with one line that names the file and says why.
TEST(StoreFaults, BadDatabasesAreRefusedAtOpen) {
    TempDir junk;
    std::ofstream(junk.path + "/games.db") << std::string(5000, 'x');
    std::string why = faultOf(junk.path);
    EXPECT_NE(why.find(junk.path + "/games.db"), std::string::npos) << why;
    EXPECT_NE(why.find("不是SQLite数据库"), std::string::npos) << why;
    EXPECT_EQ(why.find('\n'), std::string::npos);

    TempDir newer;
    { SqliteStore store(newer.path); }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((newer.path + "/games.db").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    why = faultOf(newer.path);
    EXPECT_NE(why.find("结构版本99"), std::string::npos) << why;

    // A folder nobody may write, root included.
    why = faultOf("/proc/kavrin-store-test");
    EXPECT_NE(why.find("/proc/kavrin-store-test/games.db"), std::string::npos) << why;
    if (geteuid() != 0) {
        TempDir readOnly;
        fs::permissions(readOnly.path, fs::perms::owner_read | fs::perms::owner_exec);
        why = faultOf(readOnly.path);
        EXPECT_NE(why.find("无法打开或写入"), std::string::npos) << why;
    }

    // One room per database, in this process and from another.
    TempDir held;
    SqliteStore first(held.path);
    why = faultOf(held.path);
    EXPECT_NE(why.find("另一个房间"), std::string::npos) << why;
    int rc = std::system((std::string(KAVRIN_BIN " --auto --record-db ") + held.path + " >/dev/null 2>" +
                          held.path + "/err.txt")
                             .c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    EXPECT_EQ(slurp(held.path + "/err.txt"), faultOf(held.path) + "\n");
    EXPECT_NE(first.begin(GameStart{}), -1);
}

// A newer program brings an older database forward, step by step in one transaction; a step that fails
// changes nothing.
TEST(StoreFaults, SchemaMovesForwardOrNotAtAll) {
    TempDir dir;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.path + "/old.db").c_str(), &db), SQLITE_OK);
    std::vector<SchemaStep> steps = {{1, "CREATE TABLE a(x INTEGER); INSERT INTO a VALUES(7);"}};
    migrateSchema(db, "old.db", steps);
    steps.push_back({2, "ALTER TABLE a ADD COLUMN y INTEGER DEFAULT 3;"});
    migrateSchema(db, "old.db", steps);
    auto number = [db](const char* sql) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        int v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
        sqlite3_finalize(s);
        return v;
    };
    EXPECT_EQ(number("PRAGMA user_version"), 2);
    EXPECT_EQ(number("SELECT x * 10 + y FROM a"), 73);
    steps.push_back({3, "ALTER TABLE a ADD COLUMN z INTEGER;"});
    steps.push_back({4, "THIS IS NOT SQL;"});
    EXPECT_THROW(migrateSchema(db, "old.db", steps), StoreError);
    EXPECT_EQ(number("PRAGMA user_version"), 2);
    EXPECT_EQ(number("SELECT COUNT(*) FROM pragma_table_info('a')"), 2);
    sqlite3_close(db);
    EXPECT_EQ(schemaSteps().back().version, 1);
}

// A disk that fills mid-game never stops the game: it plays as it would unkept, the console is told
// once, the stored record is what was written before the disk filled, and the game is kept as unfinished.
TEST(StoreFaults, FullDiskMidGamePlaysOn) {
    TempDir dir;
    SqliteStore store(dir.path);
    Options opt = personOptions(11);
    std::string input = ordinaryInput(11, 2000);
    Kept free = playKept(store, Identity, opt, input);
    long pages = static_cast<long>(fs::file_size(dir.path + "/games.db") / 4096);
    store.limitPages(pages + 2);
    Kept full = playKept(store, Identity, opt, input);
    EXPECT_EQ(full.out, free.out);
    EXPECT_EQ(full.file, free.file);
    EXPECT_EQ(occurrences(full.told, "[记录]"), 1u) << full.told;
    ASSERT_GE(full.id, 0);
    std::optional<StoredGame> g = store.get(full.id);
    ASSERT_TRUE(g);
    EXPECT_LT(g->record.size(), full.file.size());
    EXPECT_EQ(full.file.compare(0, g->record.size(), g->record), 0);
    // Finished or not, the game's end could not be written on a full disk: it stays as it was begun,
    // and the next start marks it unfinished.
    EXPECT_NE(g->summary.state, GameState::Finished);
    Kept unkept = playKept(store, Normal3v3, opt, input);
    EXPECT_EQ(occurrences(unkept.told, "[记录]"), 1u);
}

// A game left being played is unfinished at the next start, and what it kept still replays.
TEST(StoreFaults, GamesLeftPlayingAreUnfinishedOnOpen) {
    TempDir dir;
    std::int64_t id = -1;
    std::string record;
    {
        SqliteStore store(dir.path);
        Kept done = playKept(store, Normal3v3, personOptions(3), ordinaryInput(3, 300));
        record = done.file.substr(0, done.file.find("answer ", done.file.find("answer ") + 1));
        id = store.begin(GameStart{"local", true, 5, Normal3v3, 3, ClassicAi, 0});
        ASSERT_TRUE(store.append(id, record));
    }
    SqliteStore again(dir.path);
    EXPECT_EQ(again.recovered(), 1);
    std::optional<StoredGame> g = again.get(id);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->summary.state, GameState::Unfinished);
    EXPECT_EQ(g->record, record);
    EXPECT_EQ(again.list(GameFilter{}).total, 2);
}

// A room killed with SIGKILL while its game waits for an answer: every answer read is in the database,
// the same bytes as the record file, and the stored record replays as far as the game went.
TEST(StoreFaults, KilledMidGameLosesNoAnswer) {
    TempDir dir;
    std::string file = dir.path + "/game.txt";
    int pipeIn[2];
    ASSERT_EQ(pipe(pipeIn), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeIn[0], 0);
        close(pipeIn[1]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(KAVRIN_BIN, KAVRIN_BIN, "--seed", "21", "--fast", "--no-color", "--record", file.c_str(),
              "--record-db", dir.path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeIn[0]);
    const std::vector<std::string> answers = {"1", "2", "h", "i", "9", "e", "x", "1", "y"};
    std::string menu = "1\n";
    ASSERT_EQ(write(pipeIn[1], menu.data(), menu.size()), static_cast<ssize_t>(menu.size()));
    for (const std::string& a : answers) {
        std::string line = a + "\n";
        ASSERT_EQ(write(pipeIn[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (occurrences(slurp(file), "\nanswer ") < answers.size() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(pipeIn[1]);
    ASSERT_TRUE(WIFSIGNALED(status));

    std::string kept = slurp(file);
    ASSERT_EQ(occurrences(kept, "\nanswer "), answers.size());
    SqliteStore store(dir.path);
    EXPECT_EQ(store.recovered(), 1);
    GamePage page = store.list(GameFilter{});
    ASSERT_EQ(page.total, 1);
    std::optional<StoredGame> g = store.get(page.games[0].id);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->summary.state, GameState::Unfinished);
    EXPECT_EQ(g->record, kept);
    std::istringstream in(g->record);
    Record record = parseRecord(in, "db");
    std::vector<std::string> read;
    for (const RecordEvent& e : record.events)
        if (e.type == RecordEvent::Reply) read.push_back(e.text);
    EXPECT_EQ(read, answers);
    ReplayIo replay(record, nullptr);
    Game game(record.head.mode, record.head.opt, &replay);
    EXPECT_THROW(
        {
            game.setup();
            game.run();
        },
        RecordStop);
    EXPECT_EQ(replay.used(), static_cast<int>(answers.size()));
}

} // namespace
} // namespace kvr

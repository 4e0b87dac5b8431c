#include "store/sqlite_store.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kvr {

namespace {

// Version 1: games; their seats, with the game's mode and listing copied in so that a history filtered by
// hero reads one index; their records in the pieces they were written in; and the statistics' counts,
// brought up to date as each game finishes, so that the statistics read a few hundred rows however many
// games there are.
const char* const SCHEMA_1 = R"(
CREATE TABLE games(
  id INTEGER PRIMARY KEY,
  tableId TEXT NOT NULL,
  listed INTEGER NOT NULL,
  started INTEGER NOT NULL,
  ended INTEGER,
  state INTEGER NOT NULL,
  mode INTEGER NOT NULL,
  seed INTEGER NOT NULL,
  ai INTEGER NOT NULL,
  strongRoles INTEGER NOT NULL,
  result TEXT,
  rounds INTEGER);
CREATE INDEX games_listed ON games(listed, id);
CREATE INDEX games_by_mode ON games(listed, mode, id);
CREATE INDEX games_by_table ON games(tableId, id);
CREATE INDEX games_by_state ON games(state);
CREATE TABLE seats(
  game INTEGER NOT NULL,
  seat INTEGER NOT NULL,
  mode INTEGER NOT NULL,
  listed INTEGER NOT NULL,
  hero INTEGER NOT NULL,
  role INTEGER NOT NULL,
  player INTEGER NOT NULL,
  won INTEGER,
  PRIMARY KEY(game, seat)) WITHOUT ROWID;
CREATE INDEX seats_by_hero ON seats(hero, listed, game);
CREATE INDEX seats_by_hero_mode ON seats(hero, listed, mode, game);
CREATE TABLE record(
  game INTEGER NOT NULL,
  part INTEGER NOT NULL,
  lines TEXT NOT NULL,
  PRIMARY KEY(game, part)) WITHOUT ROWID;
CREATE TABLE seat_tallies(
  mode INTEGER NOT NULL,
  role INTEGER NOT NULL,
  hero INTEGER NOT NULL,
  player INTEGER NOT NULL,
  games INTEGER NOT NULL,
  wins INTEGER NOT NULL,
  PRIMARY KEY(mode, role, hero, player)) WITHOUT ROWID;
CREATE TABLE result_tallies(
  mode INTEGER NOT NULL,
  result TEXT NOT NULL,
  games INTEGER NOT NULL,
  first INTEGER NOT NULL,
  PRIMARY KEY(mode, result)) WITHOUT ROWID;
CREATE TABLE round_tallies(
  mode INTEGER NOT NULL,
  rounds INTEGER NOT NULL,
  games INTEGER NOT NULL,
  PRIMARY KEY(mode, rounds)) WITHOUT ROWID;
)";

std::string fail(const std::string& file, const std::string& why) {
    return "对局数据库 " + file + " " + why + "。";
}

// The reason for a failed call on `db`, in the words a room's operator can act on.
std::string reason(sqlite3* db, int rc) {
    switch (rc & 0xFF) {
    case SQLITE_NOTADB:
        return "不是SQLite数据库";
    case SQLITE_FULL:
        return "无法写入：磁盘已满";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "正被另一个程序锁定";
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return "无法打开或写入（目录不可写或路径无效）";
    case SQLITE_CORRUPT:
        return "已损坏";
    default:
        return std::string("出错：") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    }
}

void exec(sqlite3* db, const std::string& file, const char* sql) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw StoreError(fail(file, reason(db, rc)));
}

int pragmaInt(sqlite3* db, const std::string& file, const char* sql) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    int value = 0;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            value = sqlite3_column_int(s, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_OK) throw StoreError(fail(file, reason(db, rc)));
    return value;
}

sqlite3* openConnection(const std::string& file) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string why = reason(db, rc);
        sqlite3_close(db);
        throw StoreError(fail(file, why));
    }
    sqlite3_busy_timeout(db, 1000);
    return db;
}

} // namespace

std::string storeFile(const std::string& dir) { return (std::filesystem::path(dir) / "games.db").string(); }

const std::vector<SchemaStep>& schemaSteps() {
    static const std::vector<SchemaStep> steps = {{1, SCHEMA_1}};
    return steps;
}

void migrateSchema(sqlite3* db, const std::string& file, const std::vector<SchemaStep>& steps) {
    int latest = steps.empty() ? 0 : steps.back().version;
    int version = pragmaInt(db, file, "PRAGMA user_version");
    if (version > latest)
        throw StoreError(fail(file, "由更新的程序写成（结构版本" + std::to_string(version) +
                                        "，本程序只认得" + std::to_string(latest) + "）"));
    if (version == latest) return;
    exec(db, file, "BEGIN IMMEDIATE");
    try {
        for (const SchemaStep& step : steps) {
            if (step.version <= version) continue;
            exec(db, file, step.sql);
            // The version is a constant of this program, never a value from outside.
            exec(db, file, ("PRAGMA user_version = " + std::to_string(step.version)).c_str());
        }
        exec(db, file, "COMMIT");
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// A prepared statement, reset after each use; binds and reads by 1-based and 0-based index, as SQLite.
class SqliteStore::Statement {
  public:
    Statement(sqlite3* db, const std::string& file, const char* sql) {
        int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr);
        if (rc != SQLITE_OK) throw StoreError(fail(file, reason(db, rc)));
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int k, std::int64_t v) {
        sqlite3_bind_int64(s_, k, v);
        return *this;
    }
    Statement& bind(int k, std::string_view v) {
        sqlite3_bind_text(s_, k, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindNull(int k) {
        sqlite3_bind_null(s_, k);
        return *this;
    }
    // True with a row to read; false when done or failed (then ok() is false).
    bool row() {
        rc_ = sqlite3_step(s_);
        return rc_ == SQLITE_ROW;
    }
    // Runs a statement that returns no rows; false when it failed.
    bool run() {
        rc_ = sqlite3_step(s_);
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
        return rc_ == SQLITE_DONE;
    }
    void done() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    bool ok() const { return rc_ == SQLITE_DONE || rc_ == SQLITE_ROW; }
    std::int64_t integer(int k) const { return sqlite3_column_int64(s_, k); }
    bool null(int k) const { return sqlite3_column_type(s_, k) == SQLITE_NULL; }
    std::string text(int k) const {
        const unsigned char* t = sqlite3_column_text(s_, k);
        return t ? std::string(reinterpret_cast<const char*>(t),
                               static_cast<std::size_t>(sqlite3_column_bytes(s_, k)))
                 : std::string();
    }
    int rc() const { return rc_; }

  private:
    sqlite3_stmt* s_ = nullptr;
    int rc_ = SQLITE_OK;
};

namespace {

enum StatementId {
    BeginGame,
    Append,
    Seat,
    Finish,
    Won,
    TallySeats,
    TallyResult,
    TallyRounds,
    BeginWrite,
    Commit,
    Rollback,
    BeginRead,
    EndRead,
    ListAll,
    ListMode,
    ListHero,
    ListHeroMode,
    ListTable,
    CountAll,
    CountMode,
    CountHero,
    CountHeroMode,
    CountTable,
    GameSeats,
    OneGame,
    Record,
    Results,
    SeatStats,
    Rounds,
    STATEMENT_COUNT
};

// The history's statements take ?1 the table, ?2 the mode, ?3 a hero among the seats, ?4 how many games
// and ?5 how many to skip; each filter has its own statement, so that each reads the index made for it and
// skips over index entries alone.
#define KAVRIN_GAME_COLUMNS                                                                                  \
    "id, tableId, listed, started, ended, state, mode, seed, ai, strongRoles, result, rounds"
#define KAVRIN_PAGE_OF(ids) "SELECT " KAVRIN_GAME_COLUMNS " FROM games WHERE id IN (" ids ") ORDER BY id DESC"
#define KAVRIN_TABLE_FILTER                                                                                  \
    " WHERE tableId = ?1 AND (?2 IS NULL OR mode = ?2) AND (?3 IS NULL OR id IN (SELECT game FROM seats "    \
    "WHERE "                                                                                                 \
    "hero = ?3))"

// Writes on the first connection, reads on the second.
const char* const STATEMENT_SQL[STATEMENT_COUNT] = {
    "INSERT INTO games(tableId, listed, started, state, mode, seed, ai, strongRoles) "
    "VALUES(?1, ?2, ?3, 0, ?4, ?5, ?6, ?7)",
    "INSERT INTO record(game, part, lines) "
    "VALUES(?1, (SELECT COALESCE(MAX(part) + 1, 0) FROM record WHERE game = ?1), ?2)",
    "INSERT OR REPLACE INTO seats(game, seat, mode, listed, hero, role, player, won) "
    "SELECT ?1, ?2, mode, listed, ?3, ?4, ?5, NULL FROM games WHERE id = ?1",
    "UPDATE games SET ended = ?2, state = ?3, result = ?4, rounds = ?5 WHERE id = ?1 AND state = 0",
    "UPDATE seats SET won = ?3 WHERE game = ?1 AND seat = ?2",
    "INSERT INTO seat_tallies(mode, role, hero, player, games, wins) "
    "SELECT mode, role, hero, player, 1, won FROM seats WHERE game = ?1 "
    "ON CONFLICT(mode, role, hero, player) DO UPDATE SET games = games + 1, wins = wins + excluded.wins",
    "INSERT INTO result_tallies(mode, result, games, first) SELECT mode, result, 1, id FROM games WHERE id = "
    "?1 "
    "ON CONFLICT(mode, result) DO UPDATE SET games = games + 1",
    "INSERT INTO round_tallies(mode, rounds, games) SELECT mode, MIN(rounds, ?2), 1 FROM games WHERE id = ?1 "
    "ON CONFLICT(mode, rounds) DO UPDATE SET games = games + 1",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "BEGIN",
    "COMMIT",
    KAVRIN_PAGE_OF("SELECT id FROM games WHERE listed = 1 ORDER BY id DESC LIMIT ?4 OFFSET ?5"),
    KAVRIN_PAGE_OF("SELECT id FROM games WHERE listed = 1 AND mode = ?2 ORDER BY id DESC LIMIT ?4 OFFSET ?5"),
    KAVRIN_PAGE_OF(
        "SELECT game FROM seats WHERE hero = ?3 AND listed = 1 ORDER BY game DESC LIMIT ?4 OFFSET ?5"),
    KAVRIN_PAGE_OF("SELECT game FROM seats WHERE hero = ?3 AND listed = 1 AND mode = ?2 ORDER BY game DESC "
                   "LIMIT ?4 OFFSET ?5"),
    "SELECT " KAVRIN_GAME_COLUMNS " FROM games" KAVRIN_TABLE_FILTER " ORDER BY id DESC LIMIT ?4 OFFSET ?5",
    "SELECT COUNT(*) FROM games WHERE listed = 1",
    "SELECT COUNT(*) FROM games WHERE listed = 1 AND mode = ?2",
    "SELECT COUNT(*) FROM seats WHERE hero = ?3 AND listed = 1",
    "SELECT COUNT(*) FROM seats WHERE hero = ?3 AND listed = 1 AND mode = ?2",
    "SELECT COUNT(*) FROM games" KAVRIN_TABLE_FILTER,
    "SELECT seat, hero, role, player, won FROM seats WHERE game = ?1 ORDER BY seat",
    "SELECT " KAVRIN_GAME_COLUMNS " FROM games WHERE id = ?1",
    "SELECT lines FROM record WHERE game = ?1 ORDER BY part",
    "SELECT mode, result, games FROM result_tallies ORDER BY mode, first",
    "SELECT mode, role, hero, player, games, wins FROM seat_tallies",
    "SELECT mode, rounds, games FROM round_tallies",
};

#undef KAVRIN_GAME_COLUMNS
#undef KAVRIN_PAGE_OF
#undef KAVRIN_TABLE_FILTER

// Rounds past this count together in the statistics.
constexpr int ROUNDS_SHOWN = 60;

} // namespace

SqliteStore::SqliteStore(const std::string& dir) : file_(storeFile(dir)) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    try {
        writer_ = openConnection(file_);
#ifndef _WIN32
        // One room per database: the lock goes with the process, however it ends.
        lockFd_ = ::open(file_.c_str(), O_RDWR | O_CLOEXEC);
        if (lockFd_ < 0) throw StoreError(fail(file_, "无法打开或写入（目录不可写或路径无效）"));
        if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0)
            throw StoreError(fail(file_, "正被另一个房间使用（一个数据库同时只能由一个房间使用）"));
#endif
        if (pragmaInt(writer_, file_, "PRAGMA schema_version") < 0) throw StoreError(fail(file_, "已损坏"));
        sqlite3_stmt* s = nullptr;
        std::string mode;
        if (sqlite3_prepare_v2(writer_, "PRAGMA journal_mode = WAL", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            mode = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        int rc = sqlite3_errcode(writer_);
        sqlite3_finalize(s);
        if (mode != "wal")
            throw StoreError(fail(file_, reason(writer_, rc == SQLITE_OK ? SQLITE_CANTOPEN : rc)));
        // Committed in WAL mode, a line survives the process's death; only the machine's would lose it.
        exec(writer_, file_, "PRAGMA synchronous = NORMAL");
        exec(writer_, file_, "PRAGMA wal_autocheckpoint = 0");
        migrateSchema(writer_, file_, schemaSteps());
        exec(writer_, file_, "UPDATE games SET state = 2 WHERE state = 0");
        recovered_ = sqlite3_changes(writer_);
        reader_ = openConnection(file_);
        checkpointer_ = openConnection(file_);
        exec(checkpointer_, file_, "PRAGMA synchronous = NORMAL");
        for (int k = 0; k < STATEMENT_COUNT; ++k)
            statements_.push_back(
                std::make_unique<Statement>(k < BeginRead ? writer_ : reader_, file_, STATEMENT_SQL[k]));
        checkpointThread_ = std::thread(&SqliteStore::checkpoints, this);
    } catch (...) {
        close();
        throw;
    }
}

SqliteStore::~SqliteStore() { close(); }

// Twice a second, or at once when the store closes: a passive copy never holds up a writer.
void SqliteStore::checkpoints() {
    std::unique_lock<std::mutex> lock(checkpointLock_);
    for (;;) {
        checkpointWake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stopping_; });
        sqlite3_wal_checkpoint_v2(checkpointer_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        if (stopping_) return;
    }
}

// The lock goes last: closing its descriptor would drop any lock SQLite still held on the same file.
void SqliteStore::close() {
    if (checkpointThread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(checkpointLock_);
            stopping_ = true;
        }
        checkpointWake_.notify_all();
        checkpointThread_.join();
    }
    statements_.clear();
    sqlite3_close(checkpointer_);
    sqlite3_close(reader_);
    sqlite3_close(writer_);
    checkpointer_ = reader_ = writer_ = nullptr;
#ifndef _WIN32
    if (lockFd_ >= 0) ::close(lockFd_);
#endif
    lockFd_ = -1;
}

void SqliteStore::limitPages(long pages) {
    std::lock_guard<std::mutex> lock(writeLock_);
    sqlite3_stmt* s = nullptr;
    // The count is the caller's number, bound as a value would be if pragmas took parameters.
    std::string sql = "PRAGMA max_page_count = " + std::to_string(std::max(1L, pages));
    if (sqlite3_prepare_v2(writer_, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) sqlite3_step(s);
    sqlite3_finalize(s);
}

// Runs `body` between BEGIN and COMMIT on the writer; a body or commit that fails rolls everything back.
bool SqliteStore::inTransaction(const std::function<bool()>& body) {
    if (!statements_[BeginWrite]->run()) return false;
    if (body() && statements_[Commit]->run()) return true;
    statements_[Rollback]->run();
    return false;
}

std::int64_t SqliteStore::begin(const GameStart& start) {
    std::lock_guard<std::mutex> lock(writeLock_);
    Statement& s = *statements_[BeginGame];
    s.bind(1, start.table)
        .bind(2, start.listed ? 1 : 0)
        .bind(3, start.started)
        .bind(4, static_cast<std::int64_t>(start.mode))
        .bind(5, static_cast<std::int64_t>(start.seed))
        .bind(6, static_cast<std::int64_t>(start.ai))
        .bind(7, static_cast<std::int64_t>(start.strongRoles));
    if (!s.run()) return -1;
    return sqlite3_last_insert_rowid(writer_);
}

bool SqliteStore::append(std::int64_t id, std::string_view lines) {
    std::lock_guard<std::mutex> lock(writeLock_);
    return statements_[Append]->bind(1, id).bind(2, lines).run();
}

bool SqliteStore::seated(std::int64_t id, const std::array<StoredSeat, 6>& seats) {
    std::lock_guard<std::mutex> lock(writeLock_);
    return inTransaction([&] {
        for (int p = 0; p < 6; ++p) {
            const StoredSeat& x = seats[static_cast<std::size_t>(p)];
            if (!statements_[Seat]
                     ->bind(1, id)
                     .bind(2, p)
                     .bind(3, static_cast<std::int64_t>(x.hero))
                     .bind(4, static_cast<std::int64_t>(x.role))
                     .bind(5, static_cast<std::int64_t>(x.player))
                     .run())
                return false;
        }
        return true;
    });
}

// A game whose record lost a line keeps its result but no wins, and counts in no statistics. A game is
// finished once: its counts are added then.
bool SqliteStore::finish(std::int64_t id, const GameEnd& end) {
    std::lock_guard<std::mutex> lock(writeLock_);
    return inTransaction([&] {
        if (!statements_[Finish]
                 ->bind(1, id)
                 .bind(2, end.ended)
                 .bind(3,
                       static_cast<std::int64_t>(end.complete ? GameState::Finished : GameState::Unfinished))
                 .bind(4, end.result)
                 .bind(5, end.rounds)
                 .run() ||
            sqlite3_changes(writer_) != 1)
            return false;
        if (!end.complete) return true;
        for (int p = 0; p < 6; ++p)
            if (!statements_[Won]
                     ->bind(1, id)
                     .bind(2, p)
                     .bind(3, end.won[static_cast<std::size_t>(p)] ? 1 : 0)
                     .run())
                return false;
        return statements_[TallySeats]->bind(1, id).run() && statements_[TallyResult]->bind(1, id).run() &&
               statements_[TallyRounds]->bind(1, id).bind(2, ROUNDS_SHOWN).run();
    });
}

GameSummary SqliteStore::summaryAt(Statement& s) {
    GameSummary g;
    g.id = s.integer(0);
    g.table = s.text(1);
    g.listed = s.integer(2) != 0;
    g.started = s.integer(3);
    g.ended = s.null(4) ? 0 : s.integer(4);
    g.state = static_cast<GameState>(std::clamp<std::int64_t>(s.integer(5), 0, 2));
    g.mode = s.integer(6) == Identity ? Identity : Normal3v3;
    g.seed = static_cast<std::uint32_t>(s.integer(7));
    g.ai = s.integer(8) == StrongAi ? StrongAi : ClassicAi;
    g.strongRoles = static_cast<unsigned>(s.integer(9) & 63);
    g.result = s.text(10);
    g.rounds = s.null(11) ? 0 : static_cast<int>(s.integer(11));
    return g;
}

void SqliteStore::readSeats(std::vector<GameSummary>& games) {
    Statement& s = *statements_[GameSeats];
    for (GameSummary& g : games) {
        s.bind(1, g.id);
        while (s.row()) {
            StoredSeat x;
            x.hero = static_cast<HeroId>(std::clamp<std::int64_t>(s.integer(1), 0, HERO_COUNT - 1));
            x.role = static_cast<Role>(std::clamp<std::int64_t>(s.integer(2), 0, 5));
            x.player = static_cast<PlayedBy>(std::clamp<std::int64_t>(s.integer(3), 0, 2));
            if (!s.null(4)) x.won = s.integer(4) != 0;
            g.seats.push_back(x);
        }
        bool ok = s.ok();
        s.done();
        if (!ok) throw StoreError(fail(file_, reason(reader_, s.rc())));
    }
}

namespace {

// A read's statements see one state of the database, and the read ends however it ends.
class ReadScope {
  public:
    ReadScope(std::function<bool()> begin, std::function<void()> end) : end_(std::move(end)) {
        begun_ = begin();
    }
    ~ReadScope() {
        if (begun_) end_();
    }
    bool begun() const { return begun_; }

  private:
    std::function<void()> end_;
    bool begun_ = false;
};

} // namespace

GamePage SqliteStore::list(const GameFilter& filter) {
    std::lock_guard<std::mutex> lock(readLock_);
    ReadScope scope([this] { return statements_[BeginRead]->run(); },
                    [this] { statements_[EndRead]->run(); });
    int shape = filter.table ? 4 : (filter.hero ? 2 : 0) + (filter.mode ? 1 : 0);
    const StatementId lists[] = {ListAll, ListMode, ListHero, ListHeroMode, ListTable};
    const StatementId counts[] = {CountAll, CountMode, CountHero, CountHeroMode, CountTable};
    // A statement's unused parameters take their values and ignore them.
    auto bindFilter = [&filter](Statement& s) {
        if (filter.table)
            s.bind(1, *filter.table);
        else
            s.bindNull(1);
        if (filter.mode)
            s.bind(2, static_cast<std::int64_t>(*filter.mode));
        else
            s.bindNull(2);
        if (filter.hero)
            s.bind(3, static_cast<std::int64_t>(*filter.hero));
        else
            s.bindNull(3);
    };
    GamePage page;
    Statement& count = *statements_[counts[shape]];
    bindFilter(count);
    if (count.row()) page.total = count.integer(0);
    bool ok = count.ok();
    int rc = count.rc();
    count.done();
    Statement& s = *statements_[lists[shape]];
    bindFilter(s);
    s.bind(4, std::clamp(filter.limit, 1, 200)).bind(5, std::max(0, filter.offset));
    while (ok && s.row()) page.games.push_back(summaryAt(s));
    if (ok) {
        ok = s.ok();
        rc = s.rc();
    }
    s.done();
    if (!ok) throw StoreError(fail(file_, reason(reader_, rc)));
    readSeats(page.games);
    return page;
}

std::optional<StoredGame> SqliteStore::get(std::int64_t id) {
    std::lock_guard<std::mutex> lock(readLock_);
    ReadScope scope([this] { return statements_[BeginRead]->run(); },
                    [this] { statements_[EndRead]->run(); });
    Statement& s = *statements_[OneGame];
    s.bind(1, id);
    std::vector<GameSummary> found;
    if (s.row()) found.push_back(summaryAt(s));
    bool ok = s.ok();
    s.done();
    if (!ok) throw StoreError(fail(file_, reason(reader_, s.rc())));
    if (found.empty()) return std::nullopt;
    readSeats(found);
    StoredGame game;
    game.summary = std::move(found[0]);
    Statement& r = *statements_[Record];
    r.bind(1, id);
    while (r.row()) game.record += r.text(0);
    ok = r.ok();
    r.done();
    if (!ok) throw StoreError(fail(file_, reason(reader_, r.rc())));
    return game;
}

GameStats SqliteStore::stats() {
    std::lock_guard<std::mutex> lock(readLock_);
    ReadScope scope([this] { return statements_[BeginRead]->run(); },
                    [this] { statements_[EndRead]->run(); });
    GameStats out;
    auto each = [this](StatementId id, const std::function<void(Statement&)>& row) {
        Statement& s = *statements_[id];
        while (s.row()) row(s);
        bool ok = s.ok();
        int rc = s.rc();
        s.done();
        if (!ok) throw StoreError(fail(file_, reason(reader_, rc)));
    };
    auto modeOf = [&out](std::int64_t m) -> GameStats::ByMode& { return out.modes[m == Identity ? 1 : 0]; };
    // Rows of the counts kept as games finished: a few hundred, however many games.
    each(Results, [&](Statement& s) {
        GameStats::ByMode& m = modeOf(s.integer(0));
        m.results.emplace_back(s.text(1), s.integer(2));
        m.games += s.integer(2);
    });
    each(SeatStats, [&](Statement& s) {
        GameStats::ByMode& m = modeOf(s.integer(0));
        std::int64_t role = s.integer(1), hero = s.integer(2), player = s.integer(3);
        SeatTally t{s.integer(4), s.integer(5)};
        auto add = [&t](SeatTally& into) {
            into.games += t.games;
            into.wins += t.wins;
        };
        if (role >= 0 && role < 6) add(m.roles[static_cast<std::size_t>(role)]);
        if (hero >= 0 && hero < HERO_COUNT) add(m.heroes[static_cast<std::size_t>(hero)]);
        if (player >= 0 && player < 3) add(m.players[static_cast<std::size_t>(player)]);
    });
    each(Rounds, [&](Statement& s) {
        GameStats::ByMode& m = modeOf(s.integer(0));
        std::size_t r = static_cast<std::size_t>(std::clamp<std::int64_t>(s.integer(1), 0, ROUNDS_SHOWN));
        if (m.rounds.size() <= r) m.rounds.resize(r + 1);
        m.rounds[r] += s.integer(2);
    });
    return out;
}

} // namespace kvr

// The games a room keeps, in one SQLite file (DIR/games.db) in WAL mode: every append is committed as it
// happens, so a process killed mid-game loses no line it wrote. One room at a time: the file is locked
// for as long as the store is open.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "store/game_store.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace kvr {

// The file a store keeps its games in, inside `dir`.
std::string storeFile(const std::string& dir);

// One step of the schema: its SQL brings a database from version - 1 to `version`.
struct SchemaStep {
    int version = 0;
    const char* sql = "";
};
// The schema's steps, oldest first; the last one's version is the schema this program writes.
const std::vector<SchemaStep>& schemaSteps();
// Brings `db` forward to the last of `steps` in one transaction. Throws StoreError (naming `file`) when
// the database is of a newer version than the last step, or a step fails (nothing is then changed).
void migrateSchema(sqlite3* db, const std::string& file, const std::vector<SchemaStep>& steps);

class SqliteStore : public GameStore {
  public:
    // Opens DIR/games.db, making the folder and the file if need be, brings its schema forward and marks
    // the games a dead room left as unfinished. Throws StoreError with one line naming the file when it
    // cannot be opened or written, is no SQLite database, is of a newer schema, or another room has it.
    explicit SqliteStore(const std::string& dir);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    std::int64_t begin(const GameStart& start) override;
    bool append(std::int64_t id, std::string_view lines) override;
    bool seated(std::int64_t id, const std::array<StoredSeat, 6>& seats) override;
    bool finish(std::int64_t id, const GameEnd& end) override;
    GamePage list(const GameFilter& filter) override;
    std::optional<StoredGame> get(std::int64_t id) override;
    GameStats stats() override;

    const std::string& file() const { return file_; }
    // Games found being played when the store was opened, now marked unfinished.
    int recovered() const { return recovered_; }
    // The file may grow to at most this many pages (of 4 KB) from now on: a full disk, for the tests.
    void limitPages(long pages);

  private:
    class Statement;
    void close();
    void checkpoints();
    bool inTransaction(const std::function<bool()>& body);
    GameSummary summaryAt(Statement& s);
    void readSeats(std::vector<GameSummary>& games);

    std::string file_;
    int lockFd_ = -1;
    // Writes go through one connection, reads through another, so that a long read never holds up a
    // game's next line (WAL lets both go at once).
    sqlite3* writer_ = nullptr;
    sqlite3* reader_ = nullptr;
    std::mutex writeLock_;
    std::mutex readLock_;
    // The WAL is copied into the database on a thread of its own, with a connection of its own, so that
    // no game's line waits for the copy and its disk flushes.
    sqlite3* checkpointer_ = nullptr;
    std::thread checkpointThread_;
    std::mutex checkpointLock_;
    std::condition_variable checkpointWake_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Statement>> statements_;
    int recovered_ = 0;
};

} // namespace kvr

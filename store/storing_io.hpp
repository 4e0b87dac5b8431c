// Keeps a game in a store as it is played. It wraps the table the game plays at, as RecordingIo does,
// and appends every line of the game's record to the store as it is written: the head at once, each
// answer as it is read. The stored record is byte for byte what `--record` writes for the same game.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>

#include "console/recording_io.hpp"
#include "store/game_store.hpp"

namespace kvr {

class Game;

// What a console is told, once, when a game can no longer be kept.
extern const char* const STORE_FAILING_TEXT;

class StoringIo : public TableIo {
  public:
    // Begins the game in the store and keeps its head. When the store cannot keep it (a full disk) the
    // game plays on unkept, and `console` is told so once, as it is when a later line fails.
    StoringIo(TableIo& inner, GameStore& store, const GameStart& start, const RecordHead& head,
              std::ostream& console);
    // The same, with `failing` called instead (once, from the game's thread) when the store fails.
    StoringIo(TableIo& inner, GameStore& store, const GameStart& start, const RecordHead& head,
              std::function<void()> failing);

    void showAll(std::string_view text) override { recording_.showAll(text); }
    void show(int p, std::string_view text) override { recording_.show(p, text); }
    Answer ask(int p, std::string& line) override { return recording_.ask(p, line); }
    Answer askFor(int p, const Prompt& prompt, std::string& line) override {
        return recording_.askFor(p, prompt, line);
    }
    bool hosted() const override { return recording_.hosted(); }
    int remotePlayers() const override { return recording_.remotePlayers(); }
    bool seatRemote(int player, int p, std::string_view start) override {
        return recording_.seatRemote(player, p, start);
    }
    bool takeBack(int p) override { return recording_.takeBack(p); }
    void seatOut(int p) override { recording_.seatOut(p); }
    void farewell(std::string_view text) override { recording_.farewell(text); }

    // Once the game is set up: each seat's hero and role, and whether a person plays it.
    void seated(const Game& game);
    // Once the game is over: its result, its rounds and who won.
    void finish(const Game& game);
    // From any thread: the game is kept no further, and left unfinished as far as it went (its process
    // is going). A line being written meanwhile is kept whole or not at all.
    void stop();

    // The game's id in the store; -1 when it is not kept.
    std::int64_t id() const { return sink_.id; }
    // Whether every line so far is in the store.
    bool kept() const { return sink_.id >= 0 && !sink_.failed; }

  private:
    struct Sink : RecordSink {
        bool keep(std::string_view lines) override;
        void failing();
        GameStore* store = nullptr;
        std::function<void()> told;
        std::int64_t id = -1;
        bool failed = false;
        // Held while a line is written, and by stop().
        std::mutex lock;
        bool stopped = false;
    };

    GameStore& store_;
    Options opt_;
    Sink sink_;
    RecordWriter writer_;
    RecordingIo recording_;
};

// Now, in milliseconds since 1970: when a game starts and ends.
std::int64_t storeClock();

} // namespace kvr

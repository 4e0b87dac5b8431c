// Replaying a game: a table whose every answer comes from a record, and the point where a local game
// resumed from its record hands over to the player.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "console/record.hpp"
#include "console/recording_io.hpp"
#include "model/table_io.hpp"

namespace kvr {

// Plays a record back: every answer, drop and take-back comes from it, in its order. The text the
// original host's console showed goes to `out` (public text, and private text of every seat not played
// over a connection); with no stream the game is silent. An answer asked of another seat or of another
// kind than the record holds at that point throws RecordError; a record used up throws RecordStop,
// unless the game goes live.
class ReplayIo : public TableIo {
  public:
    ReplayIo(const Record& record, std::ostream* out);

    // Once the record is used up the game goes on at `live`: the screen since its last clear is shown
    // there, and every new answer is appended to the record's file (cut before its `closed` line, if it
    // has one). Only for a record of a local game.
    void goLive(TableIo& live);

    void showAll(std::string_view text) override;
    void show(int p, std::string_view text) override;
    Answer ask(int p, std::string& line) override { return askFor(p, Prompt{}, line); }
    Answer askFor(int p, const Prompt& prompt, std::string& line) override;
    bool hosted() const override {
        return record_.head.game == RecordedGame::Hosted || record_.head.game == RecordedGame::Room;
    }
    int remotePlayers() const override { return record_.head.remotePlayers; }
    bool seatRemote(int player, int p, std::string_view start) override;
    bool takeBack(int p) override;
    void seatOut(int p) override;
    void farewell(std::string_view text) override;

    // Throws RecordError when events remain that the game never reached (called once the game is over).
    void checkUsedUp() const;
    bool live() const { return recording_ != nullptr; }
    // Whether the game announced its result: a record that stops after that has told all there was.
    bool over() const { return over_; }
    // The answers used so far, and the record's last line.
    int used() const { return static_cast<int>(next_); }

  private:
    void write(std::string_view text);
    const RecordEvent* upcoming();
    [[noreturn]] void refuse(const RecordEvent& e, const std::string& why) const;
    void startLive();

    const Record& record_;
    std::ostream* out_;
    std::size_t next_ = 0;
    long polls_ = 0;
    bool closed_ = false;
    bool over_ = false;
    bool remote_[6] = {};
    // Going live: where, the text shown since the last screen clear, the recording of what follows.
    TableIo* liveTable_ = nullptr;
    std::string screen_;
    RecordWriter writer_;
    std::unique_ptr<RecordingIo> recording_;
};

// The point where a local game's record hands over to the player: the first byte of its `closed` line,
// or the end of the file. -1 when the game already ended there.
long resumePoint(const Record& record);

} // namespace kvr

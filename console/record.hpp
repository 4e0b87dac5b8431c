// A game's record: the settings that shape it and every answer it read, one line each, so that the game
// can be played again to the same bytes or played on after an interruption. This is the format, read and
// written; recording_io.hpp keeps a game's record as it is played, replay_io.hpp plays one back. Plain
// UTF-8 text:
//
//   kavrin-record 1               the format
//   version 0.1.0                 the program that wrote it
//   rules 8bacad9386e274f9        the rules signature: a program whose play differs refuses the record
//   game local|auto|hosted, mode, seed, max-rounds, ai, strong-roles, fast, color, remote-players
//   answers                       the head ends here; what follows is in the order it happened:
//   answer SEAT KIND TEXT         seat 1..6 (0: the console, nobody in particular) answered TEXT
//   closed SEAT KIND              the keyboard ended here: every later question at this console too
//   drop SEAT KIND                the seat's remote player went away when asked this
//   timeout SEAT KIND             the seat's remote player gave no answer to this in the time allowed
//   back SEAT POLL                the seat's player came back at the game's POLL-th look (from 0)
//   gone SEAT                     the player dealt this seat had left before the game began
//   end TEXT                      the game's result was announced
//
// KIND is text, command, number:LO-HI, yesno, order or pause. TEXT is the answer without leading and
// trailing blanks (the game drops them); a backslash is written \\ and a control byte or a byte that is
// not UTF-8 as \xHH. Lines that are empty or begin with # are comments.
#pragma once

#include <ios>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/table_io.hpp"
#include "model/types.hpp"

namespace kvr {

extern const char* const PROGRAM_VERSION;
// Equal to tests/golden/bench_signature.txt: whatever changes play changes both.
extern const char* const RULES_SIGNATURE;
// The strong computer player's version: a record of a game it played needs the same one to replay.
extern const char* const STRONG_PLAYER_VERSION;

// A room's game is hosted with nobody at the console: its opener plays from a browser, so every seat a
// person plays may drop or let its time pass, and nothing is read from a keyboard.
enum class RecordedGame { Local, Automatic, Hosted, Room };

// Everything that shapes a game besides the answers.
struct RecordHead {
    RecordedGame game = RecordedGame::Local;
    Mode mode = Normal3v3;
    Options opt;
    // Remote players seated when the game began.
    int remotePlayers = 0;
};

// One line of a record after its head.
struct RecordEvent {
    enum Type { Reply, Closed, Drop, TimedOut, Back, Gone, End };
    Type type = Reply;
    int seat = -1;
    Prompt prompt;
    // The answer of a Reply, the announcement of an End.
    std::string text;
    // The take-back poll of a Back.
    long poll = 0;
    // Where it stands in the file (1-based) and the byte its line begins at.
    int line = 0;
    long offset = 0;
};

struct Record {
    std::string path;
    RecordHead head;
    std::vector<RecordEvent> events;
    // Lines in the file.
    int lines = 0;
    // Why the line after the last event cannot be used (a line cut short, a line of no known form); empty
    // when every line could. A replay plays the events before it, then stops with this.
    std::string damage;
};

// A record that cannot be used as it stands, or an answer the game refuses at that point. The text names
// the file and the line.
struct RecordError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A replay has used every answer of a record and the game asks for one more.
struct RecordStop : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads a record from the file, or from `in` naming it `path`. Throws RecordError when the file cannot
// be read or its head is not that of a record this program can play; a damaged line after the head ends
// the events and is kept as the record's damage.
Record readRecord(const std::string& path);
Record parseRecord(std::istream& in, const std::string& path);

// The escaped form of an answer, and back; unescape fails on a lone backslash or bad \x.
std::string escapeAnswer(const std::string& text);
bool unescapeAnswer(const std::string& text, std::string& out);
std::string promptText(const Prompt& prompt);
// Whether two questions are the same: a number question with the same range.
bool samePrompt(const Prompt& a, const Prompt& b);

// Where a record's lines go besides a file: a store of games. Each call gets whole lines, each ending in
// a newline, the same bytes a file would get; false when they could not be kept, and then the sink has
// said why and the writer sends nothing more.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    virtual bool keep(std::string_view lines) = 0;
};

// Writes a record's lines, each one flushed as it is written, so the file holds every answer read even
// if the program is killed. A failed write is told once on standard error; the game goes on.
class RecordWriter {
  public:
    // Onto a stream the caller keeps (a test's string).
    explicit RecordWriter(std::ostream& out);
    // Into a sink the caller keeps.
    explicit RecordWriter(RecordSink& sink);
    // Onto a file: `create` empties it first, `append` adds to what it holds. False when it cannot be
    // written.
    RecordWriter() = default;
    bool create(const std::string& path);
    bool append(const std::string& path);

    void head(const RecordHead& head);
    void answer(int seat, const Prompt& prompt, const std::string& text);
    void closed(int seat, const Prompt& prompt);
    void drop(int seat, const Prompt& prompt);
    void timeout(int seat, const Prompt& prompt);
    void back(int seat, long poll);
    void gone(int seat);
    void end(std::string_view text);

  private:
    bool open(const std::string& path, std::ios::openmode mode);
    void put(const std::string& line);

    std::unique_ptr<std::ostream> file_;
    std::ostream* out_ = nullptr;
    RecordSink* sink_ = nullptr;
    std::string path_;
    bool failed_ = false;
};

} // namespace kvr

// This computer's console as a game's table: every text on one output stream, every answer from one
// input stream, whichever seat it is for.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "model/table_io.hpp"

namespace kvr {

class ConsoleIo : public TableIo {
  public:
    ConsoleIo(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    void showAll(std::string_view text) override;
    void show(int p, std::string_view text) override;
    Answer ask(int p, std::string& line) override;
    // Flushes what was written: a hosted game shows public lines at once.
    void flush();
    // The next line as typed, without flushing first.
    Answer readLine(std::string& line);
    // Whether reading flushes the output stream first (a stream's tie); returns the setting it replaced.
    bool flushOnRead(bool on);
    // Text from outside the game (a hosted game's visitor notices) written while a prompt may be open: it
    // gets a line of its own, and the unfinished line it interrupted is drawn again after it.
    void interject(std::string_view text);

  private:
    void write(std::string_view text);

    std::istream& in_;
    std::ostream& out_;
    // What was written since the last newline: the open prompt, when a read waits; not kept when longer
    // than any prompt.
    std::string openLine_;
    bool openLineKept_ = true;
};

// The console of this process: standard input and standard output.
ConsoleIo& standardConsole();

} // namespace kvr

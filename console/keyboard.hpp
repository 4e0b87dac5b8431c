// Standard input a line at a time for a thread that must not wait for the keyboard forever: the LAN
// client reads with a time-out so that it can end as soon as its connection does.
#pragma once

#include <functional>
#include <string>

namespace kvr {

// The editing a console does for a line typed at it, done by the program: characters are added and
// echoed, Backspace takes back the last one (two columns for a wide one), Enter ends the line. Takes
// UTF-16 code units as a Windows console delivers them and builds the line in UTF-8. Other control
// keys are dropped: an Escape echoed would open a sequence on the screen.
class LineEditor {
  public:
    // One typed unit; what to show is appended to `echo`. True when it ended the line.
    bool type(char16_t unit, std::string& echo);
    // The line so far, which the editor then forgets.
    std::string take();
    // The line so far.
    const std::string& line() const { return line_; }

  private:
    std::string line_;
    char16_t highSurrogate_ = 0;
};

// Reads whole lines from standard input, waiting for at most a given time each call. Lines already in
// std::cin's buffer (an earlier read may have taken more than it used) come first, then standard input.
// On a Windows console or a terminal the keys are read one by one, edited by a LineEditor and echoed
// through `echo`, so no line editor of the system's runs while another thread writes, and the program
// knows what has been typed: it can draw it again after other output. A terminal is given back as it was
// when the reader goes, or the process is ended or stopped by a signal. From a pipe or a file the bytes
// come as they are, with no echo.
class KeyboardLines {
  public:
    enum Status { Line, Waiting, Ended };
    // What the keys put on the screen, and the line as it stands after them (empty once it was ended).
    using Echo = std::function<void(const std::string& echo, const std::string& line)>;

    explicit KeyboardLines(Echo echo);
    ~KeyboardLines();
    KeyboardLines(const KeyboardLines&) = delete;
    KeyboardLines& operator=(const KeyboardLines&) = delete;
    // A whole line without its "\n" in `line`, Waiting after `ms` milliseconds without one, Ended when
    // input has ended (std::cin then reports the end too). An unfinished last line is still a line.
    Status next(std::string& line, int ms);

  private:
    bool takeBuffered(std::string& line);
    bool inputReady(int ms);
    Status end(std::string& line);
    // Reads the keys that wait, without waiting longer than `ms`, into `typed_`; false on end of input.
    bool readKeys(int ms);
    // Edits with what was typed; a Line once Enter came.
    Status editLine(std::string& line);
#ifndef _WIN32
    // Turns the terminal's bytes into the units an editor takes: UTF-8 decoded, Backspace (DEL) as
    // '\b', escape sequences (arrow and function keys) dropped, Ctrl+D kept for the end of input.
    void keysFromTerminal(const char* bytes, std::size_t n);
#endif

    Echo echo_;
    std::string partial_;
    bool ended_ = false;
    // Standard input is a console or a terminal, whose keys are read one by one.
    bool keys_ = false;
    LineEditor editor_;
    std::u16string typed_;
#ifndef _WIN32
    // An unfinished UTF-8 character, and where an escape sequence being dropped stands (0: none).
    std::string pendingBytes_;
    int escape_ = 0;
#endif
};

} // namespace kvr

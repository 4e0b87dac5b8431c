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

  private:
    std::string line_;
    char16_t highSurrogate_ = 0;
};

// Reads whole lines from standard input, waiting for at most a given time each call. Lines already in
// std::cin's buffer (an earlier read may have taken more than it used) come first, then standard input.
// On a Windows console the keys are read one by one and echoed through `echo`, so the console's own
// line editor never runs while another thread writes; elsewhere the bytes come as they are and the
// terminal does the echo.
class KeyboardLines {
  public:
    enum Status { Line, Waiting, Ended };

    explicit KeyboardLines(std::function<void(const std::string&)> echo);
    // A whole line without its "\n" in `line`, Waiting after `ms` milliseconds without one, Ended when
    // input has ended (std::cin then reports the end too). An unfinished last line is still a line.
    Status next(std::string& line, int ms);

  private:
    bool takeBuffered(std::string& line);
    bool inputReady(int ms);
    Status end(std::string& line);
#ifdef _WIN32
    Status consoleLine(std::string& line, int ms);
    // Standard input is a Windows console, whose keys the program reads and echoes itself.
    bool console_ = false;
#endif

    std::function<void(const std::string&)> echo_;
    std::string partial_;
    bool ended_ = false;
    LineEditor editor_;
    std::u16string typed_;
};

} // namespace kvr

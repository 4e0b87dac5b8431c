#include "console/keyboard.hpp"

#include <iostream>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kvr {

namespace {

constexpr char32_t CTRL_Z = 0x1a;
[[maybe_unused]] constexpr char16_t CTRL_D = 0x04;

void appendUtf8(std::string& s, char32_t c) {
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xc0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xe0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        s += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        s += static_cast<char>(0xf0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        s += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// Removes the last character of a UTF-8 text the editor built and returns it.
char32_t popUtf8(std::string& s) {
    std::size_t at = s.size() - 1;
    while (at > 0 && (static_cast<unsigned char>(s[at]) & 0xc0) == 0x80) --at;
    unsigned char lead = static_cast<unsigned char>(s[at]);
    char32_t c = lead < 0x80 ? lead : lead < 0xe0 ? lead & 0x1f : lead < 0xf0 ? lead & 0x0f : lead & 0x07;
    for (std::size_t i = at + 1; i < s.size(); ++i) c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3f);
    s.erase(at);
    return c;
}

// Columns a typed character takes on a terminal: two for the East Asian wide ranges (and for ^Z).
int columns(char32_t c) {
    bool wide = c == CTRL_Z || (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf && c != 0x303f) ||
                (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) ||
                (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
                (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x1f300 && c <= 0x1f64f) ||
                (c >= 0x20000 && c <= 0x3fffd);
    return wide ? 2 : 1;
}

} // namespace

bool LineEditor::type(char16_t unit, std::string& echo) {
    char32_t c = unit;
    if (unit >= 0xd800 && unit <= 0xdbff) {
        highSurrogate_ = unit;
        return false;
    }
    if (unit >= 0xdc00 && unit <= 0xdfff) {
        // A low half without its high half is dropped.
        if (highSurrogate_ == 0) return false;
        c = 0x10000 + ((static_cast<char32_t>(highSurrogate_) - 0xd800) << 10) + (unit - 0xdc00);
    }
    highSurrogate_ = 0;
    if (c == '\r' || c == '\n') {
        echo += "\n";
        return true;
    }
    if (c == '\b') {
        if (line_.empty()) return false;
        std::size_t n = static_cast<std::size_t>(columns(popUtf8(line_)));
        echo += std::string(n, '\b') + std::string(n, ' ') + std::string(n, '\b');
        return false;
    }
    if (c == CTRL_Z) {
        line_ += '\x1a';
        echo += "^Z";
        return false;
    }
    if (c < 0x20 || c == 0x7f) return false;
    appendUtf8(line_, c);
    appendUtf8(echo, c);
    return false;
}

std::string LineEditor::take() {
    highSurrogate_ = 0;
    return std::exchange(line_, std::string());
}

namespace {

#ifndef _WIN32

// The terminal as it was before a reader switched it to reading key by key, for whoever gives it back: the
// reader as it goes, or a handler of a signal that ends or stops the process.
termios g_savedTerminal;
volatile std::sig_atomic_t g_terminalChanged = 0;
const int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_savedActions[4];
struct sigaction g_savedStop, g_savedContinue;

void keysMode() {
    termios t = g_savedTerminal;
    t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(0, TCSANOW, &t);
}

void restoreTerminal() {
    if (g_terminalChanged) tcsetattr(0, TCSANOW, &g_savedTerminal);
}

void handle(int sig, void (*handler)(int), struct sigaction* saved) {
    struct sigaction a {};
    a.sa_handler = handler;
    sigemptyset(&a.sa_mask);
    sigaction(sig, &a, saved);
}

extern "C" void onEndingSignal(int sig) {
    restoreTerminal();
    signal(sig, SIG_DFL);
    raise(sig);
}

// Stopped (Ctrl+Z), the shell gets its terminal as it was; continued, the reader gets its keys again.
extern "C" void onStop(int) {
    restoreTerminal();
    signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
}

extern "C" void onContinue(int) {
    if (!g_terminalChanged) return;
    keysMode();
    handle(SIGTSTP, onStop, nullptr);
}

#endif

} // namespace

KeyboardLines::KeyboardLines(Echo echo) : echo_(std::move(echo)) {
#ifdef _WIN32
    DWORD mode = 0;
    keys_ = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    keys_ = isatty(0) && tcgetattr(0, &g_savedTerminal) == 0;
    if (!keys_) return;
    for (std::size_t i = 0; i < 4; ++i) handle(ENDING_SIGNALS[i], onEndingSignal, &g_savedActions[i]);
    handle(SIGTSTP, onStop, &g_savedStop);
    handle(SIGCONT, onContinue, &g_savedContinue);
    g_terminalChanged = 1;
    keysMode();
#endif
}

KeyboardLines::~KeyboardLines() {
#ifndef _WIN32
    if (!keys_) return;
    restoreTerminal();
    g_terminalChanged = 0;
    for (std::size_t i = 0; i < 4; ++i) sigaction(ENDING_SIGNALS[i], &g_savedActions[i], nullptr);
    sigaction(SIGTSTP, &g_savedStop, nullptr);
    sigaction(SIGCONT, &g_savedContinue, nullptr);
#endif
}

KeyboardLines::Status KeyboardLines::next(std::string& line, int ms) {
    if (ended_) return end(line);
    if (takeBuffered(line)) return Line;
    if (keys_) {
        if (typed_.empty() && !readKeys(ms)) {
            ended_ = true;
            return end(line);
        }
        return editLine(line);
    }
    if (!inputReady(ms)) return Waiting;
    // Input is there or has ended, so this read does not block.
    if (std::char_traits<char>::eq_int_type(std::cin.rdbuf()->sgetc(), std::char_traits<char>::eof())) {
        ended_ = true;
        return end(line);
    }
    return takeBuffered(line) ? Line : Waiting;
}

KeyboardLines::Status KeyboardLines::editLine(std::string& line) {
    std::string echo;
    bool done = false;
    bool endOfInput = false;
    std::size_t used = 0;
    while (!done && !endOfInput && used < typed_.size()) {
        char16_t unit = typed_[used++];
#ifndef _WIN32
        // As a terminal reads: Ctrl+D on an empty line ends the input, elsewhere it does nothing.
        if (unit == CTRL_D) {
            endOfInput = editor_.line().empty() && partial_.empty();
            continue;
        }
#endif
        done = editor_.type(unit, echo);
    }
    typed_.erase(0, used);
    if (!echo.empty()) echo_(echo, editor_.line());
    if (endOfInput) {
        ended_ = true;
        return end(line);
    }
    if (!done) return Waiting;
    line = partial_ + editor_.take();
    partial_.clear();
    // As the C runtime reads a console: a line starting with Ctrl+Z ends the input.
    if (!line.empty() && line[0] == '\x1a') {
        ended_ = true;
        line.clear();
        return end(line);
    }
    return Line;
}

// Only what the buffer holds, or what the system says is ready, is taken: in_avail never blocks.
bool KeyboardLines::takeBuffered(std::string& line) {
    std::streambuf* in = std::cin.rdbuf();
    while (in->in_avail() > 0) {
        char c = std::char_traits<char>::to_char_type(in->sbumpc());
        if (c == '\n') {
            line = std::exchange(partial_, std::string());
            return true;
        }
        partial_ += c;
    }
    return false;
}

KeyboardLines::Status KeyboardLines::end(std::string& line) {
    if (!partial_.empty()) {
        line = std::exchange(partial_, std::string());
        std::cin.setstate(std::ios::eofbit);
        return Line;
    }
    std::cin.setstate(std::ios::eofbit | std::ios::failbit);
    return Ended;
}

#ifdef _WIN32

// A pipe can be asked how much it holds; a file or a device is always ready. Wine cannot peek into a
// pipe from the Unix side: there the read simply waits, as std::getline would.
bool KeyboardLines::inputReady(int ms) {
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (GetFileType(h) != FILE_TYPE_PIPE) return true;
    for (int waited = 0;; waited += 10) {
        DWORD bytes = 0;
        if (!PeekNamedPipe(h, nullptr, 0, nullptr, &bytes, nullptr) || bytes > 0) return true;
        if (waited >= ms) return false;
        Sleep(10);
    }
}

bool KeyboardLines::readKeys(int ms) {
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    DWORD wait = WaitForSingleObject(h, static_cast<DWORD>(ms));
    if (wait == WAIT_TIMEOUT) return true;
    if (wait != WAIT_OBJECT_0) return false;
    DWORD count = 0;
    while (GetNumberOfConsoleInputEvents(h, &count) && count > 0) {
        INPUT_RECORD r;
        DWORD got = 0;
        if (!ReadConsoleInputW(h, &r, 1, &got) || got == 0) break;
        if (r.EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
        char16_t unit = static_cast<char16_t>(k.uChar.UnicodeChar);
        // A character comes with its key going down; one composed with Alt and the number pad comes
        // as Alt is let go.
        if (unit == 0 || !(k.bKeyDown || k.wVirtualKeyCode == VK_MENU)) continue;
        typed_.append(k.bKeyDown && k.wRepeatCount > 1 ? k.wRepeatCount : 1, unit);
    }
    return true;
}

#else

bool KeyboardLines::inputReady(int ms) {
    pollfd p{0, POLLIN, 0};
    int r = poll(&p, 1, ms);
    return r > 0 || (r < 0 && errno != EINTR);
}

bool KeyboardLines::readKeys(int ms) {
    if (!inputReady(ms)) return true;
    char buf[256];
    ssize_t n = read(0, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) return false;
    keysFromTerminal(buf, static_cast<std::size_t>(n));
    return true;
}

void KeyboardLines::keysFromTerminal(const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (escape_ == 1) {
            escape_ = b == '[' || b == 'O' ? 2 : 0;
            continue;
        }
        if (escape_ == 2) {
            if (b >= 0x40 && b <= 0x7e) escape_ = 0;
            continue;
        }
        if (b == 0x1b) {
            pendingBytes_.clear();
            escape_ = 1;
            continue;
        }
        // A byte that cannot go on the character begun drops it and starts afresh.
        if (!pendingBytes_.empty() && (b & 0xc0) != 0x80) pendingBytes_.clear();
        if (pendingBytes_.empty() && (b & 0xc0) == 0x80) continue;
        pendingBytes_ += static_cast<char>(b);
        unsigned char lead = static_cast<unsigned char>(pendingBytes_[0]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xc2 && lead < 0xe0 ? 2 : lead >= 0xe0 && lead < 0xf0 ? 3
                                                                                 : lead >= 0xf0 && lead < 0xf5 ? 4
                                                                                                               : 0;
        if (length == 0) {
            pendingBytes_.clear();
            continue;
        }
        if (pendingBytes_.size() < length) continue;
        char32_t c = length == 1 ? lead : lead & (0x7f >> length);
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(pendingBytes_[k]) & 0x3f);
        pendingBytes_.clear();
        if (c == 0x7f) c = '\b';
        if (c >= 0x10000) {
            typed_ += static_cast<char16_t>(0xd800 + ((c - 0x10000) >> 10));
            typed_ += static_cast<char16_t>(0xdc00 + ((c - 0x10000) & 0x3ff));
        } else {
            typed_ += static_cast<char16_t>(c);
        }
    }
}

#endif

} // namespace kvr

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
#include <poll.h>
#endif

namespace kvr {

namespace {

constexpr char32_t CTRL_Z = 0x1a;

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

KeyboardLines::KeyboardLines(std::function<void(const std::string&)> echo) : echo_(std::move(echo)) {
#ifdef _WIN32
    DWORD mode = 0;
    console_ = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#endif
}

KeyboardLines::Status KeyboardLines::next(std::string& line, int ms) {
    if (ended_) return end(line);
    if (takeBuffered(line)) return Line;
#ifdef _WIN32
    if (console_) return consoleLine(line, ms);
#endif
    if (!inputReady(ms)) return Waiting;
    // Input is there or has ended, so this read does not block.
    if (std::char_traits<char>::eq_int_type(std::cin.rdbuf()->sgetc(), std::char_traits<char>::eof())) {
        ended_ = true;
        return end(line);
    }
    return takeBuffered(line) ? Line : Waiting;
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

KeyboardLines::Status KeyboardLines::consoleLine(std::string& line, int ms) {
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (typed_.empty()) {
        DWORD wait = WaitForSingleObject(h, static_cast<DWORD>(ms));
        if (wait == WAIT_TIMEOUT) return Waiting;
        if (wait != WAIT_OBJECT_0) {
            ended_ = true;
            return end(line);
        }
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
    }
    std::string echo;
    bool done = false;
    std::size_t used = 0;
    while (!done && used < typed_.size()) done = editor_.type(typed_[used++], echo);
    typed_.erase(0, used);
    if (!echo.empty()) echo_(echo);
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

#else

bool KeyboardLines::inputReady(int ms) {
    pollfd p{0, POLLIN, 0};
    int r = poll(&p, 1, ms);
    return r > 0 || (r < 0 && errno != EINTR);
}

#endif

} // namespace kvr

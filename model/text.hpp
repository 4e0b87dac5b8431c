// Byte-counted field padding. Widths count bytes of the text as written (UTF-8 and escapes included),
// and nothing here touches the stream's own adjustment flags.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace kvr {

// Left-justified: pads on the right up to `width` bytes.
inline std::string padRight(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// Right-justified: pads on the left up to `width` bytes.
inline std::string padLeft(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

// Reads a base-10 number the way the standard string-to-number conversions do: leading blanks skipped,
// trailing text ignored; no digits or a value outside long long fails. `used`, when given, receives the
// count of characters read.
inline bool parseLeadingNumber(const std::string& s, long long& out, std::size_t* used = nullptr) {
    const char* begin = s.c_str();
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(begin, &end, 10);
    if (used) *used = static_cast<std::size_t>(end - begin);
    return end != begin && errno != ERANGE;
}

// The same for an int: a value outside int fails.
inline bool parseLeadingInt(const std::string& s, int& out, std::size_t* used = nullptr) {
    long long v = 0;
    if (!parseLeadingNumber(s, v, used) || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

// Without leading and trailing spaces, tabs, carriage returns and line feeds.
inline std::string trimmed(const std::string& s) {
    const char* blanks = " \t\r\n";
    std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

} // namespace kvr

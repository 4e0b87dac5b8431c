#include "console/win_console.hpp"

#ifdef _WIN32
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <mutex>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace kvr {

namespace {

// An escape sequence still open after this many bytes is not one: it is written as it is.
constexpr std::size_t LONGEST_ESCAPE = 32;

// Where `s` must be cut so that an escape sequence starting at its last ESC stays whole.
std::size_t escapeCut(const std::string& s) {
    std::size_t esc = s.rfind('\x1b');
    if (esc == std::string::npos || s.size() - esc > LONGEST_ESCAPE) return s.size();
    if (esc + 1 == s.size()) return esc;
    if (s[esc + 1] != '[') return s.size();
    for (std::size_t i = esc + 2; i < s.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b >= 0x40 && b <= 0x7e) return s.size();
    }
    return esc;
}

} // namespace

std::size_t completeConsolePrefix(const std::string& s) {
    std::size_t end = escapeCut(s);
    // Step back over continuation bytes to the lead byte of the last character.
    std::size_t lead = end;
    while (lead > 0 && end - lead < 4 && (static_cast<unsigned char>(s[lead - 1]) & 0xc0) == 0x80) --lead;
    if (lead == 0) return end;
    unsigned char b = static_cast<unsigned char>(s[lead - 1]);
    std::size_t want = b >= 0xf8 ? 1 : b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc0 ? 2 : 1;
    // A stray continuation byte or an invalid lead is not held back: nothing would complete it.
    if (want == 1 || end - (lead - 1) >= want) return end;
    return lead - 1;
}

#ifdef _WIN32

namespace {

// Output chunks are written once this much is pending, and at every flush.
constexpr std::size_t CHUNK = 4096;

// No put area: every write reaches xsputn or overflow, which take the lock, so the LAN client's
// receiver thread and the main thread's flushes cannot tear the pending text.
class HandleOutputBuf : public std::streambuf {
  public:
    explicit HandleOutputBuf(HANDLE h) : handle_(h) {
        DWORD mode = 0;
        console_ = GetConsoleMode(h, &mode) != 0;
    }

  protected:
    int sync() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return writePending() ? 0 : -1;
    }

    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.append(s, static_cast<std::size_t>(n));
        if (pending_.size() >= CHUNK && !writePending()) return 0;
        return n;
    }

    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }

  private:
    // A console gets the complete characters and escapes as one wide write; the rest stays pending.
    bool writePending() {
        if (!console_) {
            bool ok = writeBytes(pending_.data(), pending_.size());
            pending_.clear();
            return ok;
        }
        std::size_t n = completeConsolePrefix(pending_);
        if (n == 0) return true;
        int bytes = static_cast<int>(n);
        int units = MultiByteToWideChar(CP_UTF8, 0, pending_.data(), bytes, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, pending_.data(), bytes, &wide[0], units);
        pending_.erase(0, n);
        const wchar_t* p = wide.data();
        DWORD left = static_cast<DWORD>(wide.size());
        while (left > 0) {
            DWORD done = 0;
            if (!WriteConsoleW(handle_, p, left, &done, nullptr) || done == 0) return false;
            p += done;
            left -= done;
        }
        return true;
    }

    bool writeBytes(const char* p, std::size_t n) {
        while (n > 0) {
            DWORD done = 0;
            DWORD part = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 20));
            if (!WriteFile(handle_, p, part, &done, nullptr) || done == 0) return false;
            p += done;
            n -= done;
        }
        return true;
    }

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
    std::mutex mutex_;
};

void installOn(std::ostream& os, DWORD which, std::FILE* cfile) {
    HANDLE h = GetStdHandle(which);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return;
    // Anything written through the C runtime reaches a file or pipe untranslated too.
    DWORD mode = 0;
    if (!GetConsoleMode(h, &mode)) _setmode(_fileno(cfile), _O_BINARY);
    os.flush();
    os.rdbuf(newHandleOutput(h));
}

} // namespace

std::streambuf* newHandleOutput(void* handle) { return new HandleOutputBuf(static_cast<HANDLE>(handle)); }

// The buffers are never freed: the standard streams are flushed at exit, when other statics may be gone.
void installConsoleOutput() {
    installOn(std::cout, STD_OUTPUT_HANDLE, stdout);
    installOn(std::cerr, STD_ERROR_HANDLE, stderr);
}

#else

void installConsoleOutput() {}

#endif

} // namespace kvr

#include "console/console_io.hpp"

#include <iostream>
#include <string>

namespace kvr {

namespace {

// An unfinished line longer than this is no prompt worth drawing again.
constexpr std::size_t MAX_OPEN_LINE = 1024;

} // namespace

void ConsoleIo::write(std::string_view text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::size_t end = text.rfind('\n');
    if (end != std::string_view::npos) {
        text.remove_prefix(end + 1);
        openLine_.clear();
        openLineKept_ = true;
    }
    openLineKept_ = openLineKept_ && openLine_.size() + text.size() <= MAX_OPEN_LINE;
    if (openLineKept_) openLine_.append(text.data(), text.size());
}

void ConsoleIo::showAll(std::string_view text) { write(text); }

void ConsoleIo::show(int, std::string_view text) { write(text); }

void ConsoleIo::interject(std::string_view text) {
    bool open = !openLine_.empty() || !openLineKept_;
    if (open) out_ << "\n";
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (openLineKept_) out_.write(openLine_.data(), static_cast<std::streamsize>(openLine_.size()));
    out_.flush();
}

// The prompt is on the screen before the read waits.
Answer ConsoleIo::ask(int, std::string& line) {
    out_.flush();
    return std::getline(in_, line) ? Answer::Line : Answer::Closed;
}

void ConsoleIo::flush() { out_.flush(); }

Answer ConsoleIo::readLine(std::string& line) {
    return std::getline(in_, line) ? Answer::Line : Answer::Closed;
}

bool ConsoleIo::flushOnRead(bool on) { return in_.tie(on ? &out_ : nullptr) != nullptr; }

ConsoleIo& standardConsole() {
    static ConsoleIo console(std::cin, std::cout);
    return console;
}

} // namespace kvr

#include "console/console_io.hpp"

#include <iostream>
#include <string>

namespace kvr {

void ConsoleIo::showAll(std::string_view text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void ConsoleIo::show(int, std::string_view text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
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

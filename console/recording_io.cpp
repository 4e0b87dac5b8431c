#include "console/recording_io.hpp"

#include "model/text.hpp"

namespace kvr {

Answer RecordingIo::askFor(int p, const Prompt& prompt, std::string& line) {
    Answer a = inner_.askFor(p, prompt, line);
    if (a == Answer::Line) {
        writer_.answer(p, prompt, trimmed(line));
    } else if (a == Answer::Dropped) {
        writer_.drop(p, prompt);
    } else if (a == Answer::TimedOut) {
        writer_.timeout(p, prompt);
    } else if (!closed_) {
        closed_ = true;
        writer_.closed(p, prompt);
    }
    return a;
}

bool RecordingIo::seatRemote(int player, int p, std::string_view start) {
    if (inner_.seatRemote(player, p, start)) return true;
    if (inner_.hosted() && player >= 0 && player < inner_.remotePlayers()) writer_.gone(p);
    return false;
}

bool RecordingIo::takeBack(int p) {
    long poll = polls_++;
    if (!inner_.takeBack(p)) return false;
    writer_.back(p, poll);
    return true;
}

void RecordingIo::farewell(std::string_view text) {
    writer_.end(text);
    inner_.farewell(text);
}

} // namespace kvr

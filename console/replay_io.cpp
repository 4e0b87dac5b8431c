#include "console/replay_io.hpp"

#include <filesystem>

namespace kvr {

namespace {

const char* const CLEAR_SCREEN = "\x1b[2J\x1b[H";

} // namespace

long resumePoint(const Record& record) {
    for (const RecordEvent& e : record.events) {
        if (e.type == RecordEvent::End) return -1;
        if (e.type == RecordEvent::Closed) return e.offset;
    }
    std::error_code error;
    auto size = std::filesystem::file_size(record.path, error);
    return error ? -1 : static_cast<long>(size);
}

ReplayIo::ReplayIo(const Record& record, std::ostream* out) : record_(record), out_(out) {}

void ReplayIo::goLive(TableIo& live) { liveTable_ = &live; }

// Silent until the game goes live, the text since the last screen clear is kept: the table, the hand
// and the question, as the player last saw them.
void ReplayIo::write(std::string_view text) {
    if (recording_) {
        recording_->show(-1, text);
    } else if (out_) {
        out_->write(text.data(), static_cast<std::streamsize>(text.size()));
    } else if (liveTable_) {
        std::size_t clear = text.rfind(CLEAR_SCREEN);
        if (clear == std::string_view::npos)
            screen_.append(text.data(), text.size());
        else
            screen_.assign(text.data() + clear, text.size() - clear);
    }
}

void ReplayIo::showAll(std::string_view text) { write(text); }

// Private text of a seat played over a connection went to its socket, not to the host's console.
void ReplayIo::show(int p, std::string_view text) {
    if (p >= 0 && p < 6 && remote_[p]) return;
    write(text);
}

// A game that goes live stops before a `closed` line: the player's keyboard is back.
const RecordEvent* ReplayIo::upcoming() {
    while (next_ < record_.events.size() && record_.events[next_].type == RecordEvent::End) ++next_;
    if (next_ >= record_.events.size()) return nullptr;
    const RecordEvent& e = record_.events[next_];
    if (liveTable_ && e.type == RecordEvent::Closed) return nullptr;
    return &e;
}

void ReplayIo::refuse(const RecordEvent& e, const std::string& why) const {
    throw RecordError("记录文件 " + record_.path + " 第" + std::to_string(e.line) + "行：" + why + "。");
}

namespace {

std::string seatName(int p) { return p < 0 ? "控制台" : std::to_string(p + 1) + "号座位"; }

} // namespace

Answer ReplayIo::askFor(int p, const Prompt& prompt, std::string& line) {
    line.clear();
    if (recording_) return recording_->askFor(p, prompt, line);
    bool console = record_.head.game != RecordedGame::Room && (p < 0 || p >= 6 || !remote_[p]);
    if (closed_ && console) return Answer::Closed;
    const RecordEvent* e = upcoming();
    if (!e) {
        if (!record_.damage.empty()) throw RecordError(record_.damage);
        if (liveTable_) {
            startLive();
            return recording_->askFor(p, prompt, line);
        }
        throw RecordStop("记录文件 " + record_.path + " 到第" + std::to_string(record_.lines) + "行为止，共" +
                         std::to_string(next_) + "条；对局停在" + seatName(p) + "的下一个回答前，尚未结束。");
    }
    std::string asked = "对局此时询问" + seatName(p) + "（" + promptText(prompt) + "）";
    if (e->type == RecordEvent::Back) refuse(*e, asked + "，记录却是座位被取回");
    if (e->type == RecordEvent::Gone) refuse(*e, asked + "，记录却是玩家开局前离开");
    if (e->seat != p || !samePrompt(e->prompt, prompt))
        refuse(*e, asked + "，记录却是" + seatName(e->seat) + "（" + promptText(e->prompt) + "）");
    ++next_;
    switch (e->type) {
    case RecordEvent::Drop:
        if (console) refuse(*e, seatName(p) + "不是远程座位，不会断线");
        if (p >= 0 && p < 6) remote_[p] = false;
        return Answer::Dropped;
    case RecordEvent::TimedOut:
        if (console) refuse(*e, seatName(p) + "不是远程座位，不会超时");
        return Answer::TimedOut;
    case RecordEvent::Closed:
        if (!console) refuse(*e, seatName(p) + "是远程座位，不读本机键盘");
        closed_ = true;
        return Answer::Closed;
    default:
        line = e->text;
        return Answer::Line;
    }
}

// A player the record says had left is dealt no seat, as it was not in the game recorded.
bool ReplayIo::seatRemote(int player, int p, std::string_view) {
    if (recording_ || player < 0 || player >= remotePlayers() || p < 0 || p >= 6) return false;
    const RecordEvent* e = upcoming();
    if (e && e->type == RecordEvent::Gone && e->seat == p) {
        ++next_;
        return false;
    }
    remote_[p] = true;
    return true;
}

// The game looks at every decision of a hosted game's seat: the seat comes back at the same look.
bool ReplayIo::takeBack(int p) {
    if (recording_) return recording_->takeBack(p);
    long poll = polls_++;
    const RecordEvent* e = upcoming();
    if (!e || e->type != RecordEvent::Back || e->poll > poll) return false;
    if (e->poll < poll || e->seat != p)
        refuse(*e, "对局第" + std::to_string(poll) + "次查看时是" + seatName(p) + "，记录中的取回与此不符");
    ++next_;
    remote_[p] = true;
    return true;
}

void ReplayIo::seatOut(int p) {
    if (recording_) recording_->seatOut(p);
}

// The hosted table lets every connection go: whatever follows is the host's own.
void ReplayIo::farewell(std::string_view text) {
    if (recording_) {
        recording_->farewell(text);
        return;
    }
    over_ = true;
    for (bool& r : remote_) r = false;
}

void ReplayIo::checkUsedUp() const {
    if (recording_) return;
    std::size_t k = next_;
    while (k < record_.events.size() && record_.events[k].type == RecordEvent::End) ++k;
    if (k < record_.events.size()) {
        const RecordEvent& e = record_.events[k];
        refuse(e, "对局已经结束，记录却还有内容");
    }
    if (!record_.damage.empty()) throw RecordError(record_.damage);
}

// The file is cut before its `closed` line, so the new answers follow the last one read.
void ReplayIo::startLive() {
    long point = resumePoint(record_);
    std::error_code error;
    if (point >= 0) std::filesystem::resize_file(record_.path, static_cast<std::uintmax_t>(point), error);
    if (point < 0 || error || !writer_.append(record_.path))
        throw RecordError("记录文件 " + record_.path + " 无法续写。");
    recording_ = std::make_unique<RecordingIo>(*liveTable_, writer_);
    recording_->show(-1, screen_);
    screen_.clear();
}

} // namespace kvr

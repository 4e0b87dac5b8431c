// The host's door while a game runs: seat codes, players who come back, and spectators. The door has a
// thread of its own, so that a visitor is answered even while the game waits for somebody's answer.
#include <algorithm>
#include <iostream>

#include "console/console_io.hpp"
#include "model/text.hpp"
#include "net/hub.hpp"
#include "net/web_table.hpp"

namespace kvr {

namespace {

// Letters and digits that cannot be mistaken for one another.
const char CODE_ALPHABET[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
constexpr int CODE_LENGTH = 6;
// A spectator that reads nothing is let go once this much waits for it.
constexpr std::size_t MAX_PENDING_OUTPUT = 1 << 20;
// Reads of a visitor's connection in one pass at most: enough to drain a flood and see its end at once,
// little enough that the door's lock is never held for long.
constexpr int READS_A_PASS = 64;
// Told to a connection whose seat a newer connection took back with the same code.
const char TAKEN_ELSEWHERE[] = "[网络] 另一个连接用同一座位码取回了座位，本连接将关闭。\n";

// What a seat code was typed as, as the host keeps it: blanks dropped, letters in upper case.
std::string codeAsKept(const std::string& typed) {
    std::string code;
    for (char ch : typed) {
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') continue;
        code += ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
    }
    return code;
}

} // namespace

bool sameCode(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        diff = static_cast<unsigned char>(diff | (static_cast<unsigned char>(a[k]) ^ static_cast<unsigned char>(b[k])));
    return diff == 0;
}

void LanHub::openDoor() {
    if (doorOpen_.load() || !socketValid(listener_)) return;
    doorOpen_.store(true);
    door_ = std::thread(&LanHub::doorLoop, this);
}

std::string LanHub::seatPlayer(int p, SocketHandle s) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t seat = static_cast<std::size_t>(p);
    seats_[seat] = s;
    if (!codes_[seat].empty()) return codes_[seat];
    // Each code is a draw of its own: no code tells anything of another. 32 letters divide 256, so each
    // byte gives one letter, every letter as likely as the next.
    for (;;) {
        unsigned char bytes[CODE_LENGTH];
        random_(bytes, sizeof bytes);
        std::string code;
        for (unsigned char b : bytes) code += CODE_ALPHABET[b % 32];
        if (seatWithCode(code) < 0) {
            codes_[seat] = code;
            return code;
        }
    }
}

SocketHandle LanHub::seatSocket(int p) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return p >= 0 && p < 6 ? seats_[static_cast<std::size_t>(p)] : INVALID_NET_SOCKET;
}

void LanHub::unseat(int p) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (p >= 0 && p < 6) seats_[static_cast<std::size_t>(p)] = INVALID_NET_SOCKET;
}

// The waiting player leaves the door: its connection blocks again as a seat's does, gets what still
// waited to be sent, and a line it had begun typing is the start of its first answer.
bool LanHub::takeReturned(int p) {
    Visitor back;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(visitors_.begin(), visitors_.end(),
                               [p](const Visitor& v) { return v.seat == p && socketValid(v.s); });
        if (it == visitors_.end()) {
            if (!web_ || !web_->takeReturned(p)) return false;
            seats_[static_cast<std::size_t>(p)] = INVALID_NET_SOCKET;
            return true;
        }
        back = *it;
        visitors_.erase(it);
        seats_[static_cast<std::size_t>(p)] = back.s;
    }
    setSocketBlocking(back.s, true);
    inboxes_[back.s] = Inbox{back.in, false};
    sendTo(back.s, back.out);
    returners_.push_back(back.s);
    return true;
}

void LanHub::seatOut(int p) {
    if (p < 0 || p >= 6) return;
    std::lock_guard<std::mutex> lock(mutex_);
    out_[static_cast<std::size_t>(p)] = true;
    if (web_) webSpectators_ += web_->seatOut(p);
    for (Visitor& v : visitors_) {
        if (v.seat != p) continue;
        v.seat = -1;
        v.out += "[网络] 你的座位已经出局，现在转为观战。\n";
        flush(v);
    }
}

int LanHub::spectatorCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return spectatorsLocked();
}

// Every connection gets its end together, so that none waits while another drains.
void LanHub::closeAll(std::string_view text, int ms) {
    if (doorOpen_.exchange(false)) door_.join();
    std::vector<SocketHandle> ends;
    for (SocketHandle s : clients_) {
        sendTo(s, text);
        ends.push_back(s);
    }
    for (SocketHandle s : returners_) {
        sendTo(s, text);
        ends.push_back(s);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Visitor& v : visitors_) {
            if (v.watching) v.out.append(text.data(), text.size());
            flush(v);
            ends.push_back(v.s);
        }
        visitors_.clear();
        seats_.fill(INVALID_NET_SOCKET);
    }
    clients_.clear();
    returners_.clear();
    closeGracefully(ends, ms);
    closeSocket(listener_);
    listener_ = INVALID_NET_SOCKET;
}

void LanHub::doorLoop() {
    while (doorOpen_.load()) {
        for (SocketHandle s = acceptClient(listener_); socketValid(s); s = acceptClient(listener_)) greet(s);
        std::vector<SocketHandle> supplanted;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (Visitor& v : visitors_)
                if (!serve(v)) closeVisitor(v);
            visitors_.erase(std::remove_if(visitors_.begin(), visitors_.end(),
                                           [](const Visitor& v) { return !socketValid(v.s); }),
                            visitors_.end());
            supplanted.swap(supplanted_);
        }
        for (SocketHandle s : supplanted) {
            {
                std::lock_guard<std::mutex> lock(sendLock_);
                sendSocketText(s, TAKEN_ELSEWHERE);
            }
            shutdownSocket(s);
        }
        sleepMilliseconds(50);
    }
}

// A flood of connections costs at most a few sockets: beyond the spectators' seats and a few visitors
// still deciding, a newcomer is told the room is full.
void LanHub::greet(SocketHandle s) {
    std::lock_guard<std::mutex> lock(mutex_);
    setSocketBlocking(s, false);
    Visitor v;
    v.s = s;
    v.deadline = Clock::now() + std::chrono::milliseconds(CODE_WAIT_MS);
    v.nextTry = Clock::now() + std::chrono::milliseconds(CODE_TRY_MS);
    if (static_cast<int>(visitors_.size()) >= MAX_SPECTATORS + 4) {
        v.out = "[观战] 观战席已满（最多8人），连接将关闭。\n";
        flush(v);
        closeSocket(s);
        return;
    }
    v.out = "[大厅] 对局已经开始。断线的玩家请输入座位码取回座位；直接按 Enter 或稍候即可观战。\n";
    flush(v);
    visitors_.push_back(v);
}

// A few reads a pass at most, so that a visitor who floods the door cannot hold it (and the game, which
// shares its lock), yet one who floods and leaves is gone within a pass or two. More than a line's worth
// waiting is no code, and is dropped as it comes. Lines wait in `in` for their turn. Lines typed while
// waiting for a seat answer nothing: the player has not seen its question yet.
bool LanHub::serve(Visitor& v) {
    char buf[MAX_LINE_BYTES];
    bool flooded = false;
    for (int k = 0; k < READS_A_PASS && socketValid(v.s) && waitReadable(v.s, 0); ++k) {
        long got = receiveSome(v.s, buf, sizeof buf);
        if (got <= 0) return false;
        v.in.append(buf, static_cast<std::size_t>(got));
        if (v.in.size() > MAX_LINE_BYTES) {
            v.in.clear();
            flooded = true;
        }
    }
    // More than a line's worth waiting is no code: whatever it was meant to be, the visitor watches.
    if (flooded && !v.watching) watch(v, "[网络] 座位码不对。\n");
    std::size_t end = v.in.find('\n');
    if (v.seat < 0 && end != std::string::npos && Clock::now() >= v.nextTry) {
        std::string line = v.in.substr(0, end);
        v.in.erase(0, end + 1);
        v.nextTry = Clock::now() + std::chrono::milliseconds(CODE_TRY_MS);
        lineFrom(v, line);
    }
    if (v.seat >= 0 && v.in.find('\n') != std::string::npos) v.in.erase(0, v.in.rfind('\n') + 1);
    if (!socketValid(v.s)) return true;
    if (!v.watching && Clock::now() >= v.deadline) watch(v, nullptr);
    return socketValid(v.s) && flush(v);
}

// A right code makes the visitor wait for its seat, watching meanwhile; the seat's connection, if it
// still has one, is shut so that a game waiting on it goes on at once. An earlier visitor waiting for the
// same seat is let go. A seat that is out takes nobody back.
void LanHub::lineFrom(Visitor& v, const std::string& line) {
    int seat = claimLocked(line, v.seat, &v);
    if (seat == -2) {
        if (!v.watching) watch(v, "[网络] 该座位已经出局，你可以观战。\n");
        return;
    }
    if (seat < 0) {
        if (!v.watching) watch(v, codeAsKept(line).empty() ? nullptr : "[网络] 座位码不对。\n");
        return;
    }
    if (seat == v.seat) return;
    bool spectator = v.watching && v.seat < 0;
    v.watching = true;
    v.seat = seat;
    v.out +=
        "[网络] 座位码正确：轮到" + std::to_string(seat + 1) + "号座位决定时交还给你，在此之前由AI代打。\n";
    if (spectator) notice("[观战] 有观众离开，现有" + std::to_string(spectatorsLocked()) + "人。\n");
}

// The one way a seat code takes a seat, for the line door and for browsers alike. A claimant that
// already waits for that seat (it typed its code again) keeps its place; any other claimant takes the
// seat from whoever held it or waited for it.
int LanHub::claimLocked(const std::string& typed, int waitingFor, const Visitor* claimant) {
    std::string code = codeAsKept(typed);
    int seat = code.empty() ? -1 : seatWithCode(code);
    if (seat < 0) return -1;
    if (out_[static_cast<std::size_t>(seat)]) return -2;
    if (seat != waitingFor) yieldSeat(seat, claimant);
    return seat;
}

void LanHub::yieldSeat(int seat, const Visitor* claimant) {
    for (Visitor& other : visitors_) {
        if (&other == claimant || other.seat != seat) continue;
        other.out += TAKEN_ELSEWHERE;
        flush(other);
        closeSocket(other.s);
        other.s = INVALID_NET_SOCKET;
    }
    // The seat's connection may still be alive (a phone that changed networks leaves one half-open): the
    // newer connection wins, and the older one is told why it ends.
    std::size_t p = static_cast<std::size_t>(seat);
    bool held = web_ && web_->holds(seat);
    if (socketValid(seats_[p]) &&
        std::find(supplanted_.begin(), supplanted_.end(), seats_[p]) == supplanted_.end()) {
        supplanted_.push_back(seats_[p]);
        held = true;
    }
    if (held)
        notice("[网络] " + std::to_string(seat + 1) + "号座位的座位码在新连接上输入：座位交给新连接，原连接已断开。\n");
    if (web_) web_->seatClaimed(seat);
}

int LanHub::claimSeat(const std::string& code, int waitingFor) {
    std::lock_guard<std::mutex> lock(mutex_);
    return claimLocked(code, waitingFor, nullptr);
}

bool LanHub::takeSpectatorPlace() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spectatorsLocked() >= MAX_SPECTATORS) return false;
    ++webSpectators_;
    notice("[观战] 有观众加入，现有" + std::to_string(spectatorsLocked()) + "人。\n");
    return true;
}

void LanHub::leaveSpectatorPlace() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (webSpectators_ > 0) --webSpectators_;
    notice("[观战] 有观众离开，现有" + std::to_string(spectatorsLocked()) + "人。\n");
}

void LanHub::watch(Visitor& v, const char* why) {
    if (why) v.out += why;
    if (spectatorsLocked() >= MAX_SPECTATORS) {
        v.out += "[观战] 观战席已满（最多8人），连接将关闭。\n";
        flush(v);
        closeSocket(v.s);
        v.s = INVALID_NET_SOCKET;
        return;
    }
    v.watching = true;
    v.out += "[观战] 你正在观战：此后的公开信息都会显示在这里。输入座位码仍可取回座位。\n";
    notice("[观战] 有观众加入，现有" + std::to_string(spectatorsLocked()) + "人。\n");
}

void LanHub::noticesTo(ConsoleIo* console) {
    std::lock_guard<std::mutex> lock(consoleLock_);
    console_ = console;
}

void LanHub::notice(const std::string& text) {
    std::lock_guard<std::mutex> lock(consoleLock_);
    if (console_)
        console_->interject(text);
    else
        std::cout << text << std::flush;
}

// Sends what it can without waiting; false when the connection failed or the visitor reads nothing.
bool LanHub::flush(Visitor& v) {
    while (socketValid(v.s) && !v.out.empty()) {
        long sent = sendSome(v.s, v.out.data(), v.out.size());
        if (sent < 0) return false;
        if (sent == 0) break;
        v.out.erase(0, static_cast<std::size_t>(sent));
    }
    return v.out.size() < MAX_PENDING_OUTPUT;
}

void LanHub::closeVisitor(Visitor& v) {
    if (!socketValid(v.s)) return;
    closeSocket(v.s);
    v.s = INVALID_NET_SOCKET;
    if (v.watching && v.seat < 0)
        notice("[观战] 有观众离开，现有" + std::to_string(spectatorsLocked()) + "人。\n");
}

// Every seat's code is compared, in full: the time taken tells nothing of how near a guess came.
int LanHub::seatWithCode(const std::string& code) const {
    int found = -1;
    for (std::size_t p = 0; p < codes_.size(); ++p)
        if (!codes_[p].empty() && sameCode(codes_[p], code)) found = static_cast<int>(p);
    return found;
}

int LanHub::spectatorsLocked() const {
    return webSpectators_ +
           static_cast<int>(std::count_if(visitors_.begin(), visitors_.end(), [](const Visitor& v) {
               return v.watching && v.seat < 0 && socketValid(v.s);
           }));
}

} // namespace kvr

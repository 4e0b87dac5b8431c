#include "net/web_table.hpp"

#include <fstream>
#include <iterator>

#include "net/hub.hpp"

namespace kvr {

namespace {

// The whole file, if it can be read and is not too large to send.
bool readRecord(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() > static_cast<std::streamoff>(MAX_RECORD_BYTES)) return false;
    in.seekg(0);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && !out.empty() && out.size() <= MAX_RECORD_BYTES;
}

} // namespace

WebTable::WebTable(LanHub& hub) : hub_(hub) {
    seats_.fill(-1);
    roles_.fill(-1);
}

WebTable::Link* WebTable::find(int id) {
    auto it = links_.find(id);
    return it == links_.end() ? nullptr : &it->second;
}

void WebTable::wake() {
    if (wake_) wake_();
}

// A browser whose backlog is full reads nothing: it is let go, and a question waiting on it ends.
void WebTable::push(Link& l, std::string message, std::size_t limit) {
    if (l.closing) return;
    if (l.outBytes + message.size() > limit) {
        l.out.clear();
        l.outBytes = 0;
        close(l);
        return;
    }
    l.outBytes += message.size();
    l.out.push_back(std::move(message));
}

// What waits is still sent; then the connection ends.
void WebTable::close(Link& l) {
    l.closing = true;
    answered_.notify_all();
}

int WebTable::connect(const std::string& from) {
    std::lock_guard<std::mutex> lock(mutex_);
    int id = nextId_++;
    Link& l = links_[id];
    l.from = from;
    l.nextTry = Clock::now();
    return id;
}

// A page's first code, the one it kept, is tried at once when its address has tried none in the last
// second: a reload is back without waiting, a guesser still gets one guess a second.
bool WebTable::codeDue(Link& l, Clock::time_point now) {
    auto it = nextTryFrom_.find(l.from);
    if (now < l.nextTry || (it != nextTryFrom_.end() && now < it->second)) return false;
    l.nextTry = now + std::chrono::milliseconds(CODE_TRY_MS);
    nextTryFrom_[l.from] = l.nextTry;
    return true;
}

WebTable::Received WebTable::receive(int id, const BrowserMessage& m) {
    std::unique_lock<std::mutex> lock(mutex_);
    Link* l = find(id);
    if (!l || l->closing) return Received::Taken;
    switch (m.type) {
    case BrowserMessage::Hello:
        if (l->place != Place::Hello) return Received::Refused;
        helloLocked(id, *l, m.code, lock);
        return Received::Taken;
    case BrowserMessage::Code:
        // Tried at the next tick that the throttle allows; a newer code replaces one not yet tried.
        if (l->place == Place::Hello) return Received::Refused;
        if (l->place == Place::Deciding || l->place == Place::Waiting || l->place == Place::Watching)
            l->code = m.code;
        return Received::Taken;
    case BrowserMessage::Answer: {
        if ((l->place != Place::Seat && l->place != Place::Host) || m.question > l->question)
            return Received::Refused;
        if (m.question < l->question || l->answered) return Received::Taken;
        std::string line;
        // What the console could not have read is refused as the console refuses it, and asked again.
        if (!answerLine(m, l->prompt, line)) {
            push(*l, textMessage("输入无效。\n", false));
            push(*l, l->askText);
            wake();
            return Received::Taken;
        }
        l->answer = line;
        l->answered = true;
        answered_.notify_all();
        return Received::Answered;
    }
    default:
        return Received::Refused;
    }
}

void WebTable::helloLocked(int id, Link& l, const std::string& code, std::unique_lock<std::mutex>& lock) {
    if (ended_) {
        l.place = Place::Watching;
        if (!lastPublicView_.empty()) push(l, lastPublicView_);
        sendLog(l);
        push(l, endMessage(endText_, recordSent_, -1));
        if (recordSent_) push(l, record_, MAX_BROWSER_BACKLOG + MAX_RECORD_BYTES);
        close(l);
        wake();
        return;
    }
    std::string claimed = code;
    if (!hostCode_.empty() && code == hostCode_) {
        // Until the game names the opener's seat, its code holds the host's place; after that it is
        // that seat's code, even when the seat was named while the opener was away.
        if (openerSeat_ < 0) {
            takeHostPlace(id, l);
            return;
        }
        claimed = codes_[static_cast<std::size_t>(openerSeat_)];
    }
    if (!doorOpen_) {
        int inLobby = joinersLocked();
        if (wanted_ >= 0 && lineClients_ + inLobby < wanted_) {
            l.place = Place::Lobby;
            l.ticket = nextJoinTicket();
            push(l, stateMessage("lobby", -1, ""));
            push(l, lobbyMessage(lineClients_ + inLobby + 1, wanted_));
        } else {
            l.place = Place::Pending;
            push(l, stateMessage("waiting", -1, ""));
        }
        wake();
        return;
    }
    if (!claimed.empty()) {
        l.place = Place::Deciding;
        l.code = claimed;
        push(l, stateMessage("deciding", -1, ""));
        wake();
        if (codeDue(l, Clock::now())) {
            l.code.clear();
            tryCode(id, claimed, lock);
        }
        return;
    }
    watch(id, lock);
}

// The opener's code holds the host's place: a reload, or the same code from another page, takes it over
// (the connection that held it is told so), and the page is asked again whether to start. Its state
// carries the code, which the page keeps for its next reload.
void WebTable::takeHostPlace(int id, Link& l) {
    Link* old = find(host_);
    if (old && old != &l) {
        push(*old, stateMessage("replaced", -1, ""));
        close(*old);
    }
    l.place = Place::Host;
    host_ = id;
    startQuestion_ = 0;
    push(l, stateMessage("lobby", -1, hostCode_));
    if (!doorOpen_ && wanted_ >= 0) push(l, lobbyMessage(lineClients_ + joinersLocked(), wanted_));
    wake();
}

int WebTable::joinersLocked() const {
    int inLobby = 0;
    for (const auto& [other, link] : links_) inLobby += link.place == Place::Lobby;
    return inLobby;
}

// A spectator's place is the hub's to give: line and browser spectators share the eight.
void WebTable::watch(int id, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    bool placed = hub_.takeSpectatorPlace();
    lock.lock();
    Link* l = find(id);
    if (!l || l->closing) {
        if (placed) {
            lock.unlock();
            hub_.leaveSpectatorPlace();
            lock.lock();
        }
        return;
    }
    l->placed = placed;
    if (!placed) {
        push(*l, textMessage("[观战] 观战席已满（最多8人），连接将关闭。\n", true));
        push(*l, stateMessage("full", -1, ""));
        close(*l);
    } else {
        l->place = Place::Watching;
        l->seat = -1;
        push(*l, stateMessage("watching", -1, ""));
        if (!lastPublicView_.empty()) push(*l, lastPublicView_);
        l->lastView = lastPublicView_;
        sendLog(*l);
    }
    wake();
}

// Once per connection: a browser that already had the log has every line since by its text messages.
void WebTable::sendLog(Link& l) {
    if (l.logSent || publicLog_.empty()) return;
    l.logSent = true;
    push(l, logMessage(publicLog_));
}

int WebTable::wonBy(const Link& l) const {
    if (l.place != Place::Seat && l.place != Place::Waiting) return -1;
    if (l.seat < 0 || l.seat >= 6 || roles_[static_cast<std::size_t>(l.seat)] < 0) return -1;
    return seatWon(mode_, static_cast<Role>(roles_[static_cast<std::size_t>(l.seat)]), endText_) ? 1 : 0;
}

void WebTable::disconnect(int id) {
    bool placed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Link* l = find(id);
        if (!l) return;
        placed = l->placed;
        links_.erase(id);
        answered_.notify_all();
    }
    if (placed) hub_.leaveSpectatorPlace();
}

bool WebTable::take(int id, std::vector<std::string>& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    Link* l = find(id);
    if (!l) return true;
    for (std::string& m : l->out) out.push_back(std::move(m));
    l->out.clear();
    l->outBytes = 0;
    return l->closing;
}

void WebTable::tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!doorOpen_ || ended_) return;
    auto now = Clock::now();
    for (auto it = nextTryFrom_.begin(); it != nextTryFrom_.end();)
        it = it->second <= now ? nextTryFrom_.erase(it) : std::next(it);
    std::vector<std::pair<int, std::string>> due;
    for (auto& [id, l] : links_) {
        if (l.code.empty() || l.closing || !codeDue(l, now)) continue;
        due.emplace_back(id, l.code);
        l.code.clear();
    }
    for (auto& [id, code] : due) tryCode(id, code, lock);
}

// As at the door: a right code makes the browser wait for its seat, watching meanwhile; the seat's
// connection and earlier claimants are let go by the hub. A wrong code, or one of a seat that is out,
// leaves the browser watching.
// As at the door, and through the same claim: a right code makes the browser wait for its seat,
// watching meanwhile; the seat's connection and earlier claimants are let go by the hub. The code of the
// seat it already waits for keeps its place. A wrong code, or one of a seat that is out, leaves the
// browser watching.
void WebTable::tryCode(int id, const std::string& code, std::unique_lock<std::mutex>& lock) {
    Link* l = find(id);
    if (!l || l->closing) return;
    int waitingFor = l->place == Place::Waiting ? l->seat : -1;
    lock.unlock();
    int seat = hub_.claimSeat(code, waitingFor);
    lock.lock();
    l = find(id);
    if (!l || l->closing) return;
    if (seat >= 0 && seat == waitingFor) return;
    if (seat < 0) {
        push(*l, textMessage(seat == -2 ? "[网络] 该座位已经出局，你可以观战。\n" : "[网络] 座位码不对。\n",
                             false));
        push(*l, badCodeMessage());
        if (l->place == Place::Deciding) watch(id, lock);
        wake();
        return;
    }
    bool spectator = l->placed;
    l->placed = false;
    l->place = Place::Waiting;
    l->seat = seat;
    push(*l, textMessage("[网络] 座位码正确：轮到" + std::to_string(seat + 1) +
                             "号座位决定时交还给你，在此之前由AI代打。\n",
                         false));
    push(*l, stateMessage("waiting", seat, codes_[static_cast<std::size_t>(seat)]));
    if (!lastPublicView_.empty() && l->lastView != lastPublicView_) push(*l, lastPublicView_);
    l->lastView = lastPublicView_;
    sendLog(*l);
    wake();
    if (spectator) {
        lock.unlock();
        hub_.leaveSpectatorPlace();
        lock.lock();
    }
}

void WebTable::lobby(int lineClients, int wanted) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lineClients == lineClients_ && wanted == wanted_) return;
    lineClients_ = lineClients;
    wanted_ = wanted;
    int inLobby = 0;
    for (auto& [id, l] : links_) inLobby += l.place == Place::Lobby;
    for (auto& [id, l] : links_) {
        if (l.place == Place::Pending && !l.closing && lineClients_ + inLobby < wanted_) {
            l.place = Place::Lobby;
            l.ticket = nextJoinTicket();
            ++inLobby;
            push(l, stateMessage("lobby", -1, ""));
        }
    }
    for (auto& [id, l] : links_)
        if (l.place == Place::Lobby || l.place == Place::Host) push(l, lobbyMessage(lineClients_ + inLobby, wanted_));
    wake();
}

std::vector<std::pair<long, int>> WebTable::lobbyJoiners() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::pair<long, int>> out;
    for (const auto& [id, l] : links_)
        if (l.place == Place::Lobby) out.emplace_back(l.ticket, id);
    return out;
}

// Browsers that found the lobby full watch the game.
void WebTable::openDoor() {
    std::unique_lock<std::mutex> lock(mutex_);
    doorOpen_ = true;
    // The table filled and starts by itself: the opener's offer to start is put away unanswered.
    Link* host = find(host_);
    if (host && startQuestion_ != 0 && host->question == startQuestion_ && !host->answered) {
        host->answered = true;
        push(*host, expiredMessage(startQuestion_));
    }
    std::vector<int> pending;
    for (auto& [id, l] : links_)
        if (l.place == Place::Pending) pending.push_back(id);
    for (int id : pending) watch(id, lock);
}

bool WebTable::present(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = links_.find(id);
    return it != links_.end() && !it->second.closing;
}

void WebTable::seat(int id, int p, std::string_view start, const std::string& code) {
    std::lock_guard<std::mutex> lock(mutex_);
    seatLocked(id, p, start, code);
}

void WebTable::seatOpener(int p, const std::string& code) {
    std::lock_guard<std::mutex> lock(mutex_);
    openerSeat_ = p;
    seatLocked(host_, p, "", code);
}

void WebTable::seatLocked(int id, int p, std::string_view start, const std::string& code) {
    std::size_t s = static_cast<std::size_t>(p);
    codes_[s] = code;
    // A browser that left just as its seat was dealt holds it all the same: the seat's first question
    // finds it gone and hands the seat to the computer, as for a line client.
    seats_[s] = id;
    Link* l = find(id);
    if (!l) return;
    l->place = Place::Seat;
    l->seat = p;
    push(*l, stateMessage("player", p, code));
    if (!start.empty()) push(*l, textMessage(start, false));
    push(*l,
         textMessage("[开局] 座位码：" + code + "。断线后重新加入本局并输入此码，即可取回座位。\n", false));
    wake();
}

bool WebTable::holds(int p) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return p >= 0 && p < 6 && seats_[static_cast<std::size_t>(p)] >= 0;
}

// Browsers still in the lobby once the seats are dealt found no seat: they watch.
void WebTable::showAll(std::string_view text) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<int> unseated;
    std::string message = textMessage(text, true);
    publicLog_.append(text.data(), text.size());
    if (publicLog_.size() > MAX_PUBLIC_LOG) {
        // Cut at a line's start, and never inside a character: browsers read UTF-8.
        std::size_t cut = publicLog_.find('\n', publicLog_.size() - MAX_PUBLIC_LOG / 2);
        publicLog_.erase(0, cut == std::string::npos ? publicLog_.size() : cut + 1);
    }
    for (auto& [id, l] : links_) {
        if (l.place == Place::Lobby) unseated.push_back(id);
        if (seesPublic(l.place)) push(l, message);
    }
    for (int id : unseated) watch(id, lock);
    wake();
}

void WebTable::show(int p, std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (p < 0 || p >= 6) return;
    std::size_t s = static_cast<std::size_t>(p);
    Link* l = find(seats_[s]);
    if (l) showOn(*l, text);
}

void WebTable::showOn(Link& l, std::string_view text) {
    push(l, textMessage(text, false));
    wake();
}

void WebTable::asking(int p) {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_ = p;
}

bool WebTable::over() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

void WebTable::refresh(const Views& views) {
    std::vector<int> held;
    bool watchers = false;
    int asked = -1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int p = 0; p < 6; ++p)
            if (find(seats_[static_cast<std::size_t>(p)])) held.push_back(p);
        for (const auto& [id, l] : links_)
            watchers = watchers || l.place == Place::Waiting || l.place == Place::Watching;
        asked = asked_;
    }
    SeatView v;
    if (!views(-1, v)) return;
    std::string shared = viewMessage(v, asked);
    std::vector<std::string> seen;
    for (int p : held) seen.push_back(views(p, v) ? viewMessage(v, asked) : shared);
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = v.mode;
    for (std::size_t p = 0; p < 6 && p < v.seats.size(); ++p)
        roles_[p] = v.seats[p].role ? static_cast<int>(*v.seats[p].role) : -1;
    for (std::size_t k = 0; k < held.size(); ++k) {
        Link* l = find(seats_[static_cast<std::size_t>(held[k])]);
        if (!l || l->lastView == seen[k]) continue;
        l->lastView = seen[k];
        push(*l, seen[k]);
    }
    lastPublicView_ = shared;
    for (auto& [id, l] : links_) {
        bool publicOnly = l.place == Place::Waiting || l.place == Place::Watching || l.place == Place::Host;
        if (!publicOnly || l.lastView == shared) continue;
        l.lastView = shared;
        push(l, shared);
    }
    wake();
}

Answer WebTable::ask(int p, const Prompt& prompt, std::string& line, int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::size_t s = static_cast<std::size_t>(p);
    Answer a = askOn(seats_[s], prompt, line, seconds, lock);
    if (a == Answer::Dropped) seats_[s] = -1;
    return a;
}

Answer WebTable::askOn(int id, const Prompt& prompt, std::string& line, int seconds,
                       std::unique_lock<std::mutex>& lock) {
    Link* l = find(id);
    if (!l || l->closing) return Answer::Dropped;
    long question = ++nextQuestion_;
    l->question = question;
    l->prompt = prompt;
    l->prompt.query = nullptr;
    l->answered = false;
    l->askText = askMessage(question, prompt);
    push(*l, l->askText);
    wake();
    auto settled = [this, id, question] {
        Link* x = find(id);
        return !x || x->closing || (x->question == question && x->answered);
    };
    if (seconds <= 0)
        answered_.wait(lock, settled);
    else if (!answered_.wait_for(lock, std::chrono::seconds(seconds), settled)) {
        // An answer that comes after this is to a question the game no longer asks: it is ignored, and
        // the page puts the question away.
        l = find(id);
        if (l) {
            l->answered = true;
            push(*l, expiredMessage(question));
            wake();
        }
        return Answer::TimedOut;
    }
    l = find(id);
    if (!l || l->closing || !l->answered) return Answer::Dropped;
    line = l->answer;
    return Answer::Line;
}

void WebTable::hostCode(const std::string& code) {
    std::lock_guard<std::mutex> lock(mutex_);
    hostCode_ = code;
}

int WebTable::host() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return host_;
}

int WebTable::connected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(links_.size());
}

void WebTable::offerStart(std::string_view text, const Query& question) {
    std::lock_guard<std::mutex> lock(mutex_);
    Link* l = find(host_);
    if (!l || startQuestion_ != 0) return;
    startQuestion_ = ++nextQuestion_;
    l->question = startQuestion_;
    l->prompt = Prompt{PromptKind::Pause, 0, 0};
    l->answered = false;
    push(*l, textMessage(text, false));
    l->askText = askMessage(startQuestion_, Prompt{PromptKind::Pause, 0, 0, &question});
    push(*l, l->askText);
    wake();
}

// A host who left and came back is asked again.
bool WebTable::startWanted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = links_.find(host_);
    return it != links_.end() && it->second.question == startQuestion_ && it->second.answered;
}

void WebTable::showHost(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Link* l = find(host_)) showOn(*l, text);
}

// A page that took the host's place over while it was asked is asked again.
Answer WebTable::askHost(const Prompt& prompt, std::string& line, int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        int asked = host_;
        Answer a = askOn(asked, prompt, line, seconds, lock);
        if (a != Answer::Dropped || host_ == asked) return a;
    }
}

void WebTable::closeWith(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    endText_ = std::string(text);
    for (auto& [id, l] : links_) {
        push(l, textMessage(text, true));
        push(l, endMessage(endText_, false, -1));
        close(l);
    }
    seats_.fill(-1);
    wake();
}

// Every browser is sent the record as the host's file holds it now, its end line written: the page
// keeps it, so that it can be saved after the host has gone.
void WebTable::farewell(std::string_view text) {
    std::string record;
    bool kept = !recordPath_.empty() && readRecord(recordPath_, record);
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    endText_ = std::string(text);
    recordSent_ = kept;
    if (kept) record_ = recordMessage(record);
    std::string shown = textMessage(text, true);
    for (auto& [id, l] : links_) {
        if (seesPublic(l.place)) push(l, shown);
        push(l, endMessage(endText_, kept, wonBy(l)));
        if (kept) push(l, record_, MAX_BROWSER_BACKLOG + MAX_RECORD_BYTES);
        close(l);
    }
    seats_.fill(-1);
    wake();
}

void WebTable::seatClaimed(int p) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, l] : links_) {
        if (l.seat != p || (l.place != Place::Seat && l.place != Place::Waiting)) continue;
        push(l, textMessage("[网络] 另一个连接用同一座位码取回了座位，本连接将关闭。\n", false));
        push(l, stateMessage("replaced", p, ""));
        close(l);
    }
    wake();
}

bool WebTable::takeReturned(int p) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, l] : links_) {
        if (l.place != Place::Waiting || l.seat != p || l.closing) continue;
        std::size_t s = static_cast<std::size_t>(p);
        l.place = Place::Seat;
        seats_[s] = id;
        l.lastView.clear();
        push(l, stateMessage("player", p, codes_[s]));
        wake();
        return true;
    }
    return false;
}

int WebTable::seatOut(int p) {
    std::lock_guard<std::mutex> lock(mutex_);
    int watching = 0;
    for (auto& [id, l] : links_) {
        if (l.place != Place::Waiting || l.seat != p) continue;
        l.place = Place::Watching;
        l.seat = -1;
        l.placed = true;
        push(l, textMessage("[网络] 你的座位已经出局，现在转为观战。\n", false));
        push(l, stateMessage("watching", -1, ""));
        ++watching;
    }
    wake();
    return watching;
}

} // namespace kvr

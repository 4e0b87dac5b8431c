#include "net/hosted_table.hpp"

#include <algorithm>
#include <mutex>

#include "model/game.hpp"
#include "net/hub.hpp"
#include "net/web_table.hpp"

namespace kvr {

void HostedTable::showViewsOf(const Game& game) {
    showViews([&game](int p, SeatView& v) {
        if (game.players().size() != 6) return false;
        v = p < 0 ? game.publicView() : game.viewFor(p);
        return true;
    });
}

// The host's reads must not flush its console unlocked: the lock, not the stream's tie, flushes.
// Line clients and browsers in the lobby become the game's remote players in the order they joined.
HostedTable::HostedTable(LanHub& hub, ConsoleIo& console)
    : hub_(hub), console_(console), web_(hub.web()), tied_(console.flushOnRead(false)) {
    hub_.noticesTo(&console_);
    hub_.openDoor();
    for (SocketHandle s : hub_.clients()) remotes_.push_back(Remote{hub_.ticketOf(s), s, -1});
    if (web_) {
        web_->openDoor();
        for (const auto& [ticket, id] : web_->lobbyJoiners())
            remotes_.push_back(Remote{ticket, INVALID_NET_SOCKET, id});
    }
    std::stable_sort(remotes_.begin(), remotes_.end(),
                     [](const Remote& a, const Remote& b) { return a.ticket < b.ticket; });
    if (remotes_.size() > 5) remotes_.resize(5);
}

HostedTable::~HostedTable() {
    hub_.noticesTo(nullptr);
    console_.flushOnRead(tied_);
}

// The host sees public lines as they happen, even while a remote seat is thinking.
void HostedTable::showAll(std::string_view text) {
    {
        std::lock_guard<std::mutex> lock(hub_.consoleLock());
        console_.showAll(text);
        console_.flush();
    }
    hub_.broadcast(text);
    if (web_) {
        web_->showAll(text);
        refreshViews();
    }
}

// A failed send is ignored: the seat's next read notices the dead connection.
void HostedTable::show(int p, std::string_view text) {
    if (toOpener(p)) {
        web_->showHost(text);
        return;
    }
    if (web_ && web_->holds(p)) {
        web_->show(p, text);
        refreshViews();
        return;
    }
    SocketHandle s = hub_.seatSocket(p);
    if (socketValid(s)) {
        hub_.sendTo(s, text);
        return;
    }
    std::lock_guard<std::mutex> lock(hub_.consoleLock());
    console_.show(p, text);
}

Answer HostedTable::askFor(int p, const Prompt& prompt, std::string& line) {
    if (!web_) return ask(p, line);
    if (toOpener(p)) return web_->askHost(prompt, line, answerSeconds_);
    web_->asking(p);
    refreshViews();
    Answer a = web_->holds(p) ? web_->ask(p, prompt, line, answerSeconds_) : ask(p, line);
    web_->asking(-1);
    refreshViews();
    return a;
}

// A connection that fails while its seat is asked is forgotten: nothing more is sent to it as that seat.
Answer HostedTable::ask(int p, std::string& line) {
    SocketHandle s = hub_.seatSocket(p);
    // A room has nobody at its console: a seat nobody plays from afar is the computer's.
    if (!socketValid(s) && hostSeat_) return Answer::Dropped;
    if (!socketValid(s)) {
        {
            std::lock_guard<std::mutex> lock(hub_.consoleLock());
            console_.flush();
        }
        return console_.readLine(line);
    }
    Answer a = hub_.receiveAnswer(s, line, answerSeconds_);
    if (a == Answer::Dropped) hub_.unseat(p);
    return a;
}

int HostedTable::remotePlayers() const { return static_cast<int>(remotes_.size()); }

// A player who left while the host was still choosing is dealt no seat: its code would reach nobody.
bool HostedTable::seatRemote(int player, int p, std::string_view start) {
    if (player < 0 || player >= remotePlayers()) return false;
    const Remote& r = remotes_[static_cast<std::size_t>(player)];
    if (r.browser >= 0 ? !web_->present(r.browser) : hub_.connectionEnded(r.socket)) return false;
    std::string code = hub_.seatPlayer(p, r.socket);
    if (r.browser >= 0) {
        web_->seat(r.browser, p, start, code);
        return true;
    }
    hub_.sendTo(r.socket, start);
    hub_.sendTo(r.socket, "[开局] 座位码：" + code + "。断线后重新加入本局并输入此码，即可取回座位。\n");
    return true;
}

bool HostedTable::takeBack(int p) { return hub_.takeReturned(p); }

void HostedTable::seatOut(int p) { hub_.seatOut(p); }

// The players learn the result and lose their connections at once, before the host's own end screen waits.
void HostedTable::farewell(std::string_view text) {
    if (web_) {
        refreshViews();
        web_->farewell(text);
    }
    hub_.closeAll(text, 300);
}

bool HostedTable::toOpener(int p) {
    if (!hostSeat_ || !web_ || openerSeated_) return false;
    int seat = hostSeat_();
    if (seat < 0 || p != seat) return p < 0;
    openerSeated_ = true;
    web_->seatOpener(seat, hub_.seatPlayer(seat, INVALID_NET_SOCKET));
    return false;
}

void HostedTable::refreshViews() {
    if (views_) web_->refresh(views_);
}

} // namespace kvr

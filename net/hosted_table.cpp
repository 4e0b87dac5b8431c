#include "net/hosted_table.hpp"

#include <mutex>

#include "net/hub.hpp"

namespace kvr {

// The host's reads must not flush its console unlocked: the lock, not the stream's tie, flushes.
HostedTable::HostedTable(LanHub& hub, ConsoleIo& console)
    : hub_(hub), console_(console), tied_(console.flushOnRead(false)) {
    hub_.noticesTo(&console_);
    hub_.openDoor();
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
}

// A failed send is ignored: the seat's next read notices the dead connection.
void HostedTable::show(int p, std::string_view text) {
    SocketHandle s = hub_.seatSocket(p);
    if (socketValid(s)) {
        hub_.sendTo(s, text);
        return;
    }
    std::lock_guard<std::mutex> lock(hub_.consoleLock());
    console_.show(p, text);
}

// A connection that fails while its seat is asked is forgotten: nothing more is sent to it as that seat.
Answer HostedTable::ask(int p, std::string& line) {
    SocketHandle s = hub_.seatSocket(p);
    if (!socketValid(s)) {
        {
            std::lock_guard<std::mutex> lock(hub_.consoleLock());
            console_.flush();
        }
        return console_.readLine(line);
    }
    if (hub_.receiveLine(s, line)) return Answer::Line;
    hub_.unseat(p);
    return Answer::Dropped;
}

int HostedTable::remotePlayers() const { return static_cast<int>(hub_.clients().size()); }

// A player who left while the host was still choosing is dealt no seat: its code would reach nobody.
bool HostedTable::seatRemote(int player, int p, std::string_view start) {
    if (player < 0 || player >= remotePlayers()) return false;
    SocketHandle s = hub_.clients()[static_cast<std::size_t>(player)];
    if (hub_.connectionEnded(s)) return false;
    std::string code = hub_.seatPlayer(p, s);
    hub_.sendTo(s, start);
    hub_.sendTo(s, "[开局] 座位码：" + code + "。断线后重新加入本局并输入此码，即可取回座位。\n");
    return true;
}

bool HostedTable::takeBack(int p) { return hub_.takeReturned(p); }

void HostedTable::seatOut(int p) { hub_.seatOut(p); }

// The players learn the result and lose their connections at once, before the host's own end screen waits.
void HostedTable::farewell(std::string_view text) { hub_.closeAll(text, 300); }

} // namespace kvr

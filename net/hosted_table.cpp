#include "net/hosted_table.hpp"

#include "net/hub.hpp"

namespace kvr {

HostedTable::HostedTable(LanHub& hub, ConsoleIo& console) : hub_(hub), console_(console) {
    seats_.fill(INVALID_NET_SOCKET);
}

SocketHandle HostedTable::socketOf(int p) const {
    return p >= 0 && p < static_cast<int>(seats_.size()) ? seats_[static_cast<std::size_t>(p)]
                                                         : INVALID_NET_SOCKET;
}

// The host sees public lines as they happen, even while a remote seat is thinking.
void HostedTable::showAll(std::string_view text) {
    console_.showAll(text);
    console_.flush();
    hub_.broadcast(text);
}

// A failed send is ignored: the seat's next read notices the dead connection.
void HostedTable::show(int p, std::string_view text) {
    SocketHandle s = socketOf(p);
    if (socketValid(s))
        hub_.sendTo(s, text);
    else
        console_.show(p, text);
}

// A connection that fails while its seat is asked is forgotten: nothing more is sent to it as that seat.
Answer HostedTable::ask(int p, std::string& line) {
    SocketHandle s = socketOf(p);
    if (!socketValid(s)) return console_.ask(p, line);
    if (hub_.receiveLine(s, line)) return Answer::Line;
    seats_[static_cast<std::size_t>(p)] = INVALID_NET_SOCKET;
    return Answer::Dropped;
}

int HostedTable::remotePlayers() const { return static_cast<int>(hub_.clients().size()); }

void HostedTable::seatRemote(int player, int p) {
    if (player >= 0 && player < remotePlayers())
        bindSeat(p, hub_.clients()[static_cast<std::size_t>(player)]);
}

void HostedTable::bindSeat(int p, SocketHandle s) {
    if (p >= 0 && p < static_cast<int>(seats_.size())) seats_[static_cast<std::size_t>(p)] = s;
}

void HostedTable::farewell(std::string_view text) {
    for (SocketHandle s : hub_.clients()) hub_.sendTo(s, text);
}

} // namespace kvr

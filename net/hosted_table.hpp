// A hosted game's table: a remote seat's private text and answers travel over its own connection,
// public text reaches the host console and every client, and everything else stays on the host console.
#pragma once

#include <array>

#include "console/console_io.hpp"
#include "model/table_io.hpp"
#include "net/socket.hpp"

namespace kvr {

class LanHub;

class HostedTable : public TableIo {
  public:
    HostedTable(LanHub& hub, ConsoleIo& console);

    void showAll(std::string_view text) override;
    void show(int p, std::string_view text) override;
    Answer ask(int p, std::string& line) override;
    bool hosted() const override { return true; }
    int remotePlayers() const override;
    void seatRemote(int player, int p) override;
    void farewell(std::string_view text) override;

    // Seat p is played over connection s from now on.
    void bindSeat(int p, SocketHandle s);

  private:
    SocketHandle socketOf(int p) const;

    LanHub& hub_;
    ConsoleIo& console_;
    std::array<SocketHandle, 6> seats_;
};

} // namespace kvr

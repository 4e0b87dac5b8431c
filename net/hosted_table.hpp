// A hosted game's table: a remote seat's private text and answers travel over its own connection,
// public text reaches the host console and every client, and everything else stays on the host console.
// The hub's door announces visitors on the host console from its own thread, so every write there
// holds the hub's console lock.
#pragma once

#include <cstdint>

#include "console/console_io.hpp"
#include "model/table_io.hpp"

namespace kvr {

class LanHub;

class HostedTable : public TableIo {
  public:
    // Opens the hub's door for the game.
    HostedTable(LanHub& hub, ConsoleIo& console);
    ~HostedTable() override;
    HostedTable(const HostedTable&) = delete;
    HostedTable& operator=(const HostedTable&) = delete;

    void showAll(std::string_view text) override;
    void show(int p, std::string_view text) override;
    Answer ask(int p, std::string& line) override;
    bool hosted() const override { return true; }
    int remotePlayers() const override;
    bool seatRemote(int player, int p, std::string_view start) override;
    bool takeBack(int p) override;
    void seatOut(int p) override;
    void farewell(std::string_view text) override;

  private:
    LanHub& hub_;
    ConsoleIo& console_;
    bool tied_ = false;
};

} // namespace kvr

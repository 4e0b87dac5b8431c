// A hosted game's table: a remote seat's private text and answers travel over its own connection,
// public text reaches the host console and every client, and everything else stays on the host console.
// The hub's door announces visitors on the host console from its own thread, so every write there
// holds the hub's console lock.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "console/console_io.hpp"
#include "model/seat_view.hpp"
#include "model/table_io.hpp"
#include "net/socket.hpp"

namespace kvr {

class Game;

class LanHub;
class WebTable;

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
    Answer askFor(int p, const Prompt& prompt, std::string& line) override;
    bool hosted() const override { return true; }
    int remotePlayers() const override;
    bool seatRemote(int player, int p, std::string_view start) override;
    bool takeBack(int p) override;
    void seatOut(int p) override;
    void farewell(std::string_view text) override;

    // Where browsers get their views from: `views(p, v)` fills seat p's view, or (p = -1) the public one,
    // false while there is no table yet. Without it browsers get text and questions only.
    void showViews(std::function<bool(int, SeatView&)> views) { views_ = std::move(views); }
    // The same from a game: each seat its own view, the others the public one, once all six are seated.
    void showViewsOf(const Game& game);
    // A remote seat, a browser's or a line client's, has `seconds` to answer each question (0: no
    // limit); past that its question ends TimedOut.
    void answerWithin(int seconds) { answerSeconds_ = seconds < 0 ? 0 : seconds; }
    // A room's table: the web table's opener plays the host's seat, `hostSeat()` (-1 while the game
    // has not chosen it), and is asked what the console would be asked before that.
    void hostedFromWeb(std::function<int()> hostSeat) { hostSeat_ = std::move(hostSeat); }

  private:
    // A remote player: a line client (its socket) or a browser (its id at the web table).
    struct Remote {
        long ticket = 0;
        SocketHandle socket = INVALID_NET_SOCKET;
        int browser = -1;
    };
    void refreshViews();
    // Whether text and questions for seat p go to the opener's browser before it holds its seat; the
    // opener is given the seat once the game names it.
    bool toOpener(int p);

    LanHub& hub_;
    ConsoleIo& console_;
    WebTable* web_ = nullptr;
    bool tied_ = false;
    // Remote players in the order they joined, fixed when the game begins.
    std::vector<Remote> remotes_;
    std::function<bool(int, SeatView&)> views_;
    int answerSeconds_ = 0;
    std::function<int()> hostSeat_;
    bool openerSeated_ = false;
};

} // namespace kvr

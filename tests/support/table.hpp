// A game table built directly for scenario tests: seats, heroes, hands, equipment and the top of the
// draw pile are set by the test; answers come from a script and everything printed is captured.
#pragma once

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "console/console_io.hpp"
#include "model/game.hpp"
#include "net/hosted_table.hpp"
#include "net/hub.hpp"
#include "tests/support/consistency.hpp"
#include "tests/support/probe.hpp"

namespace kvr {

// How many times `part` stands in `text`, overlapping matches included.
inline std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Swaps a standard stream's buffer for the lifetime of the object.
class StreamSwap {
  public:
    StreamSwap(std::ios& stream, std::streambuf* buf) : stream_(stream), saved_(stream.rdbuf(buf)) {}
    ~StreamSwap() { stream_.rdbuf(saved_); }
    StreamSwap(const StreamSwap&) = delete;
    StreamSwap& operator=(const StreamSwap&) = delete;

  private:
    std::ios& stream_;
    std::streambuf* saved_;
};

// Standard input from a fixed text, standard output captured, for code that uses the process's console
// (standardConsole, the front end). Restores both, and clears the input stream's error state, when it goes.
class Console {
  public:
    explicit Console(const std::string& input = "");
    ~Console();
    std::string out() const { return out_.str(); }
    void resetOut() { out_.str(""); }
    void feed(const std::string& input);

  private:
    std::istringstream in_;
    std::ostringstream out_;
    StreamSwap inSwap_;
    StreamSwap outSwap_;
};

// Every card of a fresh table sits in the draw pile, sorted by id; no seat holds anything.
// Seats start as computer seats with the given heroes (default Varnok..) at full health.
class Table {
  public:
    // With a hub the game routes its output as a hosted game does; make seats remote with `remote`.
    explicit Table(Mode mode = Normal3v3, std::uint32_t seed = 1, LanHub* hub = nullptr);

    Game& game() { return *game_; }
    GameProbe& g() { return probe_; }
    Player& seat(int p) { return probe_.seat(p); }

    // Sets seat p's hero (copy of the roster entry) with full health; the Lord of an identity
    // table gets the extra point.
    void hero(int p, HeroId id);
    void role(int p, Role r);
    void hp(int p, int hp);
    void human(int p);
    void remote(int p, SocketHandle s);

    // Moves a deck card of the type (and suit, when given) from wherever it is into p's hand.
    Card give(int p, CardType t, int suit = -1);
    Card equip(int p, CardType t);
    Card delay(int p, CardType t, int suit = -1);
    // Puts a matching card on top of the draw pile (drawn next); rank 0 means any rank.
    Card top(CardType t, int suit = -1, int rank = 0);
    // Puts the card with this suit and rank (any type) on top.
    Card topSuitRank(int suit, int rank);

    // Scripted answers, one per line; output captured since the last clearOut.
    void answers(const std::string& lines);
    std::string out() const { return out_.str(); }
    void clearOut() { out_.str(""); }
    // The log lines printed so far, without the "  -> " prefix.
    std::vector<std::string> logs() const;
    bool logged(const std::string& line) const;

    // Counts where the 166 deck cards are; empty when each is in exactly one place.
    std::string conservationFault();

  private:
    Card take(const std::function<bool(const Card&)>& match);

    std::istringstream in_;
    std::ostringstream out_;
    ConsoleIo console_{in_, out_};
    LanHub* hub_;
    std::unique_ptr<HostedTable> hosted_;
    std::unique_ptr<Game> game_;
    GameProbe probe_;
};

} // namespace kvr

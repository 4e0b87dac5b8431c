// Where a game's text goes and where its human seats' answers come from. The rules reach consoles and
// sockets only through this: this computer's console, a hosted game's sockets, a string for tests and
// tools. A game without one (a silent copy) writes nothing and asks nobody.
#pragma once

#include <string>
#include <string_view>

#include "model/query.hpp"

namespace kvr {

// How a request for an answer ended: a line, no more input, the seat's player went away, or the seat's
// remote player gave no answer within the time allowed (the seat stays the player's).
enum class Answer { Line, Closed, Dropped, TimedOut };

// What a question asks for: free text, a play-phase command, a number in lo..hi, y/n, a list of numbers
// (an order), or Enter to go on.
enum class PromptKind { Text, Command, Number, YesNo, Order, Pause };

struct Prompt {
    PromptKind kind = PromptKind::Text;
    int lo = 0;
    int hi = 0;
    // What the rule asks, for a table that draws its own controls; null where nobody built one. It lives
    // only while the question is asked.
    const Query* query = nullptr;
};

class TableIo {
  public:
    virtual ~TableIo() = default;

    // Public text: every seat sees it exactly once.
    virtual void showAll(std::string_view text) = 0;
    // Private text for seat p's screen (its table, hand and prompts). A seat played at this computer, a
    // computer seat and -1 (nobody in particular) show it on this computer's console.
    virtual void show(int p, std::string_view text) = 0;
    // Seat p's next answer line as it was typed. Dropped: the seat's remote player is gone for good, and
    // this table will not send that seat anything again.
    virtual Answer ask(int p, std::string& line) = 0;
    // The same, told what is asked: a table that keeps or checks the answers overrides this one. The game
    // asks through this.
    virtual Answer askFor(int p, const Prompt& /*prompt*/, std::string& line) { return ask(p, line); }

    // A hosted table: remote players wait for seats, and are told when the game ends.
    virtual bool hosted() const { return false; }
    // Remote players waiting for a seat, in the order they joined.
    virtual int remotePlayers() const { return 0; }
    // The remote player `player` (0-based, in joining order) plays seat p from now on. It is sent
    // `start` (its seat, hero and role), and what it needs to come back after a drop. False when that
    // player left before the game began: nothing is sent, and the seat stays the computer's.
    virtual bool seatRemote(int /*player*/, int /*p*/, std::string_view /*start*/) { return false; }
    // Whether the remote player of seat p came back (it gave its seat code): the seat is played over its
    // new connection from now on.
    virtual bool takeBack(int /*p*/) { return false; }
    // Seat p is out of the game: nobody comes back to it any more.
    virtual void seatOut(int /*p*/) {}
    // Sends `text` to every remote player and ends their connections: the game is over.
    virtual void farewell(std::string_view /*text*/) {}
};

} // namespace kvr

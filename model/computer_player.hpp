// Who decides for a seat that no person plays. A rule asks a human seat through its prompt and every
// other seat through this, once, whatever kind of computer player sits there: the classic one (which
// reads true roles, as the game's rules describe it), the strong one (which decides from its seat's
// view alone), or any other. Implementations hold no state of their own: one instance serves every
// seat of every game, so a copied game shares nothing mutable through them.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/types.hpp"

namespace kvr {

class Game;

// One play-phase action: a hand card (with a target, or -1), a converted slash, or the hero's skill.
struct PlayAction {
    enum Kind { Stop, Card, VirtualSlash, Skill } kind = Stop;
    int index = -1;
    int target = -1;

    bool operator==(const PlayAction& o) const {
        return kind == o.kind && index == o.index && target == o.target;
    }
};

// An order of the top cards 观星 looks at, at most five: the first `top.size()` entries are a permutation
// of their indices.
using TopOrder = std::array<std::size_t, 5>;

class ComputerPlayer {
  public:
    virtual ~ComputerPlayer() = default;

    // The whole play phase of seat p.
    virtual void playPhase(Game& g, int p) const = 0;
    // For a player that plays its phase one action at a time (Game::playActions): the next action of seat
    // p; `tried` lists actions the rules refused this phase. The game is not const: a player may use its
    // own random engine, which the game keeps.
    virtual PlayAction nextAction(Game& /*g*/, int /*p*/, const std::vector<PlayAction>& /*tried*/) const {
        return {};
    }

    // The foe to aim a harmful effect at (in slash reach only, or only one with cards, when asked), or -1.
    virtual int foe(const Game& g, int p, bool inRange, bool needsCards) const = 0;
    // Every foe in seat order, those in slash reach only when asked.
    virtual SeatList foes(const Game& g, int p, bool inRange) const = 0;
    // The friend to help (a wounded one when asked), never p itself, or -1.
    virtual int ally(const Game& g, int p, bool wounded) const = 0;
    // Above 0 when p wants seat q to do well, below 0 when it wants q to fare badly.
    virtual int stance(const Game& g, int p, int q) const = 0;

    // The hand card to discard first.
    virtual int discard(const Game& g, int p) const = 0;
    // The hand card to pay with among those that fit, or -1.
    virtual int payCard(const Game& g, int p, const std::function<bool(const Card&)>& fits) const = 0;
    // The order in which to put the top cards back (a permutation of their indices, first drawn first).
    virtual TopOrder arrangeTop(const Game& g, int p, const CardList& top) const = 0;
    // The card to take from the harvest pool.
    virtual std::size_t harvestPick(const Game& g, int p, const CardList& pool) const = 0;

    // Whether to play a nullification now: `cancelled` says the trick stands cancelled at the moment.
    virtual bool nullify(const Game& g, int p, int from, int target, std::string_view trick,
                         bool cancelled) const = 0;
    // Whether to give a save to the dying seat (p itself included).
    virtual bool save(const Game& g, int p, int dying) const = 0;
    // The seat to pass a slash from `from` on to among `candidates` (流离), or -1 to take it.
    virtual int passSlash(const Game& g, int p, int from, const SeatList& candidates) const = 0;
    // Whether the Ice Sword spares the target's hit points for two of its cards.
    virtual bool iceSword(const Game& g, int p, int target) const = 0;
    // The seats to chain or free with an iron chain (none: recast the card).
    virtual SeatList chain(const Game& g, int p) const = 0;
    // The armed seat to lend a sword to p, or -1.
    virtual int armedFoe(const Game& g, int p) const = 0;
    // The seat the armed seat of p's borrowed sword must slash, among `legal`.
    virtual int victim(const Game& g, int p, int armed, const SeatList& legal) const = 0;
    // The seat to lock down with a delayed trick of type t put by a skill, or -1.
    virtual int lockTarget(const Game& g, int p, CardType t) const = 0;
    // Two male seats among `males` to set against each other; -1 when missing.
    virtual void malePair(const Game& g, int p, const SeatList& males, int& first, int& second) const = 0;
    // The hand card to answer with when asked for a dodge (need Dodge) or a slash (need Slash), or -1 to
    // take what comes; `offered` is the first card that fits (-1: none). By default the offered one.
    virtual int answerCard(const Game& /*g*/, int /*p*/, CardType /*need*/, int offered) const {
        return offered;
    }
    // Whether it is the classic player: it answers with the offered card and reads nothing of what a
    // seat's view gathers of passes and discards, so a game of classic players asks and keeps neither.
    virtual bool classic() const { return false; }
};

} // namespace kvr

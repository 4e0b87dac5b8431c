// The strong computer player's rules of thumb. They decide from a SeatView: what one seat can know of
// the table, built by Game::viewFor. Nothing here sees a Game, so it cannot read another seat's hand,
// the draw pile or a hidden role.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/computer_player.hpp"
#include "model/seat_view.hpp"

namespace kvr {

using StrongMove = PlayAction;

// The strong player thinks for a budget in milliseconds, counted in plays (games a search plays out) so
// that a game stays reproducible from its seed: a budget buys STRONG_PLAYS_PER_MS plays a millisecond,
// the count measured on the machine the defaults were tuned on (`kavrin-bench --calibrate` measures it
// on another; `--plays-per-ms` uses that count instead). Without a budget a decision gets the options'
// searchPlays, 1680: 14 ms at this count.
constexpr int STRONG_PLAYS_PER_MS = 120;
// The plays a decision may spend for a budget of `thinkMs` at `playsPerMs`; at least 8.
int strongPlaysFor(int thinkMs, int playsPerMs = STRONG_PLAYS_PER_MS);

// What a seat of role r is to a viewer of role `mine` (others: the living seats besides the viewer): 3 a
// firm friend, -3 a firm foe, between them weaker friends and foes.
int strongRoleWorth(Role mine, Role r, int others);
// How the viewer stands to seat q: 4 self, 3 sure friend, 1 likely friend, 0 unknown, -1 likely foe,
// -3 sure foe. In the hidden-role game it reads roles from public behaviour.
int strongStance(const SeatView& v, int q);
// What the viewer would pay to keep card c, given the rest of its hand.
int strongKeep(const SeatView& v, const Card& c);
// The hand card to discard first.
int strongDiscard(const SeatView& v);
// The hand card worth least among those that fit, or -1.
int strongCheapest(const SeatView& v, const std::function<bool(const Card&)>& fits);
// The next action of the play phase; Stop ends it. `tried` lists actions that failed this phase.
StrongMove strongMove(const SeatView& v, const std::vector<StrongMove>& tried);
// Whether to play a nullification now; `cancelled` says the trick is currently cancelled.
bool strongNullify(const SeatView& v, int target, std::string_view trick, bool cancelled);
// Whether to give a save to a dying seat (the viewer itself included).
bool strongSave(const SeatView& v, int dying);
// The best foe to slash among the seats in reach, or -1.
int strongSlashTarget(const SeatView& v);
// The best foe for a harmful effect (cards: only one with cards), or -1.
int strongFoe(const SeatView& v, bool cards);
// The friend (the viewer included when `self`) to help, wounded only when asked, or -1.
int strongFriend(const SeatView& v, bool wounded, bool self);
// Every foe in seat order, only those the viewer's slash reaches when asked.
SeatList strongFoes(const SeatView& v, bool inReach);
// The seat the armed seat of a borrowed sword should slash, among `legal`.
int strongVictim(const SeatView& v, int armed, const SeatList& legal);
// The foe to lock down with a delayed trick of type t, or -1.
int strongLock(const SeatView& v, CardType t);
// Two male seats to set against each other: a foe first, then anyone but a friend; -1 when missing.
void strongMalePair(const SeatView& v, int& first, int& second);

} // namespace kvr

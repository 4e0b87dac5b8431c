// The paired audit of a computer player that must not peek. At every question of seeded games it is asked
// twice, with its own random engine, seed and budget the same: once on the game, once on a twin that its
// seat cannot tell apart, which differs in every fact the seat cannot see, now and in the table kept at
// the last action boundary. The seat's view must be the same in both, and then so must the answer; every
// true-role question asked for its seat is counted too.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "model/computer_player.hpp"
#include "model/seat_view.hpp"

namespace kvr {

class Game;

// Deals anew every fact seat p cannot know: the other seats' hands (each keeps its count), the order of
// the draw pile, and in the hidden-role game the roles still hidden from p.
void redealHidden(Game& game, int p, std::mt19937& rng);

// Makes `twin`, a copy of a game, one that seat p cannot tell from it: the cards p cannot see dealt anew
// (a card p saw go into a hand stays there), the draw pile's order, the hidden roles, the game's engine
// and seed, the other seats' engines and sightings, the same in the table kept at the last boundary,
// and the outcome of every roll since then that p did not see.
void makeTwin(Game& twin, int p, std::mt19937& rng);

// Every field of a view, written out: two views are the same when their texts are.
std::string viewText(const SeatView& v);

struct PeekAudit {
    int games = 0;
    long decisions = 0;
    // Answers that came out otherwise on the twin, and the first of them.
    long differing = 0;
    std::string first;
    // Views (now, or at the boundary) that differed between the game and its twin: a fault of the twin
    // or a view that holds a hidden fact.
    long viewsDiffering = 0;
    std::string firstView;
    // True-role questions asked for the audited seats.
    long roleReads = 0;
    // Questions asked inside an action, with the boundary kept (dodge and slash answers among them), and
    // those with a roll on the tape that the asked seat did not see.
    long reactions = 0;
    long answerCards = 0;
    long hiddenRolls = 0;
};

// Plays `games` seeded automatic games of both modes (even seeds 3v3) from `firstSeed` with every seat
// played by `player` under the audit, each decision searching `plays` plays. The players are set for
// each seat, as a game with a strong seat sets them, so that the public record is kept.
PeekAudit pairedAudit(const ComputerPlayer& player, std::uint32_t firstSeed, int games, int plays);

// The strong player with one peek planted. Each reads one kind of fact its seat cannot see and lets it
// turn an answer inside an action (a dodge, a slash, a save, a nullification): the table kept at the
// boundary, a roll its seat did not see, or the game's seed; TrueRole takes its foe from the classic
// player, which reads true roles.
enum class Peek { Boundary, HiddenRoll, Seed, TrueRole };
const ComputerPlayer& plantedPeek(Peek kind);

} // namespace kvr

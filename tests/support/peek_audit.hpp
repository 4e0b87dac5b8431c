// The audit of a computer player that must not peek: every decision it takes through the engine's own
// hooks is taken again on copies whose hidden facts are dealt anew (the other hands within their counts,
// the draw pile, the roles still hidden) with its own random engine as it was, and must come out the
// same; and every true-role question asked for its seat is counted.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "model/computer_player.hpp"

namespace kvr {

class Game;

// Deals anew every fact seat p cannot know: the other seats' hands (each keeps its count), the order of
// the draw pile, and in the hidden-role game the roles still hidden from p.
void redealHidden(Game& game, int p, std::mt19937& rng);

struct PeekAudit {
    int games = 0;
    long decisions = 0;
    // Decisions that came out otherwise on a copy dealt anew, and the first of them.
    long differing = 0;
    std::string first;
    // True-role questions asked for the audited seats.
    long roleReads = 0;
};

// Plays seeded automatic games of both modes (even seeds 3v3) with every seat played by `player` under
// the audit, each decision searching only a little.
PeekAudit auditPeeking(const ComputerPlayer& player, std::uint32_t firstSeed, int games);

// The strong player with one peek planted: its foe is the classic one, read from true roles.
const ComputerPlayer& plantedPeeker();

} // namespace kvr

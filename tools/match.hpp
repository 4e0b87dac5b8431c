// The strong computer player against the classic one, for the bench's `--match N`.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "model/types.hpp"

namespace kvr {

class GameStore;

struct MatchSettings {
    int games = 0;
    // Team game k uses seed firstSeed + k / 2 (the strong team swapped every other game); hidden-role game
    // k uses seed firstSeed + k. Tune on one range and check on another.
    std::uint32_t firstSeed = 1000;
    // Threads playing games side by side; the results do not depend on it.
    int jobs = 1;
    // The strong player's plays a decision (--think MS at --plays-per-ms N); 0: the default.
    int plays = 0;
    // The lines to play: bit 0 the team games, bits 1-3 the Lord's side, the Rebels, the Renegade strong.
    unsigned lines = 15;
    // Where each game's result is written, a line a game (its line, seed and outcome), then a line a
    // strong decision (mode, question, processor time in ms, plays, world actions); empty: nowhere.
    std::string results;
    // Where every game is kept with its record, for the statistics page (--data DIR); null: nowhere.
    GameStore* store = nullptr;
};

// Plays `games` team games and, for each of the classic baseline, Lord and Loyalist strong, Rebels strong
// and the Renegade strong, `games` hidden-role games; prints the win rates with their 95% intervals, how
// often a strong seat's most likely role for each hidden seat is the true one after rounds 1, 2, 3 and
// 5, and the time one strong decision takes.
int runMatch(const MatchSettings& settings);

// Prints the decisions' processor time: median and worst, by kind of decision, and the slowest few.
void printDecisionTimes(std::ostream& out, std::vector<DecisionTime> all);

// Plays strong games one at a time and prints how many plays the strong player's search gets through in a
// millisecond of its decisions on this machine: the count `--plays-per-ms` takes.
int runCalibration(int games);

} // namespace kvr

// The strong computer player against the classic one, for the bench's `--match N`.
#pragma once

namespace kvr {

// Plays N seeded team games (the strong team swapped every other seed) and 3 × N hidden-role games
// (classic only, Lord and Loyalist strong, Rebels strong); prints the win rates and decision times.
int runMatch(int games);

} // namespace kvr

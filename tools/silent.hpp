// Silent play: games copied at their start position and played to the end with no text at all, as a
// search plays its sampled games.
#pragma once

#include <cstdint>

#include "model/game.hpp"

namespace kvr {

// The bench's game i after its setup: computer players on every seat, no io.
Game benchStart(int i);

// Copies each of the first `games` start positions, plays the copy to its end silently with the
// classic player on every seat, and returns a hash of the results and lengths.
std::uint64_t silentSignature(const std::vector<Game>& starts);

// kavrin-bench --silent: games per second of silent copies, and what one copy costs.
int runSilentBench(int games);

} // namespace kvr

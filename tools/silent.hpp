// Silent play: games copied at their start position and played to the end with no text at all, as a
// search plays its sampled games.
#pragma once

#include <cstdint>

#include "model/game.hpp"

namespace kvr {

// The bench's game i after its setup: computer players on every seat, no io.
Game benchStart(int i);

// `start` copied into `scratch` (whose storage an assignment reuses) and played to its end silently, the
// classic player on every seat.
void playSilently(Game& scratch, const Game& start);

struct SilentRun {
    // A hash of every game's result and length: silent play is as reproducible as printed play.
    std::uint64_t signature = 0;
    // Copying and playing only: by the clock, and by the processor time the bench was given.
    double seconds = 0;
    double cpuSeconds = 0;
};

// The first `games` games of the bench's list, each copied at its start and played silently.
SilentRun silentRun(int games);

// kavrin-bench --silent: games per second of silent copies, and what one copy costs.
int runSilentBench(int games);

} // namespace kvr

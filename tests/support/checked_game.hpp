// Seeded whole games under the consistency check, automatic or against hostile answers from a local
// human seat: the simulation tests, the soak and the fuzzer's corpus share them.
#pragma once

#include <cstdint>
#include <string>

#include "model/types.hpp"

namespace kvr {

// Random and hostile answers for the local human: numbers in and out of range, commands in both cases,
// blank and very long lines, garbage; then end of input.
std::string hostileInput(std::uint32_t seed, int lines);

// Whether the text is one of the results a game of this mode may end with.
bool validResult(Mode mode, const std::string& result);

struct CheckedGame {
    // The first fault: an inconsistent table, an exception, or an unknown result; empty when none.
    std::string fault;
    std::string result;
    long actions = 0;
};

// The settings of a checked game: fast, no colour; with a human seat the round limit is 40.
Options checkedOptions(std::uint32_t seed, bool humanSeat);

// One seeded game, output discarded, the table checked after every action. With a human seat the
// answers are hostileInput and the round limit is 40.
CheckedGame playChecked(Mode mode, std::uint32_t seed, bool humanSeat);

} // namespace kvr

// One automatic game played into a string: the bench, the statistics and the tests share it, so the
// transcript they hash is the one `kavrin --auto --no-color` prints.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/types.hpp"
#include "tools/text_hash.hpp"

namespace kvr {

// What one automatic game leaves for statistics, read from the game itself after it stopped.
struct GameRecord {
    Mode mode = Normal3v3;
    std::uint32_t seed = 0;
    // The game's result text; empty when an error stopped the game.
    std::string result;
    int rounds = 0;
    int turns = 0;
    int reshuffles = 0;
    bool deckExhausted = false;
    std::array<HeroId, 6> heroes{};
    std::array<Role, 6> roles{};
};

// Computer players on every seat, colours off, the default round limit. Appends the whole transcript
// to `out`; a game stopped by an error ends with the error line the front end would print.
void playAutomatic(Mode mode, std::uint32_t seed, std::string& out, GameRecord* record = nullptr);
// The settings of those games: automatic, fast, no colour, the default round limit.
Options automaticOptions(std::uint32_t seed);
// The same with other settings (the computer player's kind, say).
void playAutomatic(Mode mode, const Options& opt, std::string& out, GameRecord* record = nullptr);

// The same game hashed as it is printed, transcript kept nowhere: playAutomatic's text is added to
// `hash`.
void playAutomaticHashed(Mode mode, std::uint32_t seed, TextHash& hash);

// The bench's fixed list: game i has seed 1000 + i, the normal mode for even i and identity for odd i.
std::uint32_t benchSeed(int i);
Mode benchMode(int i);

// The hash over the transcripts of the first `games` games of the bench's list.
std::uint64_t benchSignature(int games);

} // namespace kvr

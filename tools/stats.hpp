// Tables about many automatic games for players and designers: results, lengths, wins by role, seat
// and hero, and how often the deck runs through.
#pragma once

#include <array>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "tools/autoplay.hpp"

namespace kvr {

// Whether the seat of role r is on the winning side of a game that ended with this result text.
bool wonWith(Role r, const std::string& result);

class Statistics {
  public:
    void add(const GameRecord& game);
    void print(std::ostream& out) const;

  private:
    struct ModeTally {
        int games = 0;
        std::map<std::string, int> results;
        long long rounds = 0;
        long long turns = 0;
        int longestRounds = 0;
        int longestTurns = 0;
        std::map<Role, std::array<int, 2>> roleWins; // games with the role, games it won
        std::array<int, 6> seatWins{};
    };
    struct HeroTally {
        int games = 0;
        int wins = 0;
    };

    void printMode(std::ostream& out, Mode mode, const ModeTally& t) const;

    std::array<ModeTally, 2> modes_;
    std::array<HeroTally, HERO_COUNT> heroes_{};
    int games_ = 0;
    long long reshuffles_ = 0;
    int mostReshuffles_ = 0;
    std::map<int, int> reshuffleCounts_;
    std::vector<std::uint32_t> exhausted_;
};

} // namespace kvr

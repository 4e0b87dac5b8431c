// The strong player's search over sampled games: at a play-phase decision it deals the hidden facts anew
// from its beliefs (the other hands, the draw pile, the unknown roles), plays each candidate action on
// silent copies, and keeps the action that leaves its side best off on average.
#pragma once

#include <cstdint>
#include <vector>

#include "ai/belief.hpp"
#include "ai/strong.hpp"

namespace kvr {

class Game;

class Search {
  public:
    // The action seat p takes next in its play phase; `tried` lists actions the rules refused this phase.
    static StrongMove bestMove(Game& g, int p, const std::vector<StrongMove>& tried);

    // How many phases and actions each play goes on for.
    static constexpr long HORIZON = 32;

  private:
    // A copy of g with every fact seat p cannot see dealt anew, and its own random engine.
    static void dealWorld(Game& world, int p, const SeatView& v, const RoleBelief& belief,
                          std::uint64_t& rng);
    // Plays the candidate in the world and on to the horizon; the score of the result for seat p's side.
    static double tryMove(Game& world, int p, const StrongMove& m);
    static double score(const Game& world, int p);
    static std::vector<StrongMove> candidates(const Game& g, int p, const SeatView& v,
                                              const std::vector<StrongMove>& tried);
};

} // namespace kvr

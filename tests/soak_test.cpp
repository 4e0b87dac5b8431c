// The soak: 100,000 seeded automatic games over both modes and 10,000 games against hostile human
// answers, every one checked after every action, and 4,000 games of strong players audited for peeking. Run
// with `ctest -C soak -R soak`; the default run keeps a smaller slice in simulation_test.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>

#include "ai/players.hpp"
#include "tests/support/checked_game.hpp"
#include "tests/support/peek_audit.hpp"

namespace kvr {
namespace {

void soak(bool humanSeat, int gamesPerMode, std::uint32_t firstSeed) {
    auto start = std::chrono::steady_clock::now();
    long actions = 0;
    std::map<std::string, int> results;
    int faults = 0;
    for (Mode mode : {Normal3v3, Identity}) {
        for (int i = 0; i < gamesPerMode; ++i) {
            std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(i);
            CheckedGame game = playChecked(mode, seed, humanSeat);
            actions += game.actions;
            ++results[game.result];
            if (!game.fault.empty() && ++faults <= 20)
                ADD_FAILURE() << (mode == Identity ? "identity" : "normal") << (humanSeat ? " human" : "")
                              << " seed " << seed << ": " << game.fault;
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << 2 * gamesPerMode << (humanSeat ? " hostile human" : " automatic") << " games, " << actions
              << " actions checked, " << faults << " faults, " << seconds << " s\n";
    for (const auto& r : results) std::cout << "  " << r.second << "  " << r.first << "\n";
    EXPECT_EQ(faults, 0);
}

TEST(Soak, AutomaticGames) { soak(false, 50000, 100001); }

TEST(Soak, HostileHumanGames) { soak(true, 5000, 200001); }

// Thousands of games of both modes with every strong decision audited for peeking.
TEST(Soak, StrongPlayerNeverPeeks) {
    PeekAudit a = pairedAudit(strongPlayer(), 300001, 4000, 6);
    std::cout << a.games << " audited games, " << a.decisions << " decisions\n";
    EXPECT_EQ(a.viewsDiffering, 0) << a.firstView;
    EXPECT_EQ(a.differing, 0) << a.first;
    EXPECT_EQ(a.roleReads, 0);
}

} // namespace
} // namespace kvr

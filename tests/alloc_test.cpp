// A silent game allocates nothing once it has started: a search plays thousands of them a decision.
// This program counts every operator new (tools/alloc_count.cpp replaces it here).
#include <gtest/gtest.h>

#include <memory>

#include "ai/players.hpp"
#include "model/game.hpp"
#include "tools/alloc_count.hpp"
#include "tools/autoplay.hpp"

namespace kvr {
namespace {

Game benchGame(int i) {
    Game game(benchMode(i), automaticOptions(benchSeed(i)), nullptr);
    game.setup();
    return game;
}

// The bench's games of both modes, copied at their start as a search copies: into a used game (an
// assignment) and into a new one, then played to their end silently. A first game builds the tables the
// program makes once, on first use (the card names).
TEST(SilentGame, NoHeapOnceStarted) {
    Game scratch = benchGame(0);
    scratch.simulateWith(classicPlayer());
    scratch.playOn(-1);
    for (int i = 0; i < 400; ++i) {
        Game start = benchGame(i);
        scratch = start;
        scratch.simulateWith(classicPlayer());
        long long before = allocations();
        scratch.playOn(-1);
        ASSERT_EQ(allocations() - before, 0) << "assigned copy of bench game " << i;
        ASSERT_TRUE(scratch.ended());

        Game copy(start);
        copy.simulateWith(classicPlayer());
        before = allocations();
        copy.playOn(-1);
        ASSERT_EQ(allocations() - before, 0) << "new copy of bench game " << i;
    }
}

// The counter sees what it must: a test that passes by counting nothing would prove nothing.
TEST(SilentGame, CounterCountsTheHeap) {
    long long before = allocations();
    auto held = std::make_unique<Game>(Normal3v3, automaticOptions(1), nullptr);
    EXPECT_GE(allocations() - before, 1);
}

} // namespace
} // namespace kvr

// A planted peek that compiles, written with the seat's desk and Game's public constructor alone: it
// takes its own random engine for a function of the game's seed, inverts it, and plays the game's setup
// from each seed that fits to read every role and opening hand. It must find nothing: a seat's engine is
// a one-way mix of the seed and the seat. The same search run on an engine made the invertible way finds
// the seed, so the nothing is the mix's, not the peek's.
#include <gtest/gtest.h>

#include "ai/players.hpp"
#include "model/game.hpp"
#include "model/seat_player.hpp"

namespace kvr {
namespace {

constexpr std::uint64_t GOLDEN = 0x9E3779B97F4A7C15ULL;

// The inverse of GOLDEN modulo 2^64, by Newton's iteration.
constexpr std::uint64_t inverse(std::uint64_t a) {
    std::uint64_t x = a;
    for (int i = 0; i < 6; ++i) x *= 2 - a * x;
    return x;
}

// The seed whose game deals the table the view shows, tried from an engine that a seat's own player
// stepped at most `steps` times since it was seeded (seed << 3 | seat) * GOLDEN; -1 when none fits.
long long recoverSeed(std::uint64_t engine, const SeatView& v, int steps) {
    const std::uint64_t start = engine * inverse(GOLDEN);
    for (int k = 0; k <= steps; ++k) {
        std::uint64_t x = start - static_cast<std::uint64_t>(k);
        if ((x & 7) != static_cast<std::uint64_t>(v.self) || (x >> 3) > 0xffffffffULL) continue;
        Options opt;
        opt.autoPlay = true;
        opt.seed = static_cast<std::uint32_t>(x >> 3);
        Game g(v.mode, opt, nullptr);
        g.setup();
        bool same = true;
        for (int q = 0; q < 6; ++q)
            same = same && g.players()[static_cast<std::size_t>(q)].hero.id == v.at(q).hero;
        if (same) return static_cast<long long>(x >> 3);
    }
    return -1;
}

// Answers as a seat that never draws from its engine, and tries the peek at every question it is asked.
class SeedPeek : public SeatPlayer {
  public:
    mutable int tried = 0, found = 0;

    void peek(SeatDesk& d) const {
        ++tried;
        found += recoverSeed(d.rng(), d.view(), 64) >= 0;
    }
    PlayAction nextAction(SeatDesk& d, const std::vector<PlayAction>&) const override {
        peek(d);
        return {};
    }
    int foe(SeatDesk& d, bool, bool) const override {
        peek(d);
        return -1;
    }
    SeatList foes(SeatDesk&, bool) const override { return {}; }
    int ally(SeatDesk&, bool) const override { return -1; }
    int stance(SeatDesk&, int) const override { return 0; }
    int discard(SeatDesk&) const override { return 0; }
    int payCard(SeatDesk&, const std::function<bool(const Card&)>&) const override { return 0; }
    TopOrder arrangeTop(SeatDesk&, const CardList&) const override { return {0, 1, 2, 3, 4}; }
    std::size_t harvestPick(SeatDesk&, const CardList&) const override { return 0; }
    bool nullify(SeatDesk&, int, int, std::string_view, bool) const override { return false; }
    bool save(SeatDesk&, int) const override { return false; }
    int passSlash(SeatDesk&, int, const SeatList&) const override { return -1; }
    bool iceSword(SeatDesk&, int) const override { return false; }
    SeatList chain(SeatDesk&) const override { return {}; }
    int armedFoe(SeatDesk&) const override { return -1; }
    int victim(SeatDesk&, int, const SeatList&) const override { return -1; }
    int lockTarget(SeatDesk&, CardType) const override { return -1; }
    void malePair(SeatDesk&, const SeatList&, int&, int&) const override {}
    int answerCard(SeatDesk&, CardType, int offered) const override { return offered; }
};

TEST(Honest, PlantedPeek6FindsNoSeedInTheSeatsEngine) {
    for (std::uint32_t seed : {7U, 31337U, 2000001U, 4000000007U}) {
        for (int seat : {0, 3}) {
            Mode mode = seed % 2 == 0 ? Normal3v3 : Identity;
            Options opt;
            opt.autoPlay = true;
            opt.seed = seed;
            SeedPeek peek;
            SeatPlayerAdapter peeker(peek);
            Game game(mode, opt, nullptr);
            game.setComputer(seat, &peeker);
            game.setup();
            game.playOn(40);
            EXPECT_GT(peek.tried, 0) << seed << " " << seat;
            EXPECT_EQ(peek.found, 0) << seed << " " << seat;

            // The same view, with the engine the invertible way: the peek finds the seed.
            SeatView v = game.publicView();
            v.self = seat;
            EXPECT_EQ(
                recoverSeed((static_cast<std::uint64_t>(seed) << 3 | static_cast<unsigned>(seat)) * GOLDEN, v,
                            64),
                static_cast<long long>(seed));
            EXPECT_EQ(recoverSeed(seatEngineSeed(seed, seat), v, 64), -1);
        }
    }
}

// Each seat's engine starts elsewhere, and none is the seed's invertible image.
TEST(Honest, SeatEnginesTellNothingOfEachOther) {
    for (std::uint32_t seed : {0U, 1U, 2U, 0xffffffffU}) {
        for (int a = 0; a < 6; ++a) {
            EXPECT_NE(seatEngineSeed(seed, a),
                      (static_cast<std::uint64_t>(seed) << 3 | static_cast<unsigned>(a)) * GOLDEN);
            for (int b = a + 1; b < 6; ++b) EXPECT_NE(seatEngineSeed(seed, a), seatEngineSeed(seed, b));
            EXPECT_NE(seatEngineSeed(seed, a), seatEngineSeed(seed + 1, a));
        }
    }
}

} // namespace
} // namespace kvr

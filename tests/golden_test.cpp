// Whole transcripts of seeded automatic games, one per mode, as `kavrin --auto --no-color` prints them.
// A change of behaviour shows up here; after a deliberate change, regenerate with
// KAVRIN_UPDATE_GOLDEN=1 and review the difference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

std::string transcript(Mode mode, std::uint32_t seed) {
    Options opt;
    opt.autoPlay = true;
    opt.color = false;
    opt.seed = seed;
    Console console;
    Game game(mode, opt, &standardConsole());
    game.setup();
    game.run();
    return console.out();
}

void compareWithGolden(Mode mode, std::uint32_t seed, const std::string& file) {
    const std::string path = std::string(KAVRIN_GOLDEN_DIR) + "/" + file;
    const std::string actual = transcript(mode, seed);
    if (std::getenv("KAVRIN_UPDATE_GOLDEN")) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing " << path;
    std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (actual == expected) return;
    std::istringstream a(actual), e(expected);
    std::string la, le;
    for (int n = 1;; ++n) {
        bool moreA = static_cast<bool>(std::getline(a, la)), moreE = static_cast<bool>(std::getline(e, le));
        if (la != le || moreA != moreE) {
            ADD_FAILURE() << file << " differs at line " << n << "\nexpected: " << le << "\nactual:   " << la;
            return;
        }
        if (!moreA) break;
    }
    ADD_FAILURE() << file << " differs";
}

TEST(Golden, NormalSeed7) { compareWithGolden(Normal3v3, 7, "auto_normal_seed7.txt"); }
TEST(Golden, IdentitySeed7) { compareWithGolden(Identity, 7, "auto_identity_seed7.txt"); }

// The same seed plays the same game in one process, whatever ran before.
TEST(Golden, RepeatedGamesAreIdentical) { EXPECT_EQ(transcript(Identity, 99), transcript(Identity, 99)); }

} // namespace
} // namespace kvr

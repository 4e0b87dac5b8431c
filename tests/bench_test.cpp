// The bench's signature pins the behaviour of every rule at once; its transcripts are the program's.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "model/game.hpp"
#include "tests/support/table.hpp"
#include "tools/autoplay.hpp"
#include "tools/stats.hpp"

namespace kvr {
namespace {

std::string hex(std::uint64_t v) {
    std::ostringstream s;
    s << std::hex << v;
    return s.str();
}

// A change of play changes the signature: accept it on purpose by writing the new value into the
// golden file, and say so in the commit message.
TEST(Signature, DefaultBenchRunMatchesTheGoldenValue) {
    const std::string path = std::string(KAVRIN_GOLDEN_DIR) + "/bench_signature.txt";
    std::ifstream in(path);
    std::string golden;
    ASSERT_TRUE(in >> golden) << "missing " << path;
    const std::string now = hex(benchSignature(400));
    EXPECT_EQ(now, golden) << "the bench signature of 400 games changed: golden " << golden << ", now " << now
                           << ". If play changed on purpose, put the new value in " << path
                           << " and say so in the commit message.";
}

// The record of a game agrees with its transcript: result, rounds, turns, reshuffles, seats.
TEST(Statistics, RecordsComeFromTheGame) {
    for (int i = 0; i < 40; ++i) {
        std::string transcript;
        GameRecord r;
        playAutomatic(benchMode(i), benchSeed(i), transcript, &r);
        EXPECT_EQ(r.seed, benchSeed(i));
        EXPECT_NE(transcript.find("\n" + r.result + "\n身份："), std::string::npos) << r.seed;
        EXPECT_EQ(occurrences(transcript, "======== 第"), static_cast<std::size_t>(r.rounds)) << r.seed;
        EXPECT_NE(transcript.find("======== 第" + std::to_string(r.rounds) + "轮"), std::string::npos);
        EXPECT_EQ(occurrences(transcript, "的回合 ━━"), static_cast<std::size_t>(r.turns)) << r.seed;
        EXPECT_EQ(occurrences(transcript, "弃牌堆重新洗牌。"), static_cast<std::size_t>(r.reshuffles))
            << r.seed;
        EXPECT_FALSE(r.deckExhausted);
        for (int seat = 0; seat < 6; ++seat) {
            std::string who = std::to_string(seat + 1) + "号 " + heroBook()[r.heroes[seat]].name + "/";
            EXPECT_NE(transcript.find(who), std::string::npos) << r.seed << " " << who;
        }
    }
}

// A side wins exactly with the result text that names it; a draw gives nobody a win.
TEST(Statistics, WinnersByResult) {
    EXPECT_TRUE(wonWith(TeamHan, "汉军获胜！") && !wonWith(TeamChu, "汉军获胜！"));
    EXPECT_TRUE(wonWith(TeamChu, "楚军获胜！") && !wonWith(TeamHan, "楚军获胜！"));
    for (Role r : {Lord, Loyalist})
        EXPECT_TRUE(wonWith(r, "反贼与内奸全部阵亡，主公/忠臣获胜！") && !wonWith(r, "主公阵亡，反贼获胜！"));
    EXPECT_TRUE(wonWith(Rebel, "主公阵亡，反贼获胜！") && !wonWith(Renegade, "主公阵亡，反贼获胜！"));
    EXPECT_TRUE(wonWith(Renegade, "内奸成为最后生还者，内奸获胜！") &&
                !wonWith(Rebel, "内奸成为最后生还者，内奸获胜！"));
    for (Role r : {TeamHan, TeamChu, Lord, Loyalist, Rebel, Renegade})
        EXPECT_FALSE(wonWith(r, "达到最大轮数，平局。"));
}

// Shares, averages, a side counted once per game however many seats it holds, heroes sorted by rate.
TEST(Statistics, Tables) {
    GameRecord a;
    a.mode = Identity;
    a.result = "主公阵亡，反贼获胜！";
    a.rounds = 3;
    a.turns = 10;
    a.reshuffles = 1;
    a.roles = {Lord, Rebel, Loyalist, Rebel, Renegade, Rebel};
    a.heroes = {Varnok, Thessil, Korveth, Dravin, Bruhald, Lirren};
    GameRecord b = a;
    b.result = "达到最大轮数，平局。";
    b.rounds = 150;
    b.turns = 700;
    b.reshuffles = 0;
    b.heroes = {Thessil, Varnok, Korveth, Dravin, Bruhald, Seluna};
    GameRecord c = a;
    c.result = "";
    c.deckExhausted = true;
    c.seed = 77;
    Statistics s;
    for (const GameRecord& r : {a, b, c}) s.add(r);
    std::ostringstream out;
    s.print(out);
    const std::string text = out.str();
    for (const char* line :
         {"== identity: 3 games\n", "       1  33.3%  主公阵亡，反贼获胜！\n",
          "       1  33.3%  牌堆耗尽（出错停止）\n", "  rounds      52.0      150\n",
          "  turns      240.0      700\n", "draws by the round limit: 1 ( 33.3%)\n",
          "       1  33.3%  反贼\n", "       0   0.0%  主公\n", "       1  33.3%  seat 2\n",
          "       3       1  33.3%  Thessil  #############\n",
          "       2       1  50.0%  Lirren   ####################\n", "       1       0   0.0%  Seluna   \n",
          "average 0.67, most 1\n", "games that exhausted the deck: 1 (seeds 77)\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("normal"), std::string::npos);
    EXPECT_LT(text.find("Thessil"), text.find("Varnok"));
}

// The bench hashes a game as it is printed, piece by piece; the result is the hash of the whole
// transcript in one piece.
TEST(Signature, HashedGameIsTheHashOfItsTranscript) {
    for (int i = 0; i < 6; ++i) {
        std::string transcript;
        playAutomatic(benchMode(i), benchSeed(i), transcript);
        TextHash pieces, whole;
        playAutomaticHashed(benchMode(i), benchSeed(i), pieces);
        whole.add(transcript);
        EXPECT_EQ(pieces.value(), whole.value());
    }
}

#ifndef _WIN32
// Standard output of the built program, run with these arguments and no input.
std::string programOutput(const std::string& args) {
    std::FILE* f = popen(("timeout 60 " KAVRIN_BIN " " + args + " </dev/null 2>/dev/null").c_str(), "r");
    std::string out;
    if (!f) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    pclose(f);
    return out;
}

// The bench hashes exactly what a player sees from the command line, byte for byte.
TEST(Signature, BenchTranscriptIsTheProgramOutput) {
    for (std::uint32_t seed : {1000u, 1001u, 7u, 4242u}) {
        for (Mode mode : {Normal3v3, Identity}) {
            std::string bench;
            playAutomatic(mode, seed, bench);
            ASSERT_NE(bench.find("对局结束"), std::string::npos);
            const std::string args = "--auto --fast --no-color --seed " + std::to_string(seed) + " --mode " +
                                     (mode == Identity ? "identity" : "normal");
            EXPECT_EQ(programOutput(args), bench) << args;
        }
    }
}
#endif

} // namespace
} // namespace kvr

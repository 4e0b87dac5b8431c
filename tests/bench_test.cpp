// The bench's signature pins the behaviour of every rule at once; its transcripts are the program's.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/autoplay.hpp"

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

// Plays a fixed list of seeds with computer players only and prints one signature: a hash of every
// transcript, with games per second. A change that keeps behaviour keeps the hash.
#include <chrono>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "model/game.hpp"

namespace {

std::uint64_t fnv1a(const std::string& s, std::uint64_t h) {
    for (unsigned char ch : s) {
        h ^= ch;
        h *= 1099511628211ULL;
    }
    return h;
}

} // namespace

int main(int argc, char** argv) {
    int games = argc > 1 ? std::atoi(argv[1]) : 400;
    std::uint64_t hash = 1469598103934665603ULL;
    std::streambuf* saved = std::cout.rdbuf();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < games; ++i) {
        kvr::Options opt;
        opt.autoPlay = true;
        opt.color = false;
        opt.seed = static_cast<std::uint32_t>(1000 + i);
        std::ostringstream out;
        std::cout.rdbuf(out.rdbuf());
        try {
            kvr::Game game(i % 2 == 0 ? kvr::Normal3v3 : kvr::Identity, opt, nullptr, {});
            game.setup();
            game.run();
        } catch (const std::exception& e) {
            out << "游戏错误：" << e.what() << "\n";
        }
        std::cout.rdbuf(saved);
        hash = fnv1a(out.str(), hash);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "games " << games << " signature " << std::hex << hash << std::dec << " games/s "
              << static_cast<long>(games / (seconds > 0 ? seconds : 1e-9)) << "\n";
    return 0;
}

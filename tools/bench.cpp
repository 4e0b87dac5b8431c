// Plays a fixed list of seeds with computer players only and prints one signature: a hash of every
// transcript, with games per second. A change that keeps behaviour keeps the hash.
#include <chrono>
#include <cstdlib>
#include <iostream>

#include "tools/autoplay.hpp"

int main(int argc, char** argv) {
    int games = argc > 1 ? std::atoi(argv[1]) : 400;
    auto start = std::chrono::steady_clock::now();
    std::uint64_t hash = kvr::benchSignature(games);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "games " << games << " signature " << std::hex << hash << std::dec << " games/s "
              << static_cast<long>(games / (seconds > 0 ? seconds : 1e-9)) << "\n";
    return 0;
}

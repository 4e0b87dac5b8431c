#include "tools/silent.hpp"

#include <chrono>
#include <iostream>

#include "ai/players.hpp"
#include "tools/alloc_count.hpp"
#include "tools/autoplay.hpp"

namespace kvr {

Game benchStart(int i) {
    Game game(benchMode(i), automaticOptions(benchSeed(i)), nullptr);
    game.setup();
    return game;
}

// One scratch game takes each start position in turn, as a search reuses its copies: assigning reuses
// the scratch game's storage.
std::uint64_t silentSignature(const std::vector<Game>& starts) {
    TextHash hash;
    if (starts.empty()) return hash.value();
    Game copy(starts.front());
    for (const Game& start : starts) {
        copy = start;
        copy.simulateWith(classicPlayer());
        copy.playOn(-1);
        hash.add(copy.result());
        hash.add(std::to_string(copy.counts().turns));
    }
    return hash.value();
}

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int runSilentBench(int games) {
    std::vector<Game> starts;
    starts.reserve(static_cast<std::size_t>(games));
    for (int i = 0; i < games; ++i) starts.push_back(benchStart(i));

    auto start = Clock::now();
    std::uint64_t hash = silentSignature(starts);
    double seconds = secondsSince(start);

    // A copy of the first start position: the bytes it allocates besides the object, and the time of
    // a new copy and of an assignment over a used game.
    long long before = allocatedBytes();
    { Game copy(starts.front()); }
    long long heap = allocatedBytes() - before;
    const int copies = 20000;
    std::size_t sink = 0;
    auto copyStart = Clock::now();
    for (int k = 0; k < copies; ++k) {
        Game copy(starts[static_cast<std::size_t>(k) % starts.size()]);
        sink += copy.players().size();
    }
    double copyNs = secondsSince(copyStart) * 1e9 / copies;
    Game scratch(starts.front());
    auto assignStart = Clock::now();
    for (int k = 0; k < copies; ++k) {
        scratch = starts[static_cast<std::size_t>(k) % starts.size()];
        sink += scratch.players().size();
    }
    double assignNs = secondsSince(assignStart) * 1e9 / copies;

    std::cout << "silent games " << games << " signature " << std::hex << hash << std::dec << " games/s "
              << static_cast<long>(games / (seconds > 0 ? seconds : 1e-9)) << "\n"
              << "copy " << sizeof(Game) << " bytes + " << heap << " on the heap: new "
              << static_cast<long>(copyNs) << " ns, assigned " << static_cast<long>(assignNs) << " ns ("
              << sink % 2 << ")\n";
    return 0;
}

} // namespace kvr

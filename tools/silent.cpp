#include "tools/silent.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <iostream>
#include <string_view>
#include <vector>

#include "ai/players.hpp"
#include "tools/alloc_count.hpp"
#include "tools/autoplay.hpp"

namespace kvr {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

Game benchStart(int i) {
    Game game(benchMode(i), automaticOptions(benchSeed(i)), nullptr);
    game.setup();
    return game;
}

void playSilently(Game& scratch, const Game& start) {
    scratch = start;
    scratch.simulateWith(classicPlayer());
    scratch.playOn(-1);
}

// Start positions are made a few at a time just before they are copied, as a search copies the game it
// stands in: the timing counts the copies and the plays, not the setup. Each few are timed by the clock
// and by the processor time the bench was given, which other work on the machine does not inflate; a
// reading of the processor time costs too much to take one for every game.
SilentRun silentRun(int games) {
    constexpr int BATCH = 8;
    SilentRun run;
    TextHash hash;
    Game scratch = benchStart(0);
    std::vector<Game> starts;
    starts.reserve(BATCH);
    std::array<std::string_view, BATCH> results{};
    std::array<int, BATCH> turns{};
    for (int first = 0; first < games; first += BATCH) {
        int n = std::min(BATCH, games - first);
        starts.clear();
        for (int k = 0; k < n; ++k) {
            starts.emplace_back(benchMode(first + k), automaticOptions(benchSeed(first + k)), nullptr);
            starts.back().setup();
        }
        std::clock_t cpuBegan = std::clock();
        auto began = Clock::now();
        for (int k = 0; k < n; ++k) {
            playSilently(scratch, starts[static_cast<std::size_t>(k)]);
            results[static_cast<std::size_t>(k)] = scratch.resultText();
            turns[static_cast<std::size_t>(k)] = scratch.counts().turns;
        }
        run.seconds += secondsSince(began);
        run.cpuSeconds += static_cast<double>(std::clock() - cpuBegan) / CLOCKS_PER_SEC;
        for (int k = 0; k < n; ++k) {
            hash.add(results[static_cast<std::size_t>(k)]);
            hash.add(std::to_string(turns[static_cast<std::size_t>(k)]));
        }
    }
    run.signature = hash.value();
    return run;
}

int runSilentBench(int games) {
    SilentRun run = silentRun(games);

    // A copy of one start position: the bytes it allocates besides the object, and the time of a new
    // copy and of an assignment over a used game.
    Game start = benchStart(0);
    long long before = allocatedBytes();
    { Game copy(start); }
    long long heap = allocatedBytes() - before;
    const int copies = 20000;
    std::size_t sink = 0;
    auto copyStart = Clock::now();
    for (int k = 0; k < copies; ++k) {
        Game copy(start);
        sink += copy.players().size();
    }
    double copyNs = secondsSince(copyStart) * 1e9 / copies;
    Game scratch = benchStart(1);
    auto assignStart = Clock::now();
    for (int k = 0; k < copies; ++k) {
        scratch = start;
        sink += scratch.players().size();
    }
    double assignNs = secondsSince(assignStart) * 1e9 / copies;

    std::cout << "silent games " << games << " signature " << std::hex << run.signature << std::dec
              << " games/s " << static_cast<long>(games / (run.seconds > 0 ? run.seconds : 1e-9))
              << " (by processor time "
              << static_cast<long>(games / (run.cpuSeconds > 0 ? run.cpuSeconds : 1e-9)) << ")\n"
              << "copy " << sizeof(Game) << " bytes + " << heap << " on the heap: new "
              << static_cast<long>(copyNs) << " ns, assigned " << static_cast<long>(assignNs) << " ns ("
              << sink % 2 << ")\n";
    return 0;
}

} // namespace kvr

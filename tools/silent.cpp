#include "tools/silent.hpp"

#include <chrono>
#include <iostream>

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

// Each start position is made just before it is copied, as a search copies the game it stands in: the
// timing counts the copy and the play, not the setup.
SilentRun silentRun(int games) {
    SilentRun run;
    TextHash hash;
    Game scratch = benchStart(0);
    for (int i = 0; i < games; ++i) {
        Game start = benchStart(i);
        auto began = Clock::now();
        playSilently(scratch, start);
        run.seconds += secondsSince(began);
        hash.add(scratch.result());
        hash.add(std::to_string(scratch.counts().turns));
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
              << " games/s " << static_cast<long>(games / (run.seconds > 0 ? run.seconds : 1e-9)) << "\n"
              << "copy " << sizeof(Game) << " bytes + " << heap << " on the heap: new "
              << static_cast<long>(copyNs) << " ns, assigned " << static_cast<long>(assignNs) << " ns ("
              << sink % 2 << ")\n";
    return 0;
}

} // namespace kvr

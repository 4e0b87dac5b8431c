// A whole local game with a human seat. The first six bytes choose the seed, the mode, the pauses, the
// colours and the round limit; the rest is what the human types. Output is thrown away. After every
// action the table must be consistent, and the game must end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "console/console_io.hpp"
#include "fuzz/streams.hpp"
#include "model/game.hpp"
#include "tests/support/consistency.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvr;
    if (size < 6) return 0;
    Options opt;
    opt.seed = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    opt.fast = (data[4] & 2) != 0;
    opt.color = (data[4] & 4) != 0;
    opt.maxRounds = 1 + data[5] % 30;
    Mode mode = (data[4] & 1) != 0 ? Identity : Normal3v3;

    FuzzConsole console(std::string(reinterpret_cast<const char*>(data) + 6, size - 6));
    Game game(mode, opt, &standardConsole());
    GameProbe g{game};
    g.actionHook() = [&g] {
        std::string fault = tableFault(g);
        if (fault.empty()) return;
        std::fprintf(stderr, "inconsistent table: %s\n", fault.c_str());
        std::abort();
    };
    try {
        game.setup();
        game.run();
    } catch (const std::exception& e) {
        // Both piles empty is the one error a game may end with; anything else is a fault.
        if (std::string(e.what()) != "牌堆耗尽") {
            std::fprintf(stderr, "exception: %s\n", e.what());
            std::abort();
        }
    }
    if (g.result().empty() && !g.ended()) {
        std::fprintf(stderr, "the game stopped without a result\n");
        std::abort();
    }
    return 0;
}

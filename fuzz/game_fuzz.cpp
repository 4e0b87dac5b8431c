// A whole local game with a human seat. The first six bytes choose the seed, the mode, the pauses, the
// colours and the round limit; the rest is what the human types. After every action the table must be
// consistent, and the game must end. The game is recorded as it is played, and its record must replay to
// the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <sstream>
#include <string>

#include "console/console_io.hpp"
#include "console/replay_io.hpp"
#include "model/game.hpp"
#include "tests/support/consistency.hpp"

namespace {

// Plays the game to its end; the one error a game may end with, both piles empty, is part of its text.
void playThrough(kvr::Game& game, std::ostream& out) {
    try {
        game.setup();
        game.run();
    } catch (const kvr::RecordError& e) {
        std::fprintf(stderr, "record refused: %s\n", e.what());
        std::abort();
    } catch (const kvr::RecordStop& e) {
        std::fprintf(stderr, "record stopped: %s\n", e.what());
        std::abort();
    } catch (const std::exception& e) {
        if (std::string(e.what()) != "牌堆耗尽") {
            std::fprintf(stderr, "exception: %s\n", e.what());
            std::abort();
        }
        out << "[error] " << e.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvr;
    if (size < 6) return 0;
    Options opt;
    opt.seed = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    opt.fast = (data[4] & 2) != 0;
    opt.color = (data[4] & 4) != 0;
    opt.maxRounds = 1 + data[5] % 30;
    Mode mode = (data[4] & 1) != 0 ? Identity : Normal3v3;

    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 6, size - 6));
    std::ostringstream out, recorded;
    ConsoleIo console(in, out);
    RecordWriter writer(recorded);
    writer.head(RecordHead{RecordedGame::Local, mode, opt, 0});
    RecordingIo recording(console, writer);
    Game game(mode, opt, &recording);
    GameProbe g{game};
    g.actionHook() = [&g] {
        std::string fault = tableFault(g);
        if (fault.empty()) return;
        std::fprintf(stderr, "inconsistent table: %s\n", fault.c_str());
        std::abort();
    };
    playThrough(game, out);
    if (g.result().empty() && !g.ended()) {
        std::fprintf(stderr, "the game stopped without a result\n");
        std::abort();
    }

    std::istringstream text(recorded.str());
    Record record = parseRecord(text, "fuzz");
    std::ostringstream again;
    ReplayIo replay(record, &again);
    Game copy(mode, opt, &replay);
    playThrough(copy, again);
    try {
        replay.checkUsedUp();
    } catch (const RecordError& e) {
        std::fprintf(stderr, "record left over: %s\n", e.what());
        std::abort();
    }
    if (!record.damage.empty() || again.str() != out.str()) {
        std::fprintf(stderr, "the replay differs from the game (%s)\n", record.damage.c_str());
        std::abort();
    }
    return 0;
}

// An automatic game whose transcript goes to `out`, with a probe of its private state.
#pragma once

#include <sstream>

#include "console/console_io.hpp"
#include "model/game.hpp"
#include "tests/support/probe.hpp"

namespace kvr {

struct PrintedGame {
    std::istringstream in;
    std::ostringstream out;
    ConsoleIo console{in, out};
    Game game;
    GameProbe g{game};
    PrintedGame(Mode mode, const Options& opt) : game(mode, opt, &console) {}
};

} // namespace kvr

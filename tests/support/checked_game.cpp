#include "tests/support/checked_game.hpp"

#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "tests/support/consistency.hpp"
#include "tests/support/table.hpp"

namespace kvr {

std::string hostileInput(std::uint32_t seed, int lines) {
    static const std::vector<std::string> words = {
        "e",         "E",         "s",    "S",       "v", "i",  "h",           "y",          "Y",
        "n",         "",          "   ",  "\t",      "0", "-1", "99999999999", "2147483648", "3abc",
        "1 2 3 4 5", "5,4;3 2 1", "乱码", "\x1b[2J", "1", "2",  "3",           "4",          "5"};
    std::mt19937 rng(seed);
    std::string out;
    for (int i = 0; i < lines; ++i) {
        int kind = static_cast<int>(rng() % 10);
        if (kind < 5)
            out += std::to_string(static_cast<int>(rng() % 12));
        else if (kind < 9)
            out += words[rng() % words.size()];
        else
            out += std::string(5000 + rng() % 3000, static_cast<char>('a' + rng() % 26));
        out += rng() % 7 == 0 ? "\r\n" : "\n";
    }
    return out;
}

bool validResult(Mode mode, const std::string& result) {
    static const std::set<std::string> normal = {"汉军获胜！", "楚军获胜！", "达到最大轮数，平局。"};
    static const std::set<std::string> identity = {"反贼与内奸全部阵亡，主公/忠臣获胜！",
                                                   "主公阵亡，反贼获胜！", "内奸成为最后生还者，内奸获胜！",
                                                   "达到最大轮数，平局。"};
    return (mode == Normal3v3 ? normal : identity).count(result) > 0;
}

namespace {

class Discard : public std::streambuf {
  protected:
    int overflow(int ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

} // namespace

Options checkedOptions(std::uint32_t seed, bool humanSeat) {
    Options opt;
    opt.autoPlay = !humanSeat;
    opt.fast = true;
    opt.color = false;
    opt.seed = seed;
    opt.maxRounds = humanSeat ? 40 : 150;
    return opt;
}

CheckedGame playChecked(Mode mode, std::uint32_t seed, bool humanSeat) {
    Discard discard;
    std::ostream thrown(&discard);
    std::istringstream in(humanSeat ? hostileInput(seed * 7919u + 1u, 400) : "");
    ConsoleIo console(in, thrown);
    Game game(mode, checkedOptions(seed, humanSeat), &console);
    GameProbe g{game};
    CheckedGame out;
    g.actionHook() = [&] {
        ++out.actions;
        if (out.fault.empty()) out.fault = tableFault(g);
    };
    try {
        game.setup();
        game.run();
    } catch (const std::exception& e) {
        out.fault = std::string("exception: ") + e.what();
    }
    out.result = g.result();
    if (out.fault.empty() && !validResult(mode, out.result)) out.fault = "result \"" + out.result + "\"";
    return out;
}

} // namespace kvr

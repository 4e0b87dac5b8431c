#include "tools/match.hpp"

#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/autoplay.hpp"

namespace kvr {

namespace {

// Plays one automatic game and returns its transcript's result line.
std::string play(Mode mode, std::uint32_t seed, unsigned strongRoles, std::vector<double>& times) {
    Options opt = automaticOptions(seed);
    opt.strongRoles = strongRoles;
    opt.decisionTimes = &times;
    std::string text;
    playAutomatic(mode, opt, text);
    std::size_t end = text.find("对局结束");
    if (end == std::string::npos) return "";
    std::size_t from = text.find('\n', end) + 1;
    return text.substr(from, text.find('\n', from) - from);
}

std::string percent(int wins, int games) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << (games > 0 ? 100.0 * wins / games : 0.0) << "%";
    return s.str();
}

struct Tally {
    int lordSide = 0;
    int rebels = 0;
    int renegade = 0;
    int draws = 0;
};

Tally identityGames(int games, unsigned strongRoles, std::vector<double>& times) {
    Tally t;
    for (int i = 0; i < games; ++i) {
        std::string r = play(Identity, static_cast<std::uint32_t>(50000 + i), strongRoles, times);
        if (r.find("主公/忠臣获胜") != std::string::npos)
            ++t.lordSide;
        else if (r.find("反贼获胜") != std::string::npos)
            ++t.rebels;
        else if (r.find("内奸获胜") != std::string::npos)
            ++t.renegade;
        else
            ++t.draws;
    }
    return t;
}

} // namespace

int runMatch(int games) {
    std::vector<double> times;
    int strongWins = 0;
    int classicWins = 0;
    int draws = 0;
    for (int i = 0; i < games; ++i) {
        // Even seeds give the strong player the first team, odd seeds the second.
        Role strongTeam = i % 2 == 0 ? TeamHan : TeamChu;
        std::string r = play(Normal3v3, static_cast<std::uint32_t>(1000 + i / 2), 1U << strongTeam, times);
        bool han = r.find("汉军获胜") != std::string::npos;
        bool chu = r.find("楚军获胜") != std::string::npos;
        if (!han && !chu)
            ++draws;
        else if (han == (strongTeam == TeamHan))
            ++strongWins;
        else
            ++classicWins;
    }
    std::cout << "3v3 games " << games << ": strong " << strongWins << ", classic " << classicWins
              << ", draws " << draws << "\n";
    std::cout << "strong win rate: " << percent(strongWins, strongWins + classicWins) << "\n";

    std::vector<double> none;
    Tally base = identityGames(games, 0, none);
    Tally loyal = identityGames(games, (1U << Lord) | (1U << Loyalist), times);
    Tally rebel = identityGames(games, 1U << Rebel, times);
    auto decided = [](const Tally& t) { return t.lordSide + t.rebels + t.renegade; };
    std::cout << "identity games " << games << " per line (wins of Lord side / Rebels / Renegade, draws)\n";
    std::cout << "  classic baseline: " << base.lordSide << " / " << base.rebels << " / " << base.renegade
              << ", " << base.draws << "\n";
    std::cout << "  Lord+Loyalist strong: " << loyal.lordSide << " / " << loyal.rebels << " / "
              << loyal.renegade << ", " << loyal.draws << "\n";
    std::cout << "  Rebels strong: " << rebel.lordSide << " / " << rebel.rebels << " / " << rebel.renegade
              << ", " << rebel.draws << "\n";
    std::cout << "strong Lord+Loyalist win rate: " << percent(loyal.lordSide, decided(loyal))
              << " (classic baseline " << percent(base.lordSide, decided(base)) << ")\n";
    std::cout << "strong Rebels win rate: " << percent(rebel.rebels, decided(rebel)) << " (classic baseline "
              << percent(base.rebels, decided(base)) << ")\n";

    std::sort(times.begin(), times.end());
    double median = times.empty() ? 0 : times[times.size() / 2];
    double worst = times.empty() ? 0 : times.back();
    std::cout << std::fixed << std::setprecision(3) << "strong decisions " << times.size() << ": median "
              << median * 1e3 << " ms, worst " << worst * 1e3 << " ms\n";
    return 0;
}

} // namespace kvr

#include "tools/stats.hpp"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "model/game.hpp"

namespace kvr {

namespace {

const char* const DRAW = "达到最大轮数，平局。";

std::string percent(long long part, long long whole) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << std::setw(5) << (whole > 0 ? 100.0 * part / whole : 0.0)
      << "%";
    return s.str();
}

std::string average(long long sum, int count, int decimals = 1) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(decimals) << (count > 0 ? static_cast<double>(sum) / count : 0.0);
    return s.str();
}

} // namespace

bool wonWith(Role r, const std::string& result) {
    if (result == "汉军获胜！") return r == TeamHan;
    if (result == "楚军获胜！") return r == TeamChu;
    if (result == "反贼与内奸全部阵亡，主公/忠臣获胜！") return r == Lord || r == Loyalist;
    if (result == "主公阵亡，反贼获胜！") return r == Rebel;
    if (result == "内奸成为最后生还者，内奸获胜！") return r == Renegade;
    return false;
}

void Statistics::add(const GameRecord& game) {
    ++games_;
    ModeTally& t = modes_[game.mode];
    ++t.games;
    ++t.results[game.deckExhausted ? std::string("牌堆耗尽（出错停止）") : game.result];
    t.rounds += game.rounds;
    t.turns += game.turns;
    t.longestRounds = std::max(t.longestRounds, game.rounds);
    t.longestTurns = std::max(t.longestTurns, game.turns);
    // Each side counts once per game, however many seats it has.
    std::map<Role, bool> sides;
    for (std::size_t seat = 0; seat < game.roles.size(); ++seat) {
        Role r = game.roles[seat];
        bool won = wonWith(r, game.result);
        sides[r] = won;
        if (won) ++t.seatWins[seat];
        ++heroes_[game.heroes[seat]].games;
        if (won) ++heroes_[game.heroes[seat]].wins;
    }
    for (const auto& side : sides) {
        ++t.roleWins[side.first][0];
        if (side.second) ++t.roleWins[side.first][1];
    }
    reshuffles_ += game.reshuffles;
    mostReshuffles_ = std::max(mostReshuffles_, game.reshuffles);
    ++reshuffleCounts_[game.reshuffles];
    if (game.deckExhausted) exhausted_.push_back(game.seed);
}

void Statistics::printMode(std::ostream& out, Mode mode, const ModeTally& t) const {
    out << "\n== " << (mode == Identity ? "identity" : "normal 3v3") << ": " << t.games << " games\n";
    out << "results\n";
    std::vector<std::pair<int, std::string>> results;
    for (const auto& r : t.results) results.emplace_back(r.second, r.first);
    std::sort(results.rbegin(), results.rend());
    for (const auto& r : results)
        out << std::setw(8) << r.first << " " << percent(r.first, t.games) << "  " << r.second << "\n";
    out << "length     average  longest\n";
    out << "  rounds " << std::setw(9) << average(t.rounds, t.games) << std::setw(9) << t.longestRounds
        << "\n";
    out << "  turns  " << std::setw(9) << average(t.turns, t.games) << std::setw(9) << t.longestTurns << "\n";
    auto draws = t.results.find(DRAW);
    int drawn = draws == t.results.end() ? 0 : draws->second;
    out << "draws by the round limit: " << drawn << " (" << percent(drawn, t.games) << ")\n";
    out << "wins by side\n";
    for (const auto& r : t.roleWins)
        out << std::setw(8) << r.second[1] << " " << percent(r.second[1], r.second[0]) << "  "
            << roleName(r.first) << "\n";
    out << "wins by seat (seat 1 moves first)\n";
    for (int seat = 0; seat < 6; ++seat)
        out << std::setw(8) << t.seatWins[seat] << " " << percent(t.seatWins[seat], t.games) << "  seat "
            << seat + 1 << "\n";
}

void Statistics::print(std::ostream& out) const {
    out << "games " << games_ << "\n";
    for (int mode : {Normal3v3, Identity})
        if (modes_[mode].games > 0) printMode(out, static_cast<Mode>(mode), modes_[mode]);

    out << "\n== heroes by win rate\n";
    const std::vector<Hero>& book = heroRoster();
    std::vector<int> order;
    for (int h = 0; h < HERO_COUNT; ++h) order.push_back(h);
    auto rate = [this](int h) {
        return heroes_[h].games > 0 ? double(heroes_[h].wins) / heroes_[h].games : 0.0;
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rate(a) > rate(b); });
    out << "   games    wins   rate\n";
    for (int h : order) {
        const HeroTally& t = heroes_[h];
        out << std::setw(8) << t.games << std::setw(8) << t.wins << " " << percent(t.wins, t.games) << "  "
            << std::left << std::setw(8) << book[h].name << std::right << " "
            << std::string(static_cast<std::size_t>(rate(h) * 40 + 0.5), '#') << "\n";
    }

    out << "\n== deck\nreshuffles per game: average " << average(reshuffles_, games_, 2) << ", most "
        << mostReshuffles_ << "\n";
    for (const auto& r : reshuffleCounts_)
        out << std::setw(8) << r.second << " " << percent(r.second, games_) << "  " << r.first
            << " reshuffles\n";
    out << "games that exhausted the deck: " << exhausted_.size();
    for (std::size_t i = 0; i < exhausted_.size() && i < 20; ++i)
        out << (i == 0 ? " (seeds " : " ") << exhausted_[i];
    if (!exhausted_.empty()) out << (exhausted_.size() > 20 ? " ...)" : ")");
    out << "\n";
}

} // namespace kvr

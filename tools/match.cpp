#include "tools/match.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ai/belief.hpp"
#include "ai/search.hpp"
#include "model/game.hpp"
#include "model/seat_player.hpp"
#include "tools/autoplay.hpp"
#ifdef KAVRIN_STORE
#include "store/storing_io.hpp"
#endif

namespace kvr {

namespace {

// The rounds after which the role reading is scored.
constexpr int READ_ROUNDS[] = {1, 2, 3, 5};

// What one game left: its result, and for each scored round how many hidden seats a strong seat read
// right out of how many it read.
struct Played {
    std::string result;
    // The team game's strong team.
    Role strongTeam = TeamHan;
    std::array<int, 4> right{};
    std::array<int, 4> read{};
};

// Counts, for every living strong seat, the hidden seats whose likeliest role is their true one.
void scoreReading(const Game& g, unsigned strongRoles, std::size_t at, Played& out) {
    const std::array<Player, 6>& ps = g.players();
    for (int p = 0; p < 6; ++p) {
        if (!ps[static_cast<std::size_t>(p)].alive ||
            ((strongRoles >> ps[static_cast<std::size_t>(p)].role) & 1U) == 0)
            continue;
        SeatView v = g.viewFor(p);
        RoleBelief belief = roleBelief(v);
        for (int q = 0; q < 6; ++q) {
            if (q == p || v.at(q).role) continue;
            ++out.read[at];
            out.right[at] += belief.likeliest(q) == ps[static_cast<std::size_t>(q)].role;
        }
    }
}

// A table that shows nothing and asks nobody: a kept game's text goes nowhere, its record to the store.
class Unseen : public TableIo {
  public:
    void showAll(std::string_view) override {}
    void show(int, std::string_view) override {}
    Answer ask(int, std::string&) override { return Answer::Closed; }
};

Played play(Mode mode, std::uint32_t seed, unsigned strongRoles, std::vector<DecisionTime>* times, int plays,
            GameStore* store = nullptr) {
    Options opt = automaticOptions(seed);
    opt.strongRoles = strongRoles;
    if (plays > 0) opt.searchPlays = plays;
    opt.decisionTimes = times;
    Played out;
    Unseen unseen;
    std::unique_ptr<TableIo> kept;
#ifdef KAVRIN_STORE
    if (store) {
        auto storing = std::make_unique<StoringIo>(
            unseen, *store, GameStart{"match", true, storeClock(), mode, seed, opt.ai, strongRoles},
            RecordHead{RecordedGame::Automatic, mode, opt, 0}, std::cerr);
        kept = std::move(storing);
    }
#else
    (void)store;
#endif
    Game game(mode, opt, kept.get());
    std::size_t next = 0;
    if (mode == Identity && strongRoles != 0)
        game.setActionHook([&] {
            // The first action of a round scores the rounds before it.
            while (next < std::size(READ_ROUNDS) && game.roundsPlayed() > READ_ROUNDS[next] && !game.ended())
                scoreReading(game, strongRoles, next++, out);
        });
    try {
        game.setup();
#ifdef KAVRIN_STORE
        if (kept) static_cast<StoringIo&>(*kept).seated(game);
#endif
        game.run();
        out.result = game.result();
    } catch (const std::exception&) {
        out.result.clear();
    }
#ifdef KAVRIN_STORE
    if (kept) static_cast<StoringIo&>(*kept).finish(game);
#endif
    return out;
}

// Plays games [0, n) with `one(k)` on `jobs` threads; results come back in order whatever the threads.
template <class F> std::vector<Played> playAll(int n, int jobs, F one) {
    std::vector<Played> out(static_cast<std::size_t>(n));
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; ++j)
        threads.emplace_back([&, j] {
            for (int k = j; k < n; k += jobs) out[static_cast<std::size_t>(k)] = one(k, j);
        });
    for (std::thread& t : threads) t.join();
    return out;
}

std::string percent(double share) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << 100.0 * share << "%";
    return s.str();
}

// A share with its 95% interval (normal approximation).
std::string withInterval(int wins, int games) {
    if (games <= 0) return "n/a";
    double p = static_cast<double>(wins) / games;
    double half = 1.96 * std::sqrt(p * (1 - p) / games);
    return percent(p) + " (95% " + percent(std::max(0.0, p - half)) + "-" + percent(std::min(1.0, p + half)) +
           ")";
}

struct Tally {
    int lordSide = 0;
    int rebels = 0;
    int renegade = 0;
    int draws = 0;
    std::array<int, 4> right{};
    std::array<int, 4> read{};

    int decided() const { return lordSide + rebels + renegade; }
    void add(const Played& g) {
        if (g.result.find("主公/忠臣获胜") != std::string::npos)
            ++lordSide;
        else if (g.result.find("反贼获胜") != std::string::npos)
            ++rebels;
        else if (g.result.find("内奸获胜") != std::string::npos)
            ++renegade;
        else
            ++draws;
        for (std::size_t r = 0; r < right.size(); ++r) right[r] += g.right[r], read[r] += g.read[r];
    }
};

// A game's result in a word, for the results file.
const char* outcomeName(const std::string& result) {
    if (result.find("汉军获胜") != std::string::npos) return "han";
    if (result.find("楚军获胜") != std::string::npos) return "chu";
    if (result.find("主公/忠臣获胜") != std::string::npos) return "lord";
    if (result.find("反贼获胜") != std::string::npos) return "rebels";
    if (result.find("内奸获胜") != std::string::npos) return "renegade";
    return "draw";
}

const char* questionName(std::uint8_t q) {
    static const char* const names[] = {
        "none",    "action", "target", "targets",   "stance", "discard", "pay",  "top",   "harvest",
        "nullify", "save",   "pass",   "ice sword", "chain",  "victim",  "pair", "dodge", "slash answer"};
    return q < std::size(names) ? names[q] : "?";
}

} // namespace

// The decisions' processor time (median, worst), then by kind: the play-phase actions and the searched
// reactions of each mode, and the decisions that searched nothing; then the slowest few with their work.
void printDecisionTimes(std::ostream& out, std::vector<DecisionTime> all) {
    auto ms = [](double seconds) {
        std::ostringstream s;
        s << std::fixed << std::setprecision(3) << seconds * 1e3 << " ms";
        return s.str();
    };
    std::sort(all.begin(), all.end(),
              [](const DecisionTime& a, const DecisionTime& b) { return a.cpu < b.cpu; });
    auto at = [](const std::vector<DecisionTime>& v, double share) {
        return v[std::min(v.size() - 1, static_cast<std::size_t>(share * static_cast<double>(v.size())))];
    };
    if (all.empty()) {
        out << "strong decisions 0\n";
        return;
    }
    double clockWorst = 0;
    for (const DecisionTime& t : all) clockWorst = std::max(clockWorst, t.clock);
    out << "strong decisions " << all.size() << ": median " << ms(at(all, 0.5).cpu) << ", worst "
        << ms(all.back().cpu) << " (processor time; by the clock worst " << ms(clockWorst) << ")\n";
    const char* const modes[] = {"3v3", "identity"};
    for (int mode = 0; mode < 2; ++mode)
        for (int kind = 0; kind < 3; ++kind) {
            std::vector<DecisionTime> some;
            for (const DecisionTime& t : all) {
                bool action = t.question == static_cast<std::uint8_t>(Question::Action);
                int k = action ? 0 : t.plays > 0 ? 1 : 2;
                if (t.mode == mode && k == kind) some.push_back(t);
            }
            if (some.empty()) continue;
            const char* const kinds[] = {"play actions", "searched reactions", "not searched"};
            std::vector<long> actions;
            for (const DecisionTime& t : some) actions.push_back(t.actions);
            std::sort(actions.begin(), actions.end());
            out << "  " << modes[mode] << " " << kinds[kind] << " " << some.size() << ": median "
                << ms(at(some, 0.5).cpu) << ", 99% " << ms(at(some, 0.99).cpu) << ", worst "
                << ms(some.back().cpu) << "; world actions median " << actions[actions.size() / 2]
                << ", worst " << actions.back() << "\n";
        }
    out << "  slowest:";
    for (std::size_t i = 0; i < std::min<std::size_t>(5, all.size()); ++i) {
        const DecisionTime& t = all[all.size() - 1 - i];
        out << (i ? "; " : " ") << modes[t.mode] << " " << questionName(t.question) << " " << ms(t.cpu)
            << " (" << t.plays << " plays, " << t.actions << " actions)";
    }
    out << "\n";
}

int runMatch(const MatchSettings& s) {
    const int jobs = std::max(1, s.jobs);
    std::vector<std::vector<DecisionTime>> times(static_cast<std::size_t>(jobs));

    std::vector<Played> team = playAll((s.lines & 1) ? s.games : 0, jobs, [&](int k, int j) {
        // Even games give the strong player the first team, odd games the second.
        Role strongTeam = k % 2 == 0 ? TeamHan : TeamChu;
        Played g = play(Normal3v3, s.firstSeed + static_cast<std::uint32_t>(k / 2), 1U << strongTeam,
                        &times[static_cast<std::size_t>(j)], s.plays, s.store);
        g.strongTeam = strongTeam;
        return g;
    });
    int strongWins = 0, classicWins = 0, draws = 0;
    for (const Played& g : team) {
        bool han = g.result.find("汉军获胜") != std::string::npos;
        bool chu = g.result.find("楚军获胜") != std::string::npos;
        if (!han && !chu)
            ++draws;
        else if (han == (g.strongTeam == TeamHan))
            ++strongWins;
        else
            ++classicWins;
    }
    std::cout << "3v3 games " << s.games << " from seed " << s.firstSeed << ": strong " << strongWins
              << ", classic " << classicWins << ", draws " << draws << "\n";
    std::cout << "strong win rate: " << withInterval(strongWins, strongWins + classicWins) << "\n";

    struct Line {
        const char* name;
        unsigned roles;
    };
    const Line lines[] = {{"classic baseline", 0},
                          {"Lord+Loyalist strong", (1U << Lord) | (1U << Loyalist)},
                          {"Rebels strong", 1U << Rebel},
                          {"Renegade strong", 1U << Renegade}};
    std::vector<Tally> tallies;
    std::vector<std::vector<Played>> played;
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        const Line& line = lines[i];
        Tally t;
        bool wanted = i == 0 ? (s.lines & 14) != 0 : ((s.lines >> i) & 1) != 0;
        played.push_back(playAll(wanted ? s.games : 0, jobs, [&](int k, int j) {
            return play(Identity, s.firstSeed + static_cast<std::uint32_t>(k), line.roles,
                        line.roles ? &times[static_cast<std::size_t>(j)] : nullptr, s.plays, s.store);
        }));
        for (const Played& g : played.back()) t.add(g);
        tallies.push_back(t);
    }
    std::cout << "identity games " << s.games << " per line (wins of Lord side / Rebels / Renegade, draws)\n";
    for (std::size_t i = 0; i < tallies.size(); ++i)
        std::cout << "  " << lines[i].name << ": " << tallies[i].lordSide << " / " << tallies[i].rebels
                  << " / " << tallies[i].renegade << ", " << tallies[i].draws << "\n";
    const Tally& base = tallies[0];
    // The gain in points of decided games, with the 95% interval of the paired difference: both lines play
    // the same seeds, so each seed's win or not with the strong seats less the baseline's is one sample.
    auto gain = [&](std::size_t line, const char* wins, int lineWins, int baseWins) {
        const Tally& t = tallies[line];
        double d = t.decided() > 0 ? 100.0 * lineWins / t.decided() : 0;
        double b = base.decided() > 0 ? 100.0 * baseWins / base.decided() : 0;
        const std::vector<Played>& a = played[line];
        const std::vector<Played>& c = played[0];
        const std::size_t n = std::min(a.size(), c.size());
        double sum = 0, squares = 0;
        for (std::size_t k = 0; k < n; ++k) {
            double x =
                (a[k].result.find(wins) != std::string::npos) - (c[k].result.find(wins) != std::string::npos);
            sum += x;
            squares += x * x;
        }
        double half = 0;
        if (n > 1) {
            double mean = sum / static_cast<double>(n);
            double variance = (squares - static_cast<double>(n) * mean * mean) / static_cast<double>(n - 1);
            half = 100.0 * 1.96 * std::sqrt(std::max(0.0, variance) / static_cast<double>(n));
        }
        std::ostringstream out;
        out << std::showpos << std::fixed << std::setprecision(1) << d - b << " points (95% " << d - b - half
            << " to " << d - b + half << ")";
        return out.str();
    };
    if ((s.lines >> 1) & 1)
        std::cout << "strong Lord+Loyalist win rate: "
                  << withInterval(tallies[1].lordSide, tallies[1].decided()) << ", classic baseline "
                  << withInterval(base.lordSide, base.decided()) << ", "
                  << gain(1, "主公/忠臣获胜", tallies[1].lordSide, base.lordSide) << "\n";
    if ((s.lines >> 2) & 1)
        std::cout << "strong Rebels win rate: " << withInterval(tallies[2].rebels, tallies[2].decided())
                  << ", classic baseline " << withInterval(base.rebels, base.decided()) << ", "
                  << gain(2, "反贼获胜", tallies[2].rebels, base.rebels) << "\n";
    if ((s.lines >> 3) & 1)
        std::cout << "strong Renegade win rate: " << withInterval(tallies[3].renegade, tallies[3].decided())
                  << ", classic baseline " << withInterval(base.renegade, base.decided()) << ", "
                  << gain(3, "内奸获胜", tallies[3].renegade, base.renegade) << "\n";
    std::cout << "roles read right (likeliest role of each hidden seat, by strong seats):";
    for (std::size_t r = 0; r < std::size(READ_ROUNDS); ++r) {
        int right = 0, read = 0;
        for (std::size_t i = 1; i < tallies.size(); ++i)
            right += tallies[i].right[r], read += tallies[i].read[r];
        std::cout << " after round " << READ_ROUNDS[r] << " " << (read ? percent(1.0 * right / read) : "n/a");
    }
    std::cout << "\n";

    std::vector<DecisionTime> all;
    for (const std::vector<DecisionTime>& t : times) all.insert(all.end(), t.begin(), t.end());
    printDecisionTimes(std::cout, all);
    if (!s.results.empty()) {
        std::ofstream out(s.results);
        for (std::size_t k = 0; k < team.size(); ++k)
            out << "team " << s.firstSeed + k / 2 << " " << (team[k].strongTeam == TeamHan ? "han" : "chu")
                << " " << outcomeName(team[k].result) << "\n";
        const char* names[] = {"classic", "lord", "rebels", "renegade"};
        for (std::size_t i = 0; i < played.size(); ++i)
            for (std::size_t k = 0; k < played[i].size(); ++k)
                out << names[i] << " " << s.firstSeed + k << " " << outcomeName(played[i][k].result) << "\n";
        for (const DecisionTime& t : all)
            out << "decision " << (t.mode == Identity ? "identity" : "3v3") << " " << questionName(t.question)
                << " " << t.cpu * 1e3 << " " << t.plays << " " << t.actions << "\n";
        if (!out) {
            std::cerr << "cannot write " << s.results << "\n";
            return 1;
        }
    }
    return 0;
}

int runCalibration(int games) {
    std::vector<DecisionTime> times;
    long before = strongPlaysDone();
    for (int k = 0; k < games; ++k)
        play(k % 2 == 0 ? Normal3v3 : Identity, 7000 + static_cast<std::uint32_t>(k),
             k % 2 == 0 ? 1U << TeamHan : (1U << Lord) | (1U << Loyalist), &times, 0);
    double seconds = 0;
    for (const DecisionTime& t : times) seconds += t.cpu;
    long plays = strongPlaysDone() - before;
    std::cout << "strong plays " << plays << " in " << std::fixed << std::setprecision(3) << seconds
              << " s of decisions: " << std::setprecision(0) << (seconds > 0 ? plays / (seconds * 1e3) : 0)
              << " plays per ms (--plays-per-ms)\n";
    return 0;
}

} // namespace kvr

#include "store/store_json.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

#include "model/game.hpp"

namespace kvr {

using Json = nlohmann::json;

namespace {

std::string dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

const char* stateName(GameState s) {
    return s == GameState::Finished ? "finished" : s == GameState::Unfinished ? "unfinished" : "playing";
}

const char* modeName(Mode m) { return m == Identity ? "identity" : "normal"; }

const char* playerName(int k) { return k == 0 ? "person" : k == 1 ? "classic" : "strong"; }

std::string heroName(HeroId h) { return heroRoster()[static_cast<std::size_t>(h)].name; }

Json rated(const SeatTally& t) {
    auto [low, high] = winInterval(t.wins, t.games);
    double rate = t.games > 0 ? static_cast<double>(t.wins) / static_cast<double>(t.games) : 0.0;
    return Json{{"games", t.games}, {"wins", t.wins}, {"rate", rate}, {"low", low}, {"high", high}};
}

} // namespace

std::pair<double, double> winInterval(std::int64_t wins, std::int64_t games) {
    if (games <= 0) return {0.0, 1.0};
    const double z = 1.96;
    double n = static_cast<double>(games);
    double p = static_cast<double>(wins) / n;
    double centre = (p + z * z / (2 * n)) / (1 + z * z / n);
    double half = z * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n)) / (1 + z * z / n);
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

std::string historyJson(const GamePage& page, const GameFilter& filter) {
    Json games = Json::array();
    for (const GameSummary& g : page.games) {
        Json seats = Json::array();
        for (const StoredSeat& s : g.seats) {
            Json seat{{"hero", heroName(s.hero)}, {"person", s.player == PlayedBy::Person}};
            if (g.state == GameState::Finished) {
                seat["role"] = std::string(roleName(s.role));
                seat["won"] = s.won.value_or(false);
            }
            seats.push_back(seat);
        }
        games.push_back(Json{{"id", g.id},
                             {"table", g.table},
                             {"started", g.started},
                             {"ended", g.ended},
                             {"state", stateName(g.state)},
                             {"mode", modeName(g.mode)},
                             {"seed", g.seed},
                             {"ai", g.ai == StrongAi ? "strong" : "classic"},
                             {"result", g.result},
                             {"rounds", g.rounds},
                             {"seats", seats}});
    }
    return dump(Json{{"t", "history"},
                     {"total", page.total},
                     {"offset", filter.offset},
                     {"limit", filter.limit},
                     {"games", games}});
}

std::string statsJson(const GameStats& stats) {
    Json modes = Json::array();
    for (int m = 0; m < 2; ++m) {
        const GameStats::ByMode& s = stats.modes[static_cast<std::size_t>(m)];
        Json results = Json::array();
        for (const auto& [text, n] : s.results) results.push_back(Json{{"result", text}, {"games", n}});
        // A mode's own roles: the two teams, or the four roles of the hidden-role game.
        Json roles = Json::array();
        for (int r = m == Identity ? Lord : TeamHan; r <= (m == Identity ? Renegade : TeamChu); ++r) {
            Json j = rated(s.roles[static_cast<std::size_t>(r)]);
            j["role"] = std::string(roleName(static_cast<Role>(r)));
            roles.push_back(j);
        }
        std::vector<int> order;
        for (int h = 0; h < HERO_COUNT; ++h)
            if (s.heroes[static_cast<std::size_t>(h)].games > 0) order.push_back(h);
        std::stable_sort(order.begin(), order.end(), [&s](int a, int b) {
            return s.heroes[static_cast<std::size_t>(a)].games > s.heroes[static_cast<std::size_t>(b)].games;
        });
        Json heroes = Json::array();
        for (int h : order) {
            Json j = rated(s.heroes[static_cast<std::size_t>(h)]);
            j["hero"] = heroName(static_cast<HeroId>(h));
            heroes.push_back(j);
        }
        Json players = Json::array();
        for (int k = 0; k < 3; ++k) {
            Json j = rated(s.players[static_cast<std::size_t>(k)]);
            j["player"] = playerName(k);
            players.push_back(j);
        }
        modes.push_back(Json{{"mode", modeName(static_cast<Mode>(m))},
                             {"games", s.games},
                             {"results", results},
                             {"roles", roles},
                             {"heroes", heroes},
                             {"players", players},
                             {"rounds", s.rounds}});
    }
    return dump(Json{{"t", "stats"}, {"modes", modes}});
}

bool historyFilter(std::string_view mode, std::string_view hero, int page, int perPage, GameFilter& out) {
    out = GameFilter{};
    if (mode == "normal")
        out.mode = Normal3v3;
    else if (mode == "identity")
        out.mode = Identity;
    else if (!mode.empty())
        return false;
    if (!hero.empty()) {
        const std::vector<Hero>& roster = heroRoster();
        auto it =
            std::find_if(roster.begin(), roster.end(), [hero](const Hero& h) { return h.name == hero; });
        if (it == roster.end()) return false;
        out.hero = it->id;
    }
    out.limit = std::clamp(perPage, 1, 100);
    out.offset = (std::clamp(page, 1, 1000000) - 1) * out.limit;
    return true;
}

} // namespace kvr

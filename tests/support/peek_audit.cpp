#include "tests/support/peek_audit.hpp"

#include <algorithm>
#include <random>
#include <tuple>
#include <utility>

#include "ai/players.hpp"
#include "tests/support/checked_game.hpp"
#include "tests/support/forwarding_player.hpp"
#include "tests/support/probe.hpp"

namespace kvr {
namespace {

std::string text(const PlayAction& a) {
    return std::to_string(a.kind) + ":" + std::to_string(a.index) + ":" + std::to_string(a.target);
}
std::string text(const SeatList& l) {
    std::string out;
    for (int q : l) out += std::to_string(q) + ",";
    return out;
}
std::string text(const TopOrder& l) {
    std::string out;
    for (std::size_t q : l) out += std::to_string(q) + ",";
    return out;
}
std::string text(const std::pair<int, int>& both) {
    return std::to_string(both.first) + "," + std::to_string(both.second);
}
template <class T> std::string text(const T& v) { return std::to_string(v); }

// Every decision of `inner` is taken again on two copies with the hidden facts dealt anew.
class Audited : public ComputerPlayer {
    // The decision on the game itself, then on two copies dealt anew with the player's engine as it was
    // before the decision; the game itself goes on with the first.
    template <class F> auto check(const Game& game, int p, const char* what, F decide) const {
        Game& g = const_cast<Game&>(game);
        std::uint64_t before = GameProbe{g}.playerRng()[static_cast<std::size_t>(p)];
        auto made = decide(g);
        ++found_.decisions;
        for (int k = 0; k < 2; ++k) {
            Game copy(g);
            GameProbe{copy}.playerRng()[static_cast<std::size_t>(p)] = before;
            redealHidden(copy, p, rng_);
            auto again = decide(copy);
            if (text(again) == text(made)) continue;
            if (found_.differing++ == 0)
                found_.first = std::string(what) + " of seat " + std::to_string(p + 1) + ": " + text(made) +
                               " then " + text(again);
        }
        return made;
    }

  public:
    Audited(const ComputerPlayer& inner, PeekAudit& found, std::uint32_t seed)
        : inner_(inner), found_(found), rng_(seed) {}

    void playPhase(Game& g, int p) const override { GameProbe{g}.playActions(p); }
    PlayAction nextAction(Game& g, int p, const std::vector<PlayAction>& tried) const override {
        return check(g, p, "action", [&](Game& w) { return inner_.nextAction(w, p, tried); });
    }
    int foe(const Game& g, int p, bool inRange, bool needsCards) const override {
        return check(g, p, "foe", [&](Game& w) { return inner_.foe(w, p, inRange, needsCards); });
    }
    SeatList foes(const Game& g, int p, bool inRange) const override {
        return check(g, p, "foes", [&](Game& w) { return inner_.foes(w, p, inRange); });
    }
    int ally(const Game& g, int p, bool wounded) const override {
        return check(g, p, "ally", [&](Game& w) { return inner_.ally(w, p, wounded); });
    }
    int stance(const Game& g, int p, int q) const override {
        return check(g, p, "stance", [&](Game& w) { return inner_.stance(w, p, q); });
    }
    int discard(const Game& g, int p) const override {
        return check(g, p, "discard", [&](Game& w) { return inner_.discard(w, p); });
    }
    int payCard(const Game& g, int p, const std::function<bool(const Card&)>& fits) const override {
        return check(g, p, "pay", [&](Game& w) { return inner_.payCard(w, p, fits); });
    }
    TopOrder arrangeTop(const Game& g, int p, const CardList& top) const override {
        return check(g, p, "top", [&](Game& w) { return inner_.arrangeTop(w, p, top); });
    }
    std::size_t harvestPick(const Game& g, int p, const CardList& pool) const override {
        return check(g, p, "harvest", [&](Game& w) { return inner_.harvestPick(w, p, pool); });
    }
    bool nullify(const Game& g, int p, int from, int target, std::string_view trick,
                 bool cancelled) const override {
        return check(g, p, "nullify",
                     [&](Game& w) { return inner_.nullify(w, p, from, target, trick, cancelled); });
    }
    bool save(const Game& g, int p, int dying) const override {
        return check(g, p, "save", [&](Game& w) { return inner_.save(w, p, dying); });
    }
    int passSlash(const Game& g, int p, int from, const SeatList& candidates) const override {
        return check(g, p, "pass", [&](Game& w) { return inner_.passSlash(w, p, from, candidates); });
    }
    bool iceSword(const Game& g, int p, int target) const override {
        return check(g, p, "ice", [&](Game& w) { return inner_.iceSword(w, p, target); });
    }
    SeatList chain(const Game& g, int p) const override {
        return check(g, p, "chain", [&](Game& w) { return inner_.chain(w, p); });
    }
    int armedFoe(const Game& g, int p) const override {
        return check(g, p, "armed", [&](Game& w) { return inner_.armedFoe(w, p); });
    }
    int victim(const Game& g, int p, int armed, const SeatList& legal) const override {
        return check(g, p, "victim", [&](Game& w) { return inner_.victim(w, p, armed, legal); });
    }
    int lockTarget(const Game& g, int p, CardType t) const override {
        return check(g, p, "lock", [&](Game& w) { return inner_.lockTarget(w, p, t); });
    }
    void malePair(const Game& g, int p, const SeatList& males, int& first, int& second) const override {
        auto pair = [&](Game& w) {
            std::pair<int, int> both{-1, -1};
            inner_.malePair(w, p, males, both.first, both.second);
            return both;
        };
        std::tie(first, second) = check(g, p, "pair", pair);
    }

    const ComputerPlayer& inner_;
    PeekAudit& found_;
    mutable std::mt19937 rng_;
};

// A strong player with one peek planted: its foe is the classic one, read from true roles.
class Peeker : public ForwardingPlayer {
  public:
    Peeker() : ForwardingPlayer(strongPlayer()) {}
    int foe(const Game& g, int p, bool inRange, bool needsCards) const override {
        return classicPlayer().foe(g, p, inRange, needsCards);
    }
};

} // namespace

PeekAudit auditPeeking(const ComputerPlayer& player, std::uint32_t firstSeed, int games) {
    PeekAudit out;
    Audited audited(player, out, firstSeed);
    for (int i = 0; i < games; ++i) {
        std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(i);
        Mode mode = seed % 2 == 0 ? Normal3v3 : Identity;
        Options opt = checkedOptions(seed, false);
        opt.searchPlays = 6;
        Game game(mode, opt, nullptr);
        GameProbe g{game};
        g.players().fill(&audited);
        g.auditRoles() = true;
        game.setup();
        try {
            game.run();
        } catch (const std::exception&) {
        }
        out.roleReads += g.roleReads();
        ++out.games;
    }
    return out;
}

const ComputerPlayer& plantedPeeker() {
    static const Peeker peeker;
    return peeker;
}

void redealHidden(Game& copy, int p, std::mt19937& rng) {
    GameProbe g{copy};
    CardList& pool = g.deck();
    for (int q = 0; q < 6; ++q)
        if (q != p)
            for (const Card& c : g.seat(q).hand) pool.push_back(c);
    std::shuffle(pool.begin(), pool.end(), rng);
    for (int q = 0; q < 6; ++q) {
        if (q == p) continue;
        Hand& h = g.seat(q).hand;
        std::size_t n = h.size();
        h.clear();
        for (const Card* c = pool.end() - n; c != pool.end(); ++c) h.push_back(*c);
        for (std::size_t k = 0; k < n; ++k) pool.pop_back();
    }
    if (g.mode() != Identity) return;
    std::vector<int> hidden;
    for (int q = 0; q < 6; ++q) {
        const Player& x = g.seat(q);
        if (q != p && x.alive && !x.revealed && x.role != Lord) hidden.push_back(q);
    }
    std::vector<Role> roles;
    for (int q : hidden) roles.push_back(g.seat(q).role);
    std::shuffle(roles.begin(), roles.end(), rng);
    for (std::size_t k = 0; k < hidden.size(); ++k) g.seat(hidden[k]).role = roles[k];
}

} // namespace kvr

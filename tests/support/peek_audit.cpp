#include "tests/support/peek_audit.hpp"

#include <algorithm>
#include <memory>
#include <sstream>
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

int idOf(const Optional<Card>& c) { return c ? c->id : 0; }

// The seats whose roles seat p cannot see now.
std::vector<int> hiddenRoles(GameProbe& g, int p) {
    std::vector<int> out;
    if (g.mode() != Identity) return out;
    for (int q = 0; q < 6; ++q) {
        const Player& x = g.seat(q);
        if (q != p && x.alive && !x.revealed && x.role != Lord) out.push_back(q);
    }
    return out;
}

// The cards seat p cannot see dealt anew over the same places, except a card p saw go into the hand
// that holds it: the other hands keep their counts, the rest is the draw pile in a new order.
void redealUnseen(Game& game, int p, std::mt19937& rng) {
    GameProbe g{game};
    const auto& seen = g.seenIn()[static_cast<std::size_t>(p)];
    auto known = [&](const Card& c, int q) { return seen[static_cast<std::size_t>(c.id)] == q; };
    CardList pool = g.deck();
    for (int q = 0; q < 6; ++q)
        if (q != p)
            for (const Card& c : g.seat(q).hand)
                if (!known(c, q)) pool.push_back(c);
    std::shuffle(pool.begin(), pool.end(), rng);
    for (int q = 0; q < 6; ++q) {
        if (q == p) continue;
        Hand& h = g.seat(q).hand;
        for (std::size_t i = 0; i < h.size(); ++i) {
            if (known(h[i], q)) continue;
            h.set(i, pool.back());
            pool.pop_back();
        }
    }
    g.deck().clear();
    for (const Card& c : pool) g.deck().push_back(c);
}

// Everything private to the game and to the other seats, drawn anew: the game's engine and seed, the other
// seats' engines and what they saw of cards.
void newEngines(Game& game, int p, std::mt19937& rng) {
    GameProbe g{game};
    g.rng() = GameRng(static_cast<std::uint32_t>(rng()));
    g.opt().seed = static_cast<std::uint32_t>(rng());
    for (int q = 0; q < 6; ++q) {
        if (q == p) continue;
        g.playerRng()[static_cast<std::size_t>(q)] = (std::uint64_t(rng()) << 32) ^ rng();
        for (std::int8_t& holder : g.seenIn()[static_cast<std::size_t>(q)])
            holder = static_cast<std::int8_t>(static_cast<int>(rng() % 7) - 1);
    }
}

// Every question of the inner player is asked on the game and on a twin; the game goes on with the first.
class Paired : public ComputerPlayer {
    template <class F> auto check(const Game& game, int p, const char* what, F decide) const {
        Game& g = const_cast<Game&>(game);
        GameProbe probe{g};
        Game twin(g);
        makeTwin(twin, p, rng_);
        const ReactionTape& tape = probe.tape();
        const bool reaction =
            tape.usable && tape.boundary && tape.asking == p && tape.askingKind != Question::Action;
        found_.reactions += reaction;
        found_.answerCards +=
            reaction && (tape.askingKind == Question::Dodge || tape.askingKind == Question::SlashAnswer);
        for (std::size_t k = 0; reaction && k < tape.rollCount; ++k)
            if (!((tape.rolls[k].seers >> p) & 1)) {
                ++found_.hiddenRolls;
                break;
            }
        compareViews(g, twin, p, what);
        auto made = decide(g);
        ++found_.decisions;
        auto again = decide(twin);
        if (text(again) != text(made) && found_.differing++ == 0)
            found_.first = std::string(what) + " of seat " + std::to_string(p + 1) + ": " + text(made) +
                           " then " + text(again);
        return made;
    }

    void compareViews(Game& g, Game& twin, int p, const char* what) const {
        GameProbe a{g}, b{twin};
        std::string mine = viewText(a.viewFor(p)), theirs = viewText(b.viewFor(p));
        if (a.unseenBy(p) != b.unseenBy(p)) theirs += " unseen";
        const auto& at = a.tape().boundary;
        const auto& bt = b.tape().boundary;
        if (at && bt) {
            mine += viewText(at->viewFor(p));
            theirs += viewText(bt->viewFor(p));
        }
        if (mine != theirs && found_.viewsDiffering++ == 0)
            found_.firstView = std::string(what) + " of seat " + std::to_string(p + 1);
    }

  public:
    Paired(const ComputerPlayer& inner, PeekAudit& found, std::uint32_t seed)
        : inner_(inner), found_(found), rng_(seed) {}

    bool classic() const override { return false; }
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
    int answerCard(const Game& g, int p, CardType need, int offered) const override {
        if (offered < 0) return inner_.answerCard(g, p, need, offered);
        return check(g, p, need == Dodge ? "dodge" : "slash",
                     [&](Game& w) { return inner_.answerCard(w, p, need, offered); });
    }

    const ComputerPlayer& inner_;
    PeekAudit& found_;
    mutable std::mt19937 rng_;
};

// The strong player, with the answers inside an action turned by one hidden bit its seat should not know.
class Peeker : public ForwardingPlayer {
  public:
    explicit Peeker(Peek kind) : ForwardingPlayer(strongPlayer()), kind_(kind) {}

    bool classic() const override { return false; }
    int foe(const Game& g, int p, bool inRange, bool needsCards) const override {
        if (kind_ == Peek::TrueRole) return classicPlayer().foe(g, p, inRange, needsCards);
        return inner_.foe(g, p, inRange, needsCards);
    }
    bool nullify(const Game& g, int p, int from, int target, std::string_view trick, bool c) const override {
        return inner_.nullify(g, p, from, target, trick, c) != hidden(g, p);
    }
    bool save(const Game& g, int p, int dying) const override {
        return inner_.save(g, p, dying) != hidden(g, p);
    }
    int answerCard(const Game& g, int p, CardType need, int offered) const override {
        int out = inner_.answerCard(g, p, need, offered);
        if (offered < 0 || !hidden(g, p)) return out;
        return out < 0 ? offered : -1;
    }

  private:
    // The bit this peek reads; false where there is nothing hidden of its kind to read.
    bool hidden(const Game& game, int p) const {
        GameProbe g{const_cast<Game&>(game)};
        const ReactionTape& t = g.tape();
        switch (kind_) {
        case Peek::Boundary: {
            if (!t.usable || !t.boundary) return false;
            int sum = 0;
            for (const Card& c : t.boundary->players()[static_cast<std::size_t>((p + 1) % 6)].hand)
                sum += c.id;
            return sum % 2 == 1;
        }
        case Peek::HiddenRoll: {
            int sum = 0;
            for (std::size_t k = 0; t.usable && k < t.rollCount; ++k)
                if (!((t.rolls[k].seers >> p) & 1)) sum += t.rolls[k].value + 1;
            return sum % 2 == 1;
        }
        case Peek::Seed:
            return g.opt().seed % 2 == 1;
        case Peek::TrueRole:
            break;
        }
        return false;
    }

    Peek kind_;
};

} // namespace

std::string viewText(const SeatView& v) {
    std::ostringstream out;
    out << v.mode << ' ' << v.round << ' ' << v.drawPile << ' ' << v.discardPile << ' ' << v.current << ' '
        << v.self << ' ' << v.role << " h";
    for (const Card& c : v.hand) out << ' ' << c.id;
    out << " f" << v.drank << v.activeUsed << v.slashAllowed << v.fromBoundary;
    for (const SeenSeat& s : v.seats) {
        out << " |" << s.alive << ' ' << s.hero << ' ' << s.male << ' ' << s.hp << ' ' << s.maxHp << ' '
            << s.handCount << ' ' << idOf(s.weapon) << ' ' << idOf(s.armor) << ' ' << idOf(s.offensiveHorse)
            << ' ' << idOf(s.defensiveHorse) << ' ' << s.chained << ' ' << (s.role ? int(*s.role) : -1)
            << " d";
        for (const Card& c : s.delayed) out << c.id << ',';
    }
    for (std::size_t a = 0; a < 6; ++a) {
        out << " #";
        for (std::size_t b = 0; b < 6; ++b)
            out << v.distance[a][b] << v.reach[a][b] << ':' << v.harm[a][b] << ':' << v.help[a][b] << ' ';
        out << v.lacks[a] << ' ' << v.lackCount[a] << ' ' << int(v.passedOver[a]) << ' '
            << v.passedOverCount[a] << ' ' << int(v.noSlashReach[a]) << ' ' << v.noSlashCount[a] << ' '
            << v.keptCount[a] << " c";
        for (std::uint8_t m : v.choiceMisses[a]) out << int(m) << ',';
    }
    out << " s";
    for (std::int8_t holder : v.seenIn) out << int(holder) << ',';
    return out.str();
}

void makeTwin(Game& twin, int p, std::mt19937& rng) {
    GameProbe g{twin};
    // One new seating of the hidden roles, for the boundary as for now: a role hidden at the boundary and
    // shown since keeps its seat in both.
    std::vector<int> hidden = hiddenRoles(g, p);
    std::vector<Role> roles;
    for (int q : hidden) roles.push_back(g.seat(q).role);
    std::shuffle(roles.begin(), roles.end(), rng);
    auto reseat = [&](Game& game) {
        for (std::size_t k = 0; k < hidden.size(); ++k) GameProbe{game}.seat(hidden[k]).role = roles[k];
    };
    redealUnseen(twin, p, rng);
    reseat(twin);
    newEngines(twin, p, rng);
    ReactionTape& tape = g.tape();
    if (tape.boundary) {
        auto boundary = std::make_shared<Game>(*tape.boundary);
        redealUnseen(*boundary, p, rng);
        reseat(*boundary);
        newEngines(*boundary, p, rng);
        tape.boundary = std::move(boundary);
    }
    for (std::size_t k = 0; k < tape.rollCount; ++k) {
        TapeRoll& r = tape.rolls[k];
        if (!((r.seers >> p) & 1)) r.value = static_cast<std::int16_t>(rng() % (r.value + 3));
    }
}

PeekAudit pairedAudit(const ComputerPlayer& player, std::uint32_t firstSeed, int games, int plays) {
    PeekAudit out;
    Paired paired(player, out, firstSeed);
    for (int i = 0; i < games; ++i) {
        std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(i);
        Mode mode = seed % 2 == 0 ? Normal3v3 : Identity;
        Options opt = checkedOptions(seed, false);
        opt.searchPlays = plays;
        Game game(mode, opt, nullptr);
        GameProbe g{game};
        for (int q = 0; q < 6; ++q) game.setComputer(q, &paired);
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

const ComputerPlayer& plantedPeek(Peek kind) {
    static const Peeker boundary(Peek::Boundary), roll(Peek::HiddenRoll), seed(Peek::Seed),
        role(Peek::TrueRole);
    switch (kind) {
    case Peek::Boundary:
        return boundary;
    case Peek::HiddenRoll:
        return roll;
    case Peek::Seed:
        return seed;
    case Peek::TrueRole:
        break;
    }
    return role;
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
    std::vector<int> hidden = hiddenRoles(g, p);
    std::vector<Role> roles;
    for (int q : hidden) roles.push_back(g.seat(q).role);
    std::shuffle(roles.begin(), roles.end(), rng);
    for (std::size_t k = 0; k < hidden.size(); ++k) g.seat(hidden[k]).role = roles[k];
}

} // namespace kvr

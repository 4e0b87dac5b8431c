#include "ai/search.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "ai/belief.hpp"
#include "ai/players.hpp"
#include "model/game.hpp"
#include "model/seat_player.hpp"

namespace kvr {

namespace {

// The player's own random engine: a 64-bit state stepped by splitmix64, nothing shared with the game.
struct PlayerRng {
    using result_type = std::uint64_t;
    std::uint64_t& state;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~result_type(0); }
    result_type operator()() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
};

// How much more often a card of each type sits in a hand than its share of the unseen cards would say:
// players keep dodges, peaches and wine, and play tricks like 无中生有 at once. Measured over 10,000 games
// of classic players, both modes.
constexpr double KEPT[CARD_TYPE_COUNT] = {0.72, 0.72, 0.70, 1.79, 1.45, 2.49, 0.52, 0.77, 0.78, 0.44, 1.14,
                                          0.50, 1.75, 1.84, 0.73, 0.52, 1.17, 0.60, 0.54, 0.59, 0.50, 0.95,
                                          0.96, 0.93, 0.94, 0.94, 0.91, 0.91, 0.87, 0.95, 0.92, 0.90, 0.70,
                                          0.70, 0.70, 0.71, 0.61, 0.55, 0.56, 0.58, 0.64, 0.57};

constexpr double KEPT_MOST = 2.49;

StrongMove cardAt(int index, int target) { return StrongMove{StrongMove::Card, index, target}; }

bool hasDelayedSeen(const SeenSeat& s, CardType t) {
    for (const Card& c : s.delayed)
        if (c.type == t) return true;
    return false;
}

int cardsOf(const SeenSeat& s) {
    return s.handCount + (s.weapon ? 1 : 0) + (s.armor ? 1 : 0) + (s.offensiveHorse ? 1 : 0) +
           (s.defensiveHorse ? 1 : 0);
}

} // namespace

// The candidates: the rules of thumb's choice first, ending the phase, then every card the seat can play
// on every seat it may want to hurt, the converted slash and the hero's skill. A card of the same type and
// colour as one already offered adds nothing new and is left out.
std::vector<StrongMove> Search::candidates(int p, const SeatView& v, const std::vector<StrongMove>& tried) {
    std::vector<StrongMove> out;
    auto offer = [&](const StrongMove& m) {
        if (std::find(tried.begin(), tried.end(), m) != tried.end()) return;
        if (std::find(out.begin(), out.end(), m) != out.end()) return;
        out.push_back(m);
    };
    offer(strongMove(v, tried));
    offer(StrongMove{});
    const SeenSeat& me = v.me();
    std::vector<std::pair<CardType, bool>> seen;
    for (std::size_t i = 0; i < v.hand.size(); ++i) {
        const Card& c = v.hand[i];
        if (std::find(seen.begin(), seen.end(), std::make_pair(c.type, c.red())) != seen.end()) continue;
        seen.emplace_back(c.type, c.red());
        int index = static_cast<int>(i);
        auto foes = [&](auto fits) {
            for (int q = 0; q < 6; ++q)
                if (q != p && v.at(q).alive && strongStance(v, q) <= 0 && fits(q)) offer(cardAt(index, q));
        };
        auto near = [&](int q) {
            return me.hero == Miravel ||
                   v.distance[static_cast<std::size_t>(p)][static_cast<std::size_t>(q)] <= 1;
        };
        Kind kind = cardKind(c.type);
        if (isSlash(c.type)) {
            if (v.slashAllowed)
                foes(
                    [&](int q) { return v.reach[static_cast<std::size_t>(p)][static_cast<std::size_t>(q)]; });
        } else if (c.type == Peach) {
            if (me.hp < me.maxHp) offer(cardAt(index, -1));
        } else if (c.type == Wine) {
            if (!v.drank) offer(cardAt(index, -1));
        } else if (kind >= Weapon) {
            offer(cardAt(index, -1));
        } else if (c.type == Duel) {
            foes([&](int q) { return !(v.at(q).hero == Velisar && v.at(q).handCount == 0); });
        } else if (c.type == Steal) {
            foes([&](int q) { return near(q) && cardsOf(v.at(q)) > 0 && v.at(q).hero != Kaspen; });
        } else if (c.type == Dismantle) {
            foes([&](int q) { return cardsOf(v.at(q)) > 0; });
        } else if (c.type == FireAttack) {
            foes([&](int q) { return v.at(q).handCount > 0; });
        } else if (c.type == Indulgence) {
            foes([&](int q) { return v.at(q).hero != Kaspen && !hasDelayedSeen(v.at(q), Indulgence); });
        } else if (c.type == SupplyShortage) {
            foes([&](int q) { return near(q) && !hasDelayedSeen(v.at(q), SupplyShortage); });
        } else if (c.type == BorrowSword) {
            foes([&](int q) { return static_cast<bool>(v.at(q).weapon); });
        } else if (c.type == Lightning) {
            if (!hasDelayedSeen(me, Lightning)) offer(cardAt(index, -1));
        } else if (c.type != Dodge && c.type != Nullification) {
            offer(cardAt(index, -1));
        }
    }
    if (v.slashAllowed) offer(StrongMove{StrongMove::VirtualSlash, -1, -1});
    if (!v.activeUsed) offer(StrongMove{StrongMove::Skill, -1, -1});
    return out;
}

// The other hands within their counts and the draw pile are dealt from the cards the seat cannot see,
// the unknown roles from its belief; the world's random engine is seeded from the player's own.
// A seat seen lacking some card types gets none of them among the cards it held then.
void Search::deal(const SeatView& v, const RoleBelief& belief, std::uint64_t& state, HiddenDeal& out) {
    PlayerRng rng{state};
    auto unit = [&rng] { return static_cast<double>(rng() >> 11) * (1.0 / 9007199254740992.0); };
    const int p = v.self;
    // The roles first: what a seat's hand can hold depends on whom it would have saved.
    for (std::size_t q = 0; q < 6; ++q) {
        const Optional<Role>& r = v.seats[q].role;
        out.roles[q] = static_cast<int>(q) == p ? v.role : r ? *r : Lord;
    }
    if (v.mode == Identity) {
        double pick = unit();
        const RoleBelief::Deal* d = &belief.deals.back();
        for (const RoleBelief::Deal& each : belief.deals) {
            if (pick < each.chance) {
                d = &each;
                break;
            }
            pick -= each.chance;
        }
        out.roles = d->roles;
    }
    // In the order of their ids: where the unseen cards really lie must not change what is dealt.
    CardList pool;
    for (int id = 1; id <= DECK_SIZE; ++id)
        if (v.unseen.test(static_cast<std::size_t>(id))) pool.push_back(deckCard(id));
    // Each hand card is drawn from the unseen ones, a kept type more often than a played one: a random card
    // is taken with a chance in proportion to its weight (weighted sampling without replacement). A card
    // kept through a discard leans harder to the kept types.
    auto take = [&](std::uint64_t excluded, bool kept) {
        for (int tries = 0; tries < 200; ++tries) {
            std::size_t i = static_cast<std::size_t>(rng() % pool.size());
            const Card& c = pool[i];
            double weight = kept ? KEPT[c.type] * KEPT[c.type] : KEPT[c.type];
            double most = kept ? KEPT_MOST * KEPT_MOST : KEPT_MOST;
            if (((excluded >> c.type) & 1) || unit() * most > weight) continue;
            Card taken = c;
            pool[i] = pool.back();
            pool.pop_back();
            return taken;
        }
        Card taken = pool.back();
        pool.pop_back();
        return taken;
    };
    // What seat q's first k cards cannot be: the types it was seen to lack, and a save for a seat it
    // passed over dying that it would have saved under the dealt roles.
    const std::array<Role, 6>& roles = out.roles;
    auto excluded = [&](int q, std::size_t k) {
        const std::size_t s = static_cast<std::size_t>(q);
        std::uint64_t types = k < static_cast<std::size_t>(v.lackCount[s]) ? v.lacks[s] : 0;
        if (k < static_cast<std::size_t>(v.passedOverCount[s]))
            for (int d = 0; d < 6; ++d)
                if (((v.passedOver[s] >> d) & 1) && passLikelihood(v, roles, q, d) < 0)
                    types |= std::uint64_t(1) << Peach;
        if (k < static_cast<std::size_t>(v.noSlashCount[s]) && noSlashLikelihood(v, roles, q) < 0)
            types |=
                std::uint64_t(1) << Slash | std::uint64_t(1) << FireSlash | std::uint64_t(1) << ThunderSlash;
        return types;
    };
    std::array<CardList, 6> dealt;
    // A card the seat saw going into a hand, and not seen leaving it, is dealt there first.
    for (std::size_t i = 0; i < pool.size();) {
        int holder = v.seenIn[static_cast<std::size_t>(pool[i].id)];
        // A seat seen lacking the card's type since has let it go.
        if (holder < 0 || holder == p ||
            dealt[static_cast<std::size_t>(holder)].size() >=
                static_cast<std::size_t>(v.at(holder).handCount) ||
            ((v.lacks[static_cast<std::size_t>(holder)] >> pool[i].type) & 1)) {
            ++i;
            continue;
        }
        dealt[static_cast<std::size_t>(holder)].push_back(pool[i]);
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(i));
    }
    for (int q = 0; q < 6; ++q) {
        if (q == p) continue;
        CardList& hand = dealt[static_cast<std::size_t>(q)];
        std::size_t count = static_cast<std::size_t>(v.at(q).handCount);
        std::size_t kept = static_cast<std::size_t>(v.keptCount[static_cast<std::size_t>(q)]);
        for (std::size_t k = hand.size(); k < count && !pool.empty(); ++k)
            hand.push_back(take(excluded(q, k), k < kept));
    }
    std::shuffle(pool.begin(), pool.end(), rng);
    out.cards.clear();
    for (int q = 0; q < 6; ++q)
        for (const Card& c : dealt[static_cast<std::size_t>(q)]) out.cards.push_back(c.id);
    for (const Card& c : pool) out.cards.push_back(c.id);
    out.seed = rng();
}

// The seat plays on as it would, by its rules of thumb. In the team game its team does too and the other
// team plays as the classic player. In the hidden-role game everybody else plays as the classic player,
// its friends too: measured, that judges its moves as well as friends playing by the rules of thumb or
// better, and a classic seat has no view to build, so a play costs far less.
void Search::castWorld(Game& world, int p) {
    const Role mine = world.players()[static_cast<std::size_t>(p)].role;
    for (int q = 0; q < 6; ++q)
        if (q == p ||
            (world.mode() == Normal3v3 && world.players()[static_cast<std::size_t>(q)].role == mine))
            world.setComputer(q, &rulesOfThumbPlayer());
}

namespace {
std::atomic<long> playsDone{0};

// A play of the hidden-role game goes eight times as far and spends IDENTITY_PLAYS_SHARE of the budget's
// plays: it is counted as what it spends, so the calibration measures the budget whatever the mode.
long budgetShare(const Game& world) { return world.mode() == Identity ? Search::IDENTITY_PLAYS_SHARE : 1; }

// Counts a play of the world from its state before the play.
void countPlay(const Game& world, long actionsBefore) {
    SearchWork& w = searchWork();
    w.plays += budgetShare(world);
    w.actions += world.counts().actions - actionsBefore;
}
} // namespace

long strongPlaysDone() { return playsDone.load(); }

int Search::playsFor(const SeatView& v, int plays) {
    return v.mode == Identity ? plays / IDENTITY_PLAYS_SHARE : plays;
}

int Search::closeRounds(const SeatView& v) { return v.mode == Identity ? CLOSE_ROUNDS : 0; }

long Search::actionCap(const SeatView& v, int plays) {
    return static_cast<long>(plays) * (v.mode == Identity ? IDENTITY_CAP_PER_PLAY : TEAM_CAP_PER_PLAY);
}

// The mean of the differences, world by world, lies within CLOSE_ERRORS standard errors of nothing. A
// refused move scores minus infinity, and a difference with it is never close.
bool Search::closeChoice(const std::vector<double>& differences) {
    const double n = static_cast<double>(differences.size());
    if (differences.size() < 2) return true;
    double sum = 0, squares = 0;
    for (double x : differences) sum += x, squares += x * x;
    const double mean = sum / n;
    const double variance = std::max(0.0, (squares - n * mean * mean) / (n - 1));
    return mean * mean <= CLOSE_ERRORS * CLOSE_ERRORS * variance / n;
}

long Search::horizonFor(const Game& world) { return world.mode() == Identity ? IDENTITY_HORIZON : HORIZON; }

double Search::tryMove(Game& world, int p, const StrongMove& m) {
    playsDone.fetch_add(budgetShare(world), std::memory_order_relaxed);
    const long before = world.counts().actions;
    castWorld(world, p);
    const bool played = world.playAction(p, m);
    if (played && !world.ended()) world.playOn(horizonFor(world));
    countPlay(world, before);
    return played ? score(world, p) : -std::numeric_limits<double>::infinity();
}

// What the world is worth to seat p's side, by the roles dealt in it: every living seat counts for its
// hit points and cards, for p's side or against it as p regards its role; an ended game is won or lost.
// In the team game a lead is worth less the larger it grows, as a game nearly won is worth little more
// than one clearly ahead: the search then weighs a move by how it moves the odds more than by the
// cards and hit points it gains (against the classic player, 84.8% of 1,000 games won with the plain
// sum, 87.8% levelled off). Square root and division only, so that every platform rounds alike.
double Search::score(const Game& world, int p) {
    const std::array<Player, 6>& ps = world.players();
    const Player& me = ps[static_cast<std::size_t>(p)];
    int others = 0;
    for (int q = 0; q < 6; ++q) others += q != p && ps[static_cast<std::size_t>(q)].alive;
    if (world.ended()) {
        std::string_view r = world.resultText();
        bool won = false;
        if (world.mode() == Normal3v3)
            won = (r == "汉军获胜！") == (me.role == TeamHan);
        else if (me.role == Renegade)
            won = r.find("内奸获胜") != std::string::npos;
        else if (me.role == Rebel)
            won = r.find("反贼获胜") != std::string::npos;
        else
            won = r.find("主公/忠臣获胜") != std::string::npos;
        if (r.find("平局") != std::string::npos) return 0;
        return won ? 1000 : -1000;
    }
    double total = 0;
    for (int q = 0; q < 6; ++q) {
        const Player& x = ps[static_cast<std::size_t>(q)];
        if (!x.alive) continue;
        double side = q == p                      ? 1.0
                      : world.mode() == Normal3v3 ? (x.role == me.role ? 1.0 : -1.0)
                                                  : strongRoleWorth(me.role, x.role, others) / 3.0;
        double equipment = x.weapon.has_ + x.armor.has_ + x.offensiveHorse.has_ + x.defensiveHorse.has_;
        double worth = 12 + 6.0 * x.hp + 1.5 * static_cast<double>(x.hand.size()) + 2.0 * equipment;
        // The Lord decides the hidden-role game for every side: its life weighs more than its points.
        if (world.mode() == Identity && x.role == Lord) worth *= 2.5;
        total += side * worth;
    }
    if (world.mode() == Normal3v3) {
        const double x = total / TEAM_LEAD;
        return 1000.0 * x / std::sqrt(1.0 + x * x);
    }
    return total;
}

namespace {

// What came of one world in a halving: every living candidate scored, the world left out (its replay
// went astray), or no world could be built and the search gives up.
enum class WorldPlayed { Scored, LeftOut, Failed };

// Successive halving over `count` candidates and about `plays` plays: every candidate is played in the
// same worlds, the better half goes on to fresh worlds with twice the share each, until one is left.
// `play(alive, scores)` deals a fresh world and writes the score of each candidate in `alive` into
// `scores`. Each round may play up to its share of `cap` phases and actions, what the rounds before
// left over included; the last two go on in fresh worlds while their choice is close, at most
// `closeRounds` times and within the cap.
// Candidates are in order of preference: on equal totals the earlier stays, and a failed world gives
// the first.
template <class Play> std::size_t halve(std::size_t count, int plays, long cap, int closeRounds, Play play) {
    std::vector<std::size_t> alive(count);
    for (std::size_t k = 0; k < alive.size(); ++k) alive[k] = k;
    std::vector<double> total(count, 0);
    std::vector<double> scores(count, 0);
    int rounds = 0;
    for (std::size_t n = count; n > 1; n = (n + 1) / 2) ++rounds;
    const long start = searchWork().actions;
    std::vector<double> differences;
    for (int round = 0; round < rounds; ++round) {
        const int worlds = std::max(2, plays / (rounds * static_cast<int>(alive.size())));
        const long allowed = cap * (round + 1) / rounds;
        const bool last = alive.size() == 2;
        for (int extra = 0; extra <= (last ? closeRounds : 0); ++extra) {
            if (extra > 0 && !Search::closeChoice(differences)) break;
            for (int w = 0; w < worlds; ++w) {
                if (w + extra > 0 && searchWork().actions - start >= (extra > 0 ? cap : allowed)) break;
                const WorldPlayed r = play(alive, scores);
                if (r == WorldPlayed::Failed) return 0;
                if (r == WorldPlayed::LeftOut) continue;
                for (std::size_t k : alive) total[k] += scores[k];
                if (last) differences.push_back(scores[alive[0]] - scores[alive[1]]);
            }
        }
        std::stable_sort(alive.begin(), alive.end(),
                         [&total](std::size_t a, std::size_t b) { return total[a] > total[b]; });
        alive.resize((alive.size() + 1) / 2);
    }
    return alive.front();
}

} // namespace

// The number of plays and the cap, not the clock, bound the work, so the same game gives the same
// decision on any machine.
StrongMove Search::bestMove(SeatDesk& d, const std::vector<StrongMove>& tried) {
    const SeatView& v = d.view();
    const int p = d.seat();
    std::vector<StrongMove> moves = candidates(p, v, tried);
    if (moves.size() == 1) return moves.front();
    d.unseen();
    std::uint64_t& state = d.rng();
    RoleBelief belief = roleBelief(v);
    HiddenDeal hidden;
    Game base(Normal3v3, Options{}, nullptr);
    Game world(Normal3v3, Options{}, nullptr);
    auto play = [&](const std::vector<std::size_t>& alive, std::vector<double>& scores) {
        deal(v, belief, state, hidden);
        if (!d.world(hidden, base)) return WorldPlayed::Failed;
        for (std::size_t k : alive) {
            world = base;
            scores[k] = tryMove(world, p, moves[k]);
        }
        return WorldPlayed::Scored;
    };
    return moves[halve(moves.size(), playsFor(v, d.plays()), actionCap(v, d.plays()), closeRounds(v), play)];
}

// The same halving over answers to a question asked inside an action: each world is the table at the
// last action boundary, dealt from the seat's view there (its roles from the belief of now), playing the
// action again up to the question. A world whose replay went astray before the question tells nothing
// and is left out for every answer.
int Search::bestAnswer(SeatDesk& d, const std::vector<int>& answers, int plays) {
    if (answers.size() < 2 || !d.resumable()) return answers.empty() ? -1 : answers.front();
    const SeatView& at = d.boundaryView();
    const int p = d.seat();
    std::uint64_t& state = d.rng();
    RoleBelief belief = roleBelief(d.view());
    HiddenDeal hidden;
    Game world(Normal3v3, Options{}, nullptr);
    auto play = [&](const std::vector<std::size_t>& alive, std::vector<double>& scores) {
        deal(at, belief, state, hidden);
        for (std::size_t k : alive) {
            if (!d.reactionWorld(hidden, answers[k], world)) return WorldPlayed::Failed;
            playsDone.fetch_add(budgetShare(world), std::memory_order_relaxed);
            const long before = world.counts().actions;
            castWorld(world, p);
            world.playOn(horizonFor(world));
            countPlay(world, before);
            if (world.replayFailed()) return WorldPlayed::LeftOut;
            scores[k] = score(world, p);
        }
        return WorldPlayed::Scored;
    };
    // The cap is counted in the budget's plays, of which a play of the hidden-role game spends two.
    const long cap = actionCap(at, at.mode == Identity ? plays * IDENTITY_PLAYS_SHARE : plays);
    return answers[halve(answers.size(), plays, cap, closeRounds(at), play)];
}

} // namespace kvr

// The strong player's rules of thumb for its play phase: the next action, and the targets it aims its
// cards at. The search (ai/search.cpp) offers this action first among its candidates, and the seats of its
// own side play by it in the worlds the search deals.
#include <algorithm>

#include "ai/strong.hpp"
#include "ai/strong_view.hpp"

namespace kvr {

using namespace view;

namespace {

// A plain slash that the target's armour stops; the Qinggang sword ignores armour.
bool armourStops(const SeatView& v, int q, const Card& c, bool knownCard) {
    const SeenSeat& t = v.at(q);
    const SeenSeat& me = v.me();
    if (!t.armor || (me.weapon && me.weapon->type == QinggangSword)) return false;
    Nature nat = slashNature(c.type);
    if (c.type == Slash && me.weapon && me.weapon->type == ZhuqueFan) nat = Fire;
    if (nat != Normal) return false;
    if (t.armor->type == Vine) return true;
    return t.armor->type == RenwangShield && (!knownCard || !c.red());
}

// How much a slash with card c at foe q is worth; below 0 when it is not worth a slash at all.
int slashScore(const SeatView& v, int q, const Card& c, bool knownCard) {
    const SeenSeat& t = v.at(q);
    if (!v.reach[static_cast<std::size_t>(v.self)][static_cast<std::size_t>(q)]) return -1;
    int st = strongStance(v, q);
    if (st >= 0 || armourStops(v, q, c, knownCard)) return -1;
    int s = 10 * -st;
    if (t.hp <= 1) s += 30;
    if (t.hp == 2) s += 15;
    if (t.handCount == 0) s += 25;
    if (t.handCount == 1) s += 10;
    bool qinggang = v.me().weapon && v.me().weapon->type == QinggangSword;
    if (t.armor && t.armor->type == EightDiagrams && !qinggang) s -= 12;
    if (t.armor && t.armor->type == Vine && slashNature(c.type) == Fire) s += 15;
    if (v.mode == Identity && v.role == Rebel && t.role && *t.role == Lord) s += 25;
    // Short of a kill, a hit on 反馈 or 刚烈 costs the slasher; one on 遗计 or 奸雄 feeds the foe cards.
    if (t.hp > 1 && (t.hero == Thessil || t.hero == Korveth)) s -= 30;
    if (t.hp > 1 && (t.hero == Lirren || t.hero == Varnok)) s -= 15;
    return s;
}

int lockScore(const SeatView& v, int q, CardType t) {
    const SeenSeat& s = v.at(q);
    int st = strongStance(v, q);
    if (q == v.self || !s.alive || st >= 0 || holds(s, t)) return -1;
    if (t == Indulgence && s.hero == Kaspen) return -1;
    if (t == SupplyShortage && v.me().hero != Miravel &&
        v.distance[static_cast<std::size_t>(v.self)][static_cast<std::size_t>(q)] > 1)
        return -1;
    return 10 * -st + 3 * s.handCount + s.hp;
}

int bestLockTarget(const SeatView& v, CardType t) {
    int best = -1;
    int score = -1;
    for (int q : living(v)) {
        int s = lockScore(v, q, t);
        if (s > score) {
            best = q;
            score = s;
        }
    }
    return best;
}

// Expected gain of an area trick: foes likely to be hit minus friends likely to be hit.
int areaGain(const SeatView& v) {
    int gain = 0;
    for (int q : living(v)) {
        const SeenSeat& s = v.at(q);
        if (s.armor && s.armor->type == Vine) continue;
        int st = strongStance(v, q);
        int weight = (s.handCount == 0 ? 3 : s.handCount <= 2 ? 2 : 1) + (s.hp <= 1 ? 2 : 0);
        if (st < 0) gain += weight;
        if (st > 0) gain -= weight + 1;
    }
    return gain;
}

int suitCount(const SeatView& v, int except) {
    std::array<bool, 4> seen{};
    for (std::size_t i = 0; i < v.hand.size(); ++i)
        if (static_cast<int>(i) != except) seen[static_cast<std::size_t>(v.hand[i].suit)] = true;
    return static_cast<int>(std::count(seen.begin(), seen.end(), true));
}

StrongMove cardMove(int index, int target = -1) { return StrongMove{StrongMove::Card, index, target}; }

// Whether the hero's play-phase skill is worth using now.
bool skillWorth(const SeatView& v) {
    const SeenSeat& me = v.me();
    int n = static_cast<int>(v.hand.size());
    switch (me.hero) {
    case Ormaen:
        return n >= 3 && strongFriend(v, false, false) >= 0;
    case Corvane:
        return n >= 3;
    case Brannoc:
        return me.hp > 2 || (me.hp == 2 && find(v, Peach) >= 0);
    case Elthar:
        return n > 0 && v.hand[0].type != Peach && strongFoe(v, false) >= 0;
    case Mendrel:
        return n > 0 && v.hand[0].type != Peach && strongFriend(v, true, false) >= 0;
    case Valessa: {
        if (me.hp >= me.maxHp || n < 2) return false;
        int f = strongFriend(v, true, false);
        return f >= 0 && v.at(f).male;
    }
    case Serafae: {
        int foes = 0;
        int others = 0;
        for (int q : living(v)) {
            if (!v.at(q).male) continue;
            int st = strongStance(v, q);
            foes += st < 0;
            others += st <= 0;
        }
        return n > 0 && foes >= 1 && others >= 2;
    }
    case Ranvik: {
        for (const Card& c : v.hand)
            if (!c.red()) return c.type != Peach && strongFoe(v, true) >= 0;
        return false;
    }
    case Nimeri: {
        for (const Card& c : v.hand)
            if (c.suit == Diamond) return c.type != Peach && bestLockTarget(v, Indulgence) >= 0;
        return false;
    }
    default:
        return false;
    }
}

StrongMove slashMove(const SeatView& v) {
    if (!v.slashAllowed) return {};
    int bestIndex = -1;
    int bestTarget = -1;
    int bestScore = -1;
    for (std::size_t i = 0; i < v.hand.size(); ++i) {
        if (!isSlash(v.hand[i].type)) continue;
        for (int q : living(v)) {
            int s = slashScore(v, q, v.hand[i], true);
            if (s > bestScore) {
                bestIndex = static_cast<int>(i);
                bestTarget = q;
                bestScore = s;
            }
        }
    }
    if (bestIndex < 0) {
        if (strongSlashTarget(v) < 0) return {};
        bool spear = v.me().weapon && v.me().weapon->type == SerpentSpear && v.hand.size() >= 4;
        bool converts = slashCards(v) > 0 || spear;
        return converts ? StrongMove{StrongMove::VirtualSlash, -1, -1} : StrongMove{};
    }
    const SeenSeat& t = v.at(bestTarget);
    int wine = find(v, Wine);
    if (wine >= 0 && !v.drank && (t.handCount <= 1 || t.hp <= 2)) return cardMove(wine);
    return cardMove(bestIndex, bestTarget);
}

} // namespace

int strongSlashTarget(const SeatView& v) {
    int best = -1;
    int score = -1;
    for (int q : living(v)) {
        int s = slashScore(v, q, Card{0, Slash, Spade, 1}, false);
        if (s > score) {
            best = q;
            score = s;
        }
    }
    return best;
}

StrongMove strongMove(const SeatView& v, const std::vector<StrongMove>& failed) {
    const SeenSeat& me = v.me();
    auto offer = [&failed](const StrongMove& m) { return m.kind != StrongMove::Stop && !tried(failed, m); };

    int peach = find(v, Peach);
    if (peach >= 0 && me.hp < me.maxHp && offer(cardMove(peach))) return cardMove(peach);

    int slashes = slashCards(v);
    // Cards beyond the hand limit are lost in the discard phase: spend them on thinner chances.
    bool spare = static_cast<int>(v.hand.size()) > std::max(0, me.hp);
    for (std::size_t i = 0; i < v.hand.size(); ++i) {
        const Card& c = v.hand[i];
        Kind k = cardKind(c.type);
        if (k < Weapon) continue;
        bool empty = (k == Weapon && !me.weapon) || (k == Armor && !me.armor) ||
                     (k == OffensiveHorse && !me.offensiveHorse) ||
                     (k == DefensiveHorse && !me.defensiveHorse);
        bool crossbow = c.type == Crossbow && me.weapon && me.weapon->type != Crossbow && slashes >= 3;
        StrongMove m = cardMove(static_cast<int>(i));
        if ((empty || crossbow) && offer(m)) return m;
    }

    int exNihilo = find(v, ExNihilo);
    if (exNihilo >= 0 && offer(cardMove(exNihilo))) return cardMove(exNihilo);

    StrongMove skill{StrongMove::Skill, -1, -1};
    if (!v.activeUsed && skillWorth(v) && offer(skill)) return skill;

    for (CardType t : {Indulgence, SupplyShortage}) {
        int i = find(v, t);
        int q = i >= 0 ? bestLockTarget(v, t) : -1;
        if (q >= 0 && offer(cardMove(i, q))) return cardMove(i, q);
    }

    for (CardType t : {Dismantle, Steal}) {
        int i = find(v, t);
        if (i < 0) continue;
        int best = -1;
        int score = -1;
        for (int q : living(v)) {
            const SeenSeat& s = v.at(q);
            int st = strongStance(v, q);
            if (st >= 0 || totalCards(s) == 0) continue;
            if (t == Steal &&
                (s.hero == Kaspen ||
                 (me.hero != Miravel &&
                  v.distance[static_cast<std::size_t>(v.self)][static_cast<std::size_t>(q)] > 1)))
                continue;
            int sc = 10 * -st + 2 * totalCards(s) + (s.handCount <= 2 ? 4 : 0) - 5 * s.hp;
            if (sc > score) {
                best = q;
                score = sc;
            }
        }
        if (best >= 0 && offer(cardMove(i, best))) return cardMove(i, best);
    }

    StrongMove hit = slashMove(v);
    if (offer(hit)) return hit;

    int duel = find(v, Duel);
    if (duel >= 0) {
        int best = -1;
        int fewest = 99;
        for (int q : living(v)) {
            const SeenSeat& s = v.at(q);
            if (strongStance(v, q) >= 0 || (s.hero == Velisar && s.handCount == 0)) continue;
            int n = s.handCount - (s.hp <= 1 ? 1 : 0);
            if (n < fewest) {
                best = q;
                fewest = n;
            }
        }
        bool safe = best >= 0 && (spare || slashes >= 1 || v.at(best).handCount == 0 ||
                                  (slashes == 0 && v.at(best).handCount <= 1 && me.hp >= 3));
        if (safe && offer(cardMove(duel, best))) return cardMove(duel, best);
    }

    int fire = find(v, FireAttack);
    if (fire >= 0 && suitCount(v, fire) >= (spare ? 2 : 3)) {
        int best = -1;
        int score = -1;
        for (int q : living(v)) {
            const SeenSeat& s = v.at(q);
            int st = strongStance(v, q);
            if (st >= 0 || s.handCount == 0) continue;
            int sc = 10 * -st + (s.armor && s.armor->type == Vine ? 20 : 0) + (s.hp <= 1 ? 15 : 0) +
                     (s.chained ? 5 : 0);
            if (sc > score) {
                best = q;
                score = sc;
            }
        }
        if (best >= 0 && offer(cardMove(fire, best))) return cardMove(fire, best);
    }

    int borrow = find(v, BorrowSword);
    if (borrow >= 0) {
        for (int q : living(v)) {
            if (!v.at(q).weapon || strongStance(v, q) >= 0) continue;
            bool victim = false;
            for (int r : living(v))
                victim = victim || (r != q && strongStance(v, r) < 0 &&
                                    v.reach[static_cast<std::size_t>(q)][static_cast<std::size_t>(r)]);
            if (victim && offer(cardMove(borrow, q))) return cardMove(borrow, q);
        }
    }

    for (CardType t : {Barbarians, Arrows}) {
        int i = find(v, t);
        if (i >= 0 && areaGain(v) > (spare ? -1 : 0) && offer(cardMove(i))) return cardMove(i);
    }

    int chain = find(v, IronChain);
    if (chain >= 0 && offer(cardMove(chain))) return cardMove(chain);

    int harvest = find(v, Harvest);
    if (harvest >= 0) {
        int friends = 1;
        int foes = 0;
        for (int q : living(v)) {
            int st = strongStance(v, q);
            friends += st > 0;
            foes += st <= 0;
        }
        if (friends >= foes && offer(cardMove(harvest))) return cardMove(harvest);
    }

    int garden = find(v, PeachGarden);
    if (garden >= 0) {
        int good = 0;
        for (int q = 0; q < 6; ++q) {
            const SeenSeat& s = v.at(q);
            if (!s.alive || s.hp >= s.maxHp) continue;
            int st = strongStance(v, q);
            good += st > 0 ? 1 : st < 0 ? -1 : 0;
        }
        if (good > 0 && offer(cardMove(garden))) return cardMove(garden);
    }
    return {};
}

int strongLock(const SeatView& v, CardType t) { return bestLockTarget(v, t); }

} // namespace kvr

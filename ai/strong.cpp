#include <algorithm>

#include "ai/strong.hpp"

#include "ai/belief.hpp"

namespace kvr {

namespace {

bool lordSide(Role r) { return r == Lord || r == Loyalist; }

int count(const std::vector<Card>& hand, CardType t) {
    return static_cast<int>(
        std::count_if(hand.begin(), hand.end(), [t](const Card& c) { return c.type == t; }));
}

int find(const SeatView& v, CardType t) {
    for (std::size_t i = 0; i < v.hand.size(); ++i)
        if (v.hand[i].type == t) return static_cast<int>(i);
    return -1;
}

int slashCards(const SeatView& v) {
    int n = 0;
    for (const Card& c : v.hand)
        n += isSlash(c.type) || (v.me().hero == Keldar && c.red()) ||
             (v.me().hero == Jorvane && c.type == Dodge);
    return n;
}

bool holds(const SeenSeat& s, CardType t) {
    for (const Card& c : s.delayed)
        if (c.type == t) return true;
    return false;
}

int totalCards(const SeenSeat& s) {
    return s.handCount + (s.weapon ? 1 : 0) + (s.armor ? 1 : 0) + (s.offensiveHorse ? 1 : 0) +
           (s.defensiveHorse ? 1 : 0);
}

bool tried(const std::vector<StrongMove>& list, const StrongMove& m) {
    return std::find(list.begin(), list.end(), m) != list.end();
}

SeatList living(const SeatView& v) {
    SeatList out;
    for (int q = 0; q < 6; ++q)
        if (q != v.self && v.at(q).alive) out.push_back(q);
    return out;
}

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

// The Renegade keeps the Lord alive while others remain and hunts the Rebels first.
int strongRoleWorth(Role mine, Role r, int others) {
    switch (mine) {
    case Lord:
    case Loyalist:
        return lordSide(r) ? 3 : r == Rebel ? -3 : -2;
    case Rebel:
        return lordSide(r) ? -3 : r == Rebel ? 3 : -1;
    default:
        if (r == Lord) return others > 1 ? 1 : -3;
        return r == Rebel ? -2 : -1;
    }
}

// The hidden-role stance is what the viewer expects a seat to be worth to it, over its belief about that
// seat's role, rounded to the scale the rules of thumb use.
int strongStance(const SeatView& v, int q) {
    if (q == v.self) return 4;
    const Optional<Role>& known = v.at(q).role;
    if (v.mode == Normal3v3) return known && *known == v.role ? 3 : -3;
    if (!v.stancesKnown) {
        RoleBelief belief = roleBelief(v);
        int others = static_cast<int>(living(v).size());
        for (int s = 0; s < 6; ++s) {
            double expected = 0;
            for (int r = Lord; r <= Renegade; ++r)
                expected += belief.chance[static_cast<std::size_t>(s)][static_cast<std::size_t>(r)] *
                            strongRoleWorth(v.role, static_cast<Role>(r), others);
            v.stances[static_cast<std::size_t>(s)] = expected >= 2.4   ? 3
                                                     : expected >= 0.8 ? 1
                                                     : expected > -0.8 ? 0
                                                     : expected > -1.8 ? -1
                                                     : expected > -2.6 ? -2
                                                                       : -3;
        }
        v.stancesKnown = true;
    }
    return v.stances[static_cast<std::size_t>(q)];
}

int strongKeep(const SeatView& v, const Card& c) {
    const SeenSeat& me = v.me();
    int same = count(v.hand, c.type);
    bool hurt = me.hp < me.maxHp;
    switch (c.type) {
    case Peach:
        return hurt ? 110 : 100;
    case ExNihilo:
        return 95;
    case Dodge:
        return same >= 2 ? 60 : me.hp <= 2 ? 92 : 85;
    case Nullification:
        return 80;
    case Slash:
    case FireSlash:
    case ThunderSlash: {
        bool many = (me.weapon && me.weapon->type == Crossbow) || me.hero == Rhoskan;
        int slashes = 0;
        for (const Card& h : v.hand) slashes += isSlash(h.type);
        return slashes >= 2 && !many ? 42 : 62;
    }
    case Wine:
        return me.hp <= 1 ? 70 : 45;
    case Indulgence:
        return 72;
    case Steal:
        return 66;
    case Dismantle:
        return 64;
    case Barbarians:
    case Arrows:
        return 58;
    case Duel:
        return 56;
    case PeachGarden:
        return 52;
    case Harvest:
        return 48;
    case BorrowSword:
        return 44;
    case IronChain:
        return 40;
    case FireAttack:
        return 35;
    case SupplyShortage:
        return 55;
    case Lightning:
        return 5;
    default:
        break;
    }
    switch (cardKind(c.type)) {
    case Weapon:
        return me.weapon ? 15 : 68;
    case Armor:
        return me.armor ? 15 : 74;
    case OffensiveHorse:
        return me.offensiveHorse ? 12 : 60;
    case DefensiveHorse:
        return me.defensiveHorse ? 12 : 66;
    default:
        return 50;
    }
}

int strongDiscard(const SeatView& v) {
    int low = v.hand.empty() ? -1 : 0;
    for (std::size_t i = 1; i < v.hand.size(); ++i)
        if (strongKeep(v, v.hand[i]) < strongKeep(v, v.hand[static_cast<std::size_t>(low)]))
            low = static_cast<int>(i);
    return low;
}

int strongCheapest(const SeatView& v, const std::function<bool(const Card&)>& fits) {
    int low = -1;
    for (std::size_t i = 0; i < v.hand.size(); ++i)
        if (fits(v.hand[i]) &&
            (low < 0 || strongKeep(v, v.hand[i]) < strongKeep(v, v.hand[static_cast<std::size_t>(low)])))
            low = static_cast<int>(i);
    return low;
}

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

int strongFoe(const SeatView& v, bool cards) {
    int best = -1;
    int score = -99999;
    for (int q : living(v)) {
        const SeenSeat& s = v.at(q);
        int st = strongStance(v, q);
        int n = totalCards(s);
        if (st >= 0 || (cards && n == 0)) continue;
        int sc = 10 * -st + 3 * n + 15 * (s.maxHp - s.hp) - 4 * s.hp;
        if (v.mode == Identity && v.role == Rebel && s.role && *s.role == Lord) sc += 25;
        if (sc > score) {
            best = q;
            score = sc;
        }
    }
    return best;
}

int strongFriend(const SeatView& v, bool wounded, bool self) {
    int best = -1;
    int score = -99999;
    for (int q = 0; q < 6; ++q) {
        const SeenSeat& s = v.at(q);
        if (!s.alive || (q == v.self && !self) || strongStance(v, q) <= 0) continue;
        if (wounded && s.hp >= s.maxHp) continue;
        int sc = (s.maxHp - s.hp) * 20 - s.handCount + (s.role && *s.role == Lord ? 10 : 0);
        if (sc > score) {
            best = q;
            score = sc;
        }
    }
    return best;
}

bool strongNullify(const SeatView& v, int target, std::string_view trick, bool cancelled) {
    bool good = helpfulTrick(trick) || (trick == "铁索连环" && v.at(target).chained);
    int st = strongStance(v, target);
    if (st == 0) return false;
    bool wanted = (st > 0) == good;
    if (!cancelled) {
        if (wanted) return false;
        // A foe's gain is worth a nullification only when it is a whole draw of two.
        if (good) return trick == "无中生有";
        if (trick == "铁索连环" || trick == "闪电") return false;
        if (target == v.self) {
            bool dodge = find(v, Dodge) >= 0 || (v.me().armor && v.me().armor->type == EightDiagrams);
            if (trick == "万箭齐发" && dodge) return false;
            if (trick == "南蛮入侵" && slashCards(v) > 0) return false;
        }
        return true;
    }
    return wanted && (!good || trick == "无中生有" || st >= 3);
}

bool strongSave(const SeatView& v, int dying) {
    if (dying == v.self) return true;
    return strongStance(v, dying) > 0;
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

void strongMalePair(const SeatView& v, int& first, int& second) {
    first = -1;
    second = -1;
    int firstScore = -99;
    for (int q : living(v)) {
        int st = strongStance(v, q);
        if (v.at(q).male && st < 0 && -st * 10 - v.at(q).hp > firstScore) {
            first = q;
            firstScore = -st * 10 - v.at(q).hp;
        }
    }
    int secondScore = -99;
    for (int q : living(v)) {
        int st = strongStance(v, q);
        if (q == first || !v.at(q).male || st > 0) continue;
        int sc = -st * 10 - v.at(q).handCount;
        if (sc > secondScore) {
            second = q;
            secondScore = sc;
        }
    }
}

SeatList strongFoes(const SeatView& v, bool inReach) {
    SeatList out;
    for (int q : living(v))
        if (strongStance(v, q) < 0 &&
            (!inReach || v.reach[static_cast<std::size_t>(v.self)][static_cast<std::size_t>(q)]))
            out.push_back(q);
    return out;
}

int strongVictim(const SeatView& v, int armed, const SeatList& legal) {
    int best = -1;
    int score = -1;
    for (int q : legal) {
        if (q == armed) continue;
        int st = strongStance(v, q);
        int sc = st < 0 ? 10 * -st + 20 - 5 * v.at(q).hp : st == 0 ? 1 : 0;
        if (sc > score) {
            best = q;
            score = sc;
        }
    }
    return best;
}

} // namespace kvr

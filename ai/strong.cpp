// The strong player's rules of thumb for everything but its play-phase moves: how it stands to each seat,
// what cards are worth to it, and its answers when the rules ask it (nullify, save, targets, pairs).
#include <algorithm>

#include "ai/belief.hpp"
#include "ai/strong.hpp"
#include "ai/strong_view.hpp"

namespace kvr {

using namespace view;

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
        int others = static_cast<int>(living(v).size());
        // Every role known (as in a search's worlds): each seat's worth is its role's, with no belief to
        // weigh.
        bool open = std::all_of(v.seats.begin(), v.seats.end(), [](const SeenSeat& s) { return s.role; });
        std::array<std::array<double, 6>, 6> chance{};
        if (open)
            for (std::size_t s = 0; s < 6; ++s) chance[s][static_cast<std::size_t>(*v.seats[s].role)] = 1;
        else
            chance = roleBelief(v).chance;
        for (int s = 0; s < 6; ++s) {
            double expected = 0;
            for (int r = Lord; r <= Renegade; ++r)
                expected += chance[static_cast<std::size_t>(s)][static_cast<std::size_t>(r)] *
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

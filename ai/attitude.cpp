#include <array>

#include "ai/players.hpp"
#include "model/game.hpp"

namespace kvr {

namespace {

// How a seat of role a regards another of role b, by mode: 3 firm friend, -3 firm foe, -2 and -1 weak
// foes. Rows and columns in Role order; in 3v3 only the teams matter.
constexpr int ATTITUDES[2][6][6] = {
    {{3, -3, 3, -3, 3, -3}, {-3, 3, -3, 3, -3, 3}, {0}, {0}, {0}, {0}},
    {{0}, {0}, {3, 3, 3, 3, -3, -2}, {3, 3, 3, 3, -3, -2}, {3, 3, -3, -3, 3, -1}, {-1, -1, -1, -1, -1, -1}},
};

// The roles each role regards as friends (row 0) and as foes (row 1), by mode: bit r for role r.
constexpr std::array<std::array<std::array<unsigned, 6>, 2>, 2> sidedRoles() {
    std::array<std::array<std::array<unsigned, 6>, 2>, 2> out{};
    for (int mode = 0; mode < 2; ++mode)
        for (int a = 0; a < 6; ++a)
            for (int b = 0; b < 6; ++b) {
                int s = ATTITUDES[mode][a][b];
                if (s > 0) out[mode][0][a] |= 1U << b;
                if (s < 0) out[mode][1][a] |= 1U << b;
            }
    return out;
}
constexpr auto SIDED_ROLES = sidedRoles();

} // namespace

// How seat a regards seat b by true roles: 4 self, 3 firm friend, -3 firm foe, -2 and -1 weak foes.
int Game::attitude(int a, int b) const {
    if (auditRoles_) auditRoleRead(a);
    if (a == b) return 4;
    return ATTITUDES[mode_][ps_[a].role][ps_[b].role];
}

// The seats other than p that p regards as friends (sign 1) or foes (sign -1) among `seats` (bit i: seat
// i). The classic player asks this on every action: one row of the attitude table serves every seat.
unsigned Game::seatsBy(int p, int sign, unsigned seats) const {
    seats &= ~(1U << p);
    if (auditRoles_) auditRoleReads(p, seats);
    const unsigned roles = SIDED_ROLES[mode_][sign < 0][ps_[p].role];
    return seats & seatsWhere([roles](const Player& x) { return (roles >> x.role) & 1U; });
}

namespace {

SeatList listOf(unsigned seats) {
    SeatList out;
    for (int i = 0; i < 6; ++i)
        if ((seats >> i) & 1) out.push_back(i);
    return out;
}

} // namespace

SeatList Game::allies(int p) const { return listOf(seatsBy(p, 1, livingSeats())); }

SeatList Game::enemies(int p, bool inRange) const { return listOf(foeSeats(p, inRange)); }

unsigned Game::foeSeats(int p, bool inRange) const {
    return seatsBy(p, -1, inRange ? slashable(p) : livingSeats());
}

int Game::aiAlly(int p, bool wounded) const {
    int best = -1;
    int score = -99999;
    for (unsigned friends = seatsBy(p, 1, livingSeats()); friends != 0; friends &= friends - 1) {
        int q = firstSeat(friends);
        const Player& x = ps_[q];
        if (wounded && x.hp >= x.maxHp) continue;
        int s = (x.maxHp - x.hp) * 20 - static_cast<int>(x.hand.size());
        if (s > score) {
            best = q;
            score = s;
        }
    }
    return best;
}

// Prefers a hurt foe low on hit points and rich in cards; Rebels go for the Lord and the
// Renegade spares a Lord at 2 hit points or fewer.
int Game::aiEnemy(int p, bool inRange, bool needsCards) const {
    return aiEnemyAmong(p, foeSeats(p, inRange), needsCards);
}

// The score is summed from facts without branches: which foe is best is as good as random.
int Game::aiEnemyAmong(int p, unsigned foes, bool needsCards) const {
    int best = -1;
    int score = -99999;
    const Role actor = ps_[p].role;
    for (; foes != 0; foes &= foes - 1) {
        int q = firstSeat(foes);
        const Player& x = ps_[q];
        int cards = totalCards(q);
        int s = foeScore(x, cards, actor);
        bool better = (s > score) & !(needsCards & (cards == 0));
        best = better ? q : best;
        score = better ? s : score;
    }
    return best;
}

// The classic player's choice is public once its target is: every seat sees the target and the facts it
// was scored on. For each seating of the Loyalist and the Renegade (the Lord is known), the seat's role
// and foes follow, and with them the foe aiEnemyAmong would have picked; a seating that picks another
// explains the choice badly. The seatings that miss are worked out now, from the facts the choice was made
// on, and counted only when the table is shown the target (choiceShown). Worlds (roles open) and games
// of classic players keep no count.
void Game::noteChoice(int actor, int target, unsigned candidates, bool shown) {
    pendingChoice_ = -1;
    if (allClassic_ || rolesOpen_ || mode_ != Identity) return;
    candidates &= livingSeats() & ~(1U << actor);
    int lord = -1;
    for (int q = 0; q < 6; ++q)
        if (ps_[q].role == Lord) lord = q;
    if (lord < 0) return;
    std::uint64_t misses = 0;
    for (int loyalist = 0; loyalist < 6; ++loyalist)
        for (int renegade = 0; renegade < 6; ++renegade) {
            if (loyalist == lord || renegade == lord || renegade == loyalist) continue;
            auto roleOf = [&](int q) {
                return q == lord ? Lord : q == loyalist ? Loyalist : q == renegade ? Renegade : Rebel;
            };
            const Role mine = roleOf(actor);
            const unsigned foes = SIDED_ROLES[Identity][1][mine];
            int best = -1;
            int high = -99999;
            for (unsigned left = candidates; left != 0; left &= left - 1) {
                int q = firstSeat(left);
                if (!((foes >> roleOf(q)) & 1)) continue;
                int s = foeScore(ps_[q], totalCards(q), mine);
                if (s > high) {
                    best = q;
                    high = s;
                }
            }
            if (best != target) misses |= std::uint64_t(1) << choiceSlot(loyalist, renegade);
        }
    pendingChoice_ = static_cast<std::int8_t>(actor);
    pendingMisses_ = misses;
    if (shown) choiceShown();
}

// The choice noted last reaches the public record: its target has just been shown to the table.
void Game::choiceShown() {
    if (pendingChoice_ < 0) return;
    std::array<std::uint8_t, CHOICE_SLOTS>& misses = choiceMisses_[static_cast<std::size_t>(pendingChoice_)];
    for (std::size_t slot = 0; slot < CHOICE_SLOTS; ++slot)
        if (((pendingMisses_ >> slot) & 1) && misses[slot] < 255) ++misses[slot];
    pendingChoice_ = -1;
}

namespace {

// What a card is worth keeping by its type alone; a peach is worth more to the hurt, and a weapon or armour
// less to a seat that has one (below).
constexpr std::array<std::uint8_t, 256> keepValues() {
    std::array<std::uint8_t, 256> out{};
    for (int t = 0; t < 256; ++t) {
        Kind k = cardKind(static_cast<CardType>(t));
        int v = k == Armor ? 70 : k == Weapon ? 65 : k == OffensiveHorse || k == DefensiveHorse ? 60 : 62;
        if (t == Peach) v = 80;
        if (t == Dodge) v = 75;
        if (t == Wine) v = 65;
        if (t <= ThunderSlash) v = 55;
        if (t == ExNihilo) v = 95;
        if (t == Nullification) v = 82;
        out[static_cast<std::size_t>(t)] = static_cast<std::uint8_t>(v);
    }
    return out;
}
constexpr std::array<std::uint8_t, 256> KEEP_VALUES = keepValues();

} // namespace

// Summed without branches: the discard phase asks this of every card in hand.
int Game::keepValue(const Card& c, int p) const {
    const Player& x = ps_[p];
    const Kind k = cardKind(c.type);
    return KEEP_VALUES[c.type] + 20 * ((c.type == Peach) & (x.hp < x.maxHp)) -
           35 * ((k == Armor) & x.armor.has_) - 33 * ((k == Weapon) & x.weapon.has_);
}

// The hand card p values least, the earliest on ties; -1 for an empty hand.
int Game::cheapestCard(int p) const {
    const Hand& h = ps_[p].hand;
    if (h.empty()) return -1;
    int low = 0;
    int lowValue = keepValue(h[0], p);
    for (std::size_t i = 1; i < h.size(); ++i) {
        int v = keepValue(h[i], p);
        if (v < lowValue) {
            low = static_cast<int>(i);
            lowValue = v;
        }
    }
    return low;
}

} // namespace kvr

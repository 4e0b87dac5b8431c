#include <algorithm>
#include <array>
#include <cstdint>

#include "model/game.hpp"

namespace kvr {

namespace {
constexpr std::uint64_t SLASH_TYPES =
    (std::uint64_t(1) << Slash) | (std::uint64_t(1) << FireSlash) | (std::uint64_t(1) << ThunderSlash);

// Range of each weapon from QinggangSword to ZhuqueFan; anything else (the Crossbow) reaches 1. Indexed by
// every value of a card type's byte, so that reading it needs no test.
constexpr std::array<std::uint8_t, 256> weaponRanges() {
    constexpr int ranges[] = {2, 2, 2, 3, 3, 3, 4, 5, 2, 4};
    std::array<std::uint8_t, 256> out{};
    for (int t = 0; t < 256; ++t)
        out[static_cast<std::size_t>(t)] =
            static_cast<std::uint8_t>(t >= QinggangSword && t <= ZhuqueFan ? ranges[t - QinggangSword] : 1);
    return out;
}
constexpr std::array<std::uint8_t, 256> WEAPON_RANGES = weaponRanges();

// Living seats from a to b counted the short way round, b counted when it lives, for every set of
// living seats (bit i: seat i lives); index set * 36 + a * 6 + b, so that a view's every pair is read
// from 36 bytes in a row.
constexpr std::array<std::uint8_t, 6 * 6 * 64> ringDistances() {
    std::array<std::uint8_t, 6 * 6 * 64> out{};
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 6; ++b)
            for (int set = 0; set < 64; ++set) {
                if (a == b) continue;
                int cw = 0;
                for (int i = (a + 1) % 6;; i = (i + 1) % 6) {
                    cw += (set >> i) & 1;
                    if (i == b) break;
                }
                int ccw = 0;
                for (int i = (a + 5) % 6;; i = (i + 5) % 6) {
                    ccw += (set >> i) & 1;
                    if (i == b) break;
                }
                out[static_cast<std::size_t>(set * 36 + a * 6 + b)] =
                    static_cast<std::uint8_t>(cw < ccw ? cw : ccw);
            }
    return out;
}

constexpr std::array<std::uint8_t, 6 * 6 * 64> RING = ringDistances();

// Six bits as six bools: a row of a view's reach is copied from here.
constexpr std::array<std::array<bool, 6>, 64> bitRows() {
    std::array<std::array<bool, 6>, 64> out{};
    for (int set = 0; set < 64; ++set)
        for (int b = 0; b < 6; ++b)
            out[static_cast<std::size_t>(set)][static_cast<std::size_t>(b)] = (set >> b) & 1;
    return out;
}

constexpr std::array<std::array<bool, 6>, 64> BIT_ROWS = bitRows();

// The seats other than a that live within t of a the short way round (bit b: seat b), for every set of
// living seats and t up to 7 (a reach of 5 with a horse and 马术); index (a * 64 + set) * 8 + t.
constexpr std::array<std::uint8_t, 6 * 64 * 8> nearSeats() {
    std::array<std::uint8_t, 6 * 64 * 8> out{};
    for (int a = 0; a < 6; ++a)
        for (int set = 0; set < 64; ++set)
            for (int t = 0; t < 8; ++t)
                for (int b = 0; b < 6; ++b)
                    if (b != a && ((set >> b) & 1) &&
                        RING[static_cast<std::size_t>(set * 36 + a * 6 + b)] <= t)
                        out[static_cast<std::size_t>((a * 64 + set) * 8 + t)] |=
                            static_cast<std::uint8_t>(1 << b);
    return out;
}

constexpr std::array<std::uint8_t, 6 * 64 * 8> NEAR = nearSeats();

// What a seat takes off every distance it measures: its offensive horse and 马术.
int nearerBy(const Player& x) { return x.offensiveHorse.has_ + (x.hero.id == Feyrin); }

// A distance from the ring's count, the measuring seat's own bonus and whether the other has a defensive
// horse; never below 1.
int fromRing(int ring, int own, int horse) { return std::max(1, ring - own + horse); }

// The living seats whose ring count from a is within `within`, one less for a guarded seat (a defensive
// horse), a sheltered seat (空城) never.
unsigned seatsWithin(int a, int within, unsigned living, unsigned guarded, unsigned sheltered) {
    const std::size_t at = static_cast<std::size_t>((a * 64 + static_cast<int>(living)) * 8 + within);
    return ((NEAR[at] & ~guarded) | (NEAR[at - 1] & guarded)) & ~sheltered;
}

} // namespace

// Living seats counted the short way round, both ends' horses and 马术 applied, never below 1.
int Game::distance(int a, int b) const { return distance(a, b, livingSeats()); }

int Game::distance(int a, int b, unsigned living) const {
    const int ring = RING[static_cast<std::size_t>(living) * 36 + static_cast<std::size_t>(a * 6 + b)];
    return a == b ? 0 : fromRing(ring, nearerBy(ps_[a]), ps_[b].defensiveHorse.has_);
}

int Game::range(int p) const {
    const Player& x = ps_[p];
    // Without a weapon the index is 0, a Slash's: range 1.
    return WEAPON_RANGES[static_cast<std::size_t>(x.weapon.has_) * x.weapon->type];
}

bool Game::canSlash(int a, int b) const {
    if (a == b) return false;
    if (!ps_[a].alive || !ps_[b].alive) return false;
    if (distance(a, b) > range(a)) return false;
    if (ps_[b].hero.id == Velisar) return !ps_[b].hand.empty();
    return true;
}

// Seat b is in reach when distance(a, b), the ring's count less a's own horse and 马术 plus b's defensive
// horse, is within a's range: when the ring's count is within range + a's bonus, one less for a seat with a
// defensive horse.
unsigned Game::reachFrom(int a, unsigned living, unsigned guarded, unsigned sheltered) const {
    return seatsWithin(a, range(a) + nearerBy(ps_[a]), living, guarded, sheltered);
}

unsigned Game::guardedSeats() const {
    return seatsWhere([](const Player& y) { return y.defensiveHorse.has_; });
}

// 空城 is rare: the hero is asked first, a branch that is nearly always taken the same way.
unsigned Game::shelteredSeats() const {
    return seatsWhere([](const Player& y) { return y.hero.id == Velisar && y.hand.empty(); });
}

// canSlash for every seat at once: the foe lists of the computer ask this on every action.
unsigned Game::slashable(int a) const {
    if (!ps_[a].alive) return 0;
    return reachFrom(a, livingSeats(), guardedSeats(), shelteredSeats());
}

namespace {

// What a table's geometry follows from: the living, guarded and sheltered seats (six bits each), then
// each seat's own bonus (two bits) and its weapon's range (three). No table gives ~0: 48 bits are used.
constexpr std::uint64_t NO_TABLE = ~std::uint64_t(0);

struct Geometry {
    std::uint64_t key = NO_TABLE;
    std::array<std::array<int, 6>, 6> distances;
    std::array<std::array<bool, 6>, 6> reach;
};

// A search's worlds build a view at every question a seat is asked, nearly always of a table whose
// geometry was worked out a moment before: each thread keeps the last ones it worked out, by their key.
thread_local std::array<Geometry, 32> recent;

} // namespace

// All pairs at once, the living seats counted once. Reach is slashable's, distance is distance's.
void Game::geometry(std::array<std::array<int, 6>, 6>& distances,
                    std::array<std::array<bool, 6>, 6>& reach) const {
    const unsigned living = livingSeats();
    const unsigned guarded = guardedSeats();
    const unsigned sheltered = shelteredSeats();
    std::uint64_t key = living | guarded << 6 | sheltered << 12;
    std::array<int, 6> own{};
    std::array<int, 6> ranges{};
    for (std::size_t b = 0; b < 6; ++b) {
        own[b] = nearerBy(ps_[b]);
        ranges[b] = range(static_cast<int>(b));
        key |= std::uint64_t(own[b] | ranges[b] << 2) << (18 + 5 * b);
    }
    Geometry& g = recent[static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 59)];
    if (g.key != key) {
        const std::uint8_t* ring = &RING[static_cast<std::size_t>(living) * 36];
        for (std::size_t a = 0; a < 6; ++a, ring += 6) {
            std::array<int, 6>& row = g.distances[a];
            for (std::size_t b = 0; b < 6; ++b) row[b] = fromRing(ring[b], own[a], (guarded >> b) & 1);
            row[a] = 0;
            const int p = static_cast<int>(a);
            const unsigned in =
                (living >> a) & 1 ? seatsWithin(p, ranges[a] + own[a], living, guarded, sheltered) : 0;
            g.reach[a] = BIT_ROWS[in];
        }
        g.key = key;
    }
    distances = g.distances;
    reach = g.reach;
}

// A real slash wins over a converted one even at a higher index.
int Game::findAnySlash(int p) const {
    const Hand& h = ps_[p].hand;
    if (h.types() & SLASH_TYPES)
        for (std::size_t i = 0; i < h.size(); ++i)
            if (isSlash(h[i].type)) return static_cast<int>(i);
    HeroId id = ps_[p].hero.id;
    if (id != Keldar && id != Jorvane) return -1;
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (id == Keldar && h[i].red()) return static_cast<int>(i);
        if (id == Jorvane && h[i].type == Dodge) return static_cast<int>(i);
    }
    return -1;
}

int Game::findDodge(int p) const {
    const Hand& h = ps_[p].hand;
    if (h.has(Dodge))
        for (std::size_t i = 0; i < h.size(); ++i)
            if (h[i].type == Dodge) return static_cast<int>(i);
    HeroId id = ps_[p].hero.id;
    if (id != Jorvane && id != Seluna) return -1;
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (id == Jorvane && isSlash(h[i].type)) return static_cast<int>(i);
        if (id == Seluna && !h[i].red()) return static_cast<int>(i);
    }
    return -1;
}

int Game::findSameSuit(int p, Suit s, int except) const {
    const Hand& h = ps_[p].hand;
    for (std::size_t i = 0; i < h.size(); ++i)
        if (static_cast<int>(i) != except && h[i].suit == s) return static_cast<int>(i);
    return -1;
}

bool Game::hasDelayed(int p, CardType t) const {
    for (const Card& c : ps_[p].delayed)
        if (c.type == t) return true;
    return false;
}

} // namespace kvr

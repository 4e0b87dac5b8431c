#include "model/seat_view.hpp"

#include <algorithm>
#include <array>

#include "model/game.hpp"

namespace kvr {

// Everything seat p may know, and nothing more: its own hand and role, the public table, the roles
// that are public, and the public record of who harmed or helped whom.
SeatView Game::viewFor(int p) const {
    SeatView v;
    fillView(p, v);
    return v;
}

// Writes every field of the view, whatever it held before: a desk fills a view kept from an earlier one.
void Game::fillView(int p, SeatView& v) const {
    fillPublicView(v);
    const Player& x = ps_[p];
    v.self = p;
    v.role = x.role;
    v.hand.assign(x.hand.begin(), x.hand.end());
    v.drank = x.drank;
    v.activeUsed = x.activeUsed;
    v.slashAllowed = !slashLimit(p);
    v.seats[static_cast<std::size_t>(p)].role = x.role;
    v.seenIn = seenIn_[static_cast<std::size_t>(p)];
}

// The seats' public faces and the public record; the viewer's own facts are added by viewFor.
SeatView Game::publicView() const {
    SeatView v;
    fillPublicView(v);
    return v;
}

void Game::fillPublicView(SeatView& v) const {
    v.self = -1;
    v.role = TeamHan;
    v.hand.clear();
    v.drank = v.activeUsed = v.slashAllowed = false;
    v.unseen.reset();
    v.fromBoundary = false;
    v.stancesKnown = false;
    v.mode = mode_;
    v.round = round_;
    v.drawPile = static_cast<int>(deck_.size());
    v.discardPile = static_cast<int>(discard_.size());
    v.current = current_;
    geometry(v.distance, v.reach);
    for (int q = 0; q < 6; ++q) {
        const Player& y = ps_[q];
        SeenSeat& s = v.seats[static_cast<std::size_t>(q)];
        s.alive = y.alive;
        s.hero = y.hero.id;
        s.male = y.hero.male;
        s.hp = y.hp;
        s.maxHp = y.maxHp;
        s.handCount = static_cast<int>(y.hand.size());
        s.weapon = y.weapon;
        s.armor = y.armor;
        s.offensiveHorse = y.offensiveHorse;
        s.defensiveHorse = y.defensiveHorse;
        s.delayed.assign(y.delayed.begin(), y.delayed.end());
        s.chained = y.chained;
        if (rolesOpen_ || ended_ || mode_ == Normal3v3 || y.role == Lord || y.revealed || !y.alive)
            s.role = y.role;
        else
            s.role.reset();
    }
    v.harm = harm_;
    v.help = help_;
    v.lacks = lacks_;
    v.seenIn.fill(-1);
    v.passedOver = passedOver_;
    v.noSlashReach = noSlashReach_;
    v.choiceMisses = choiceMisses_;
    for (std::size_t q = 0; q < 6; ++q) {
        int held = static_cast<int>(ps_[q].hand.size());
        v.passedOverCount[q] = std::min(passedOverCount_[q], held);
        v.keptCount[q] = std::min(keptCount_[q], held);
        v.noSlashCount[q] = std::min(noSlashCount_[q], held);
        v.lackCount[q] = std::min(lackCount_[q], held);
    }
}

void Game::noteHarm(int a, int b) {
    if (a >= 0 && b >= 0 && a != b) ++harm_[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
}

// A seat that has drawn since it was last seen lacking something holds cards the old sighting says
// nothing about: the new sighting starts afresh. Only the strong player reads sightings: a game of
// classic players keeps none.
void Game::noteLacks(int q, std::uint64_t types) {
    if (allClassic_) return;
    std::size_t s = static_cast<std::size_t>(q);
    int held = static_cast<int>(ps_[s].hand.size());
    lacks_[s] = (lacks_[s] & (std::uint64_t(0) - (lackCount_[s] >= held))) | types;
    lackCount_[s] = held;
}

namespace {

// The card types each equipment slot takes, in the order of Player::slots().
constexpr std::array<std::uint64_t, 4> slotTypes() {
    std::array<std::uint64_t, 4> out{};
    for (int t = Crossbow; t < CARD_TYPE_COUNT; ++t)
        out[static_cast<std::size_t>(cardKind(static_cast<CardType>(t)) - Weapon)] |= std::uint64_t(1) << t;
    return out;
}
constexpr std::array<std::uint64_t, 4> SLOT_TYPES = slotTypes();

} // namespace

// What a seat did not play in a whole play phase it had: a peach while hurt, a 无中生有, or equipment for
// a slot it left empty. Where teams are public, also a duel or a 过河拆桥 with foes at the table, and a
// slash it could have aimed at a foe in reach but did not. Everybody sees the hit points, the slots, the
// teams, the reach and the cards played.
void Game::notePlayEnd(int q) {
    const Player& x = ps_[static_cast<std::size_t>(q)];
    auto bit = [](CardType t) { return std::uint64_t(1) << t; };
    // Each term is a mask chosen by a fact, without a branch: the facts are as good as random.
    auto when = [](bool fact, std::uint64_t types) { return types & (std::uint64_t(0) - fact); };
    std::uint64_t types = bit(ExNihilo) | when(x.hp < x.maxHp, bit(Peach)) | when(!x.weapon, SLOT_TYPES[0]) |
                          when(!x.armor, SLOT_TYPES[1]) | when(!x.offensiveHorse, SLOT_TYPES[2]) |
                          when(!x.defensiveHorse, SLOT_TYPES[3]);
    if (mode_ == Normal3v3) {
        const unsigned foes = seatsWhere([&x](const Player& y) { return y.alive & (y.role != x.role); });
        if (foes != 0) types |= bit(Duel) | bit(Dismantle);
        if (!x.usedSlash && !slashLimit(q) && (slashable(q) & foes) != 0)
            types |= bit(Slash) | bit(FireSlash) | bit(ThunderSlash);
    } else {
        // Every seat of the hidden-role game has a foe at the table while it lasts. Whether one was in
        // reach of a slash depends on roles nobody sees: the seats in reach are kept for whoever reads it.
        types |= bit(Duel) | bit(Dismantle);
        std::size_t s = static_cast<std::size_t>(q);
        unsigned reach = slashLimit(q) ? 0U : slashable(q) & livingSeats() & ~(1U << q);
        noSlashReach_[s] = static_cast<std::uint8_t>(reach);
        noSlashCount_[s] = static_cast<int>(x.hand.size());
    }
    noteLacks(q, types);
}

// A card seen going into seat `holder`'s hand: by seat `viewer` alone, or (viewer -1) by everybody.
void Game::noteSeen(int viewer, const Card& c, int holder) {
    if (c.id < 1 || c.id > DECK_SIZE) return;
    if (viewer >= 0) {
        if (viewer < 6) seenIn_[static_cast<std::size_t>(viewer)][c.id] = static_cast<std::int8_t>(holder);
        return;
    }
    for (auto& seen : seenIn_) seen[c.id] = static_cast<std::int8_t>(holder);
}

// Like a sighting of lacks: a seat that holds more cards than at its last pass starts afresh.
void Game::notePassedOver(int q, int dying) {
    std::size_t s = static_cast<std::size_t>(q);
    int held = static_cast<int>(ps_[s].hand.size());
    if (passedOverCount_[s] < held) passedOver_[s] = 0;
    passedOver_[s] = static_cast<std::uint8_t>(passedOver_[s] | 1U << dying);
    passedOverCount_[s] = held;
}

void Game::noteKept(int q) { keptCount_[static_cast<std::size_t>(q)] = static_cast<int>(ps_[q].hand.size()); }

void Game::noteHelp(int a, int b) {
    if (a >= 0 && b >= 0 && a != b) ++help_[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
}

} // namespace kvr

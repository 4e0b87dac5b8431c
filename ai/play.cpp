#include <cstdint>
#include <initializer_list>

#include "model/game.hpp"

namespace kvr {

namespace {

constexpr std::uint64_t typeBits(std::initializer_list<CardType> types) {
    std::uint64_t out = 0;
    for (CardType t : types) out |= std::uint64_t(1) << t;
    return out;
}

// Every equipment type: weapons, armour and horses come last in CardType.
constexpr std::uint64_t EQUIPMENT = ~((std::uint64_t(1) << Crossbow) - 1);

} // namespace

// The computer's play phase: one card or skill per pass, priorities re-read from the top after each
// action, at most 60 passes.
void Game::aiPlay(int p) {
    if (!ps_[p].alive || ended_) return;
    Player& x = ps_[p];
    auto use = [this, p](int index, Optional<int> target = Optional<int>()) {
        return useCard(p, index, target);
    };
    // One pass; returns whether it did something. Until something is done the table stays as it is, so
    // the types the hand holds are read once and only those are looked for, and p's living foes are read
    // once, when first asked.
    auto pass = [&]() -> bool {
        const std::uint64_t held = x.hand.types();
        auto findCard = [&](int seat, CardType t) { return (held >> t) & 1 ? this->findCard(seat, t) : -1; };
        unsigned foesRead = 0;
        bool foesKnown = false;
        auto foes = [&]() {
            if (!foesKnown) foesRead = foeSeats(p, false);
            foesKnown = true;
            return foesRead;
        };
        // At least as many living friends as foes: worth a harvest for every seat, not an attack on every
        // seat.
        auto asManyFriends = [&]() { return seatCount(seatsBy(p, 1, livingSeats())) >= seatCount(foes()); };
        int peach = x.hp < x.maxHp ? findCard(p, Peach) : -1;
        if (peach >= 0) return use(peach);

        // The first equipment card for an empty slot.
        std::uint64_t forEmptySlots = 0;
        if ((held & EQUIPMENT) != 0)
            forEmptySlots = (x.weapon ? 0 : typesOfKind(Weapon)) | (x.armor ? 0 : typesOfKind(Armor)) |
                            (x.offensiveHorse ? 0 : typesOfKind(OffensiveHorse)) |
                            (x.defensiveHorse ? 0 : typesOfKind(DefensiveHorse));
        if ((held & forEmptySlots) != 0)
            for (std::size_t i = 0; i < x.hand.size(); ++i)
                if ((forEmptySlots >> x.hand[i].type) & 1) {
                    if (use(static_cast<int>(i))) return true;
                    break;
                }

        int exNihilo = findCard(p, ExNihilo);
        if (exNihilo >= 0) return use(exNihilo);

        if (activeSkillAI(p)) return true;

        for (CardType t : {Indulgence, SupplyShortage}) {
            if ((held & typeBits({Indulgence, SupplyShortage})) == 0) break;
            int i = findCard(p, t);
            if (i < 0) continue;
            int q = aiEnemyAmong(p, foes(), false);
            if (q < 0 || hasDelayed(q, t)) continue;
            if (use(i, q)) return true;
            break;
        }

        for (CardType t : {Barbarians, Arrows}) {
            if ((held & typeBits({Barbarians, Arrows})) == 0) break;
            int i = findCard(p, t);
            if (i < 0 || asManyFriends()) continue;
            if (use(i)) return true;
            break;
        }

        for (CardType t : {Dismantle, Steal, FireAttack, Duel}) {
            if ((held & typeBits({Dismantle, Steal, FireAttack, Duel})) == 0) break;
            int i = findCard(p, t);
            if (i < 0) continue;
            int q = aiEnemyAmong(p, foes(), t == Steal || t == Dismantle);
            if (q < 0) continue;
            if (t == Steal && distance(p, q) > 1 && x.hero.id != Miravel) continue;
            if (use(i, q)) return true;
            break;
        }

        int borrow = findCard(p, BorrowSword);
        for (unsigned armed = borrow >= 0 ? foes() : 0; armed != 0; armed &= armed - 1)
            if (ps_[firstSeat(armed)].weapon) return use(borrow, firstSeat(armed));

        if (!slashLimit(p)) {
            int o = findAnySlash(p);
            int t = o >= 0 ? aiEnemyAmong(p, foes() & slashable(p), false) : -1;
            if (o >= 0 && t >= 0) {
                if (isSlash(x.hand[static_cast<std::size_t>(o)].type)) return use(o, t);
                return useVirtualSlash(p);
            }
            // Without a card that serves as a slash only the Serpent Spear can make one, from two cards; it
            // picks its own target.
            if (o < 0 && x.wields(SerpentSpear) && x.hand.size() >= 2 && useVirtualSlash(p)) return true;
        }

        int chain = findCard(p, IronChain);
        if (chain >= 0 && aiEnemyAmong(p, foes(), false) >= 0) return use(chain);

        int lightning = findCard(p, Lightning);
        if (lightning >= 0 && !hasDelayed(p, Lightning)) return use(lightning);

        int harvestCard = findCard(p, Harvest);
        if (harvestCard >= 0 && asManyFriends()) return use(harvestCard);

        int garden = findCard(p, PeachGarden);
        if (garden < 0) return false;
        int good = 0;
        int bad = 0;
        for (int i = 0; i < 6; ++i) {
            if (!ps_[i].alive || ps_[i].hp >= ps_[i].maxHp) continue;
            (attitude(p, i) >= 0 ? good : bad) += 1;
        }
        return good > bad && use(garden);
    };

    for (int guard = 60; guard > 0; --guard) {
        bool moved = pass();
        afterAction();
        if (!moved || !ps_[p].alive || ended_ || haltsMidPlay()) return;
    }
}

} // namespace kvr

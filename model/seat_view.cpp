#include "model/seat_view.hpp"

#include "model/game.hpp"

namespace kvr {

// Everything seat p may know, and nothing more: its own hand and role, the public table, the roles
// that are public, and the public record of who harmed or helped whom.
SeatView Game::viewFor(int p) const {
    SeatView v;
    const Player& x = ps_[p];
    v.mode = mode_;
    v.round = round_;
    v.self = p;
    v.role = x.role;
    v.hand = x.hand;
    v.drank = x.drank;
    v.activeUsed = x.activeUsed;
    v.slashAllowed = !slashLimit(p);
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
        s.delayed = y.delayed;
        s.chained = y.chained;
        if (mode_ == Normal3v3 || q == p || y.role == Lord || y.revealed || !y.alive) s.role = y.role;
        for (int r = 0; r < 6; ++r) {
            v.distance[static_cast<std::size_t>(q)][static_cast<std::size_t>(r)] = distance(q, r);
            v.reach[static_cast<std::size_t>(q)][static_cast<std::size_t>(r)] = canSlash(q, r);
        }
    }
    v.harm = harm_;
    v.help = help_;
    return v;
}

void Game::noteHarm(int a, int b) {
    if (a >= 0 && b >= 0 && a != b) ++harm_[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
}

void Game::noteHelp(int a, int b) {
    if (a >= 0 && b >= 0 && a != b) ++help_[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
}

} // namespace kvr

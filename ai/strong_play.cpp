#include <chrono>

#include "model/game.hpp"

namespace kvr {

DecisionClock::DecisionClock(std::vector<double>* sink) : sink_(sink) {
    if (sink_) start_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

DecisionClock::~DecisionClock() {
    if (!sink_) return;
    long long ticks = std::chrono::steady_clock::now().time_since_epoch().count() - start_;
    using Period = std::chrono::steady_clock::period;
    sink_->push_back(static_cast<double>(ticks) * Period::num / Period::den);
}

bool Game::strong(int p) const {
    if (ps_[p].human) return false;
    return opt_.ai == StrongAi || ((opt_.strongRoles >> ps_[p].role) & 1U) != 0;
}

// Everything seat p may know, and nothing more: its own hand and role, the public table, the roles
// that are public, and the public record of who harmed or helped whom.
SeatView Game::viewFor(int p) const {
    SeatView v;
    const Player& x = ps_[p];
    v.mode = mode_;
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

int Game::foeFor(int p, bool inRange, bool needsCards) const {
    if (!strong(p)) return aiEnemy(p, inRange, needsCards);
    return decide(
        p, [&](const SeatView& v) { return inRange ? strongSlashTarget(v) : strongFoe(v, needsCards); });
}

int Game::friendFor(int p, bool wounded) const {
    if (!strong(p)) return aiAlly(p, wounded);
    return decide(p, [&](const SeatView& v) { return strongFriend(v, wounded, false); });
}

void Game::noteHarm(int a, int b) {
    if (a >= 0 && b >= 0 && a != b) ++harm_[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
}

void Game::noteHelp(int a, int b) {
    if (a >= 0 && b >= 0 && a != b) ++help_[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
}

// The strong play phase: one action per pass, chosen afresh from the seat's view. An action the rules
// refuse is not offered again until something else has been done.
void Game::strongPlay(int p) {
    std::vector<StrongMove> tried;
    for (int guard = 60; guard > 0; --guard) {
        StrongMove m = decide(p, [&tried](const SeatView& v) { return strongMove(v, tried); });
        if (m.kind == StrongMove::Stop) return;
        bool moved = false;
        if (m.kind == StrongMove::Card)
            moved = useCard(p, m.index, m.target >= 0 ? Optional<int>(m.target) : Optional<int>());
        else if (m.kind == StrongMove::VirtualSlash)
            moved = useVirtualSlash(p);
        else
            moved = activeSkill(p);
        afterAction();
        if (!ps_[p].alive || ended_) return;
        if (moved)
            tried.clear();
        else
            tried.push_back(m);
    }
}

} // namespace kvr

#include <algorithm>

#include "model/game.hpp"

namespace kvr {

// Every loss of hit points: modifiers, announcement, chain conduction, dying, then the
// damaged seat's skills once per point.
void Game::damage(int from, int to, int amount, Nature nat, std::string_view why, bool spread) {
    Player& t = ps_[to];
    if (!t.alive) return;
    if (from >= 0 && ps_[from].alive && ps_[from].luoyi && (why == "杀" || why == "决斗")) ++amount;
    if (t.armor) {
        if (t.armor->type == Vine && nat == Fire)
            ++amount;
        else if (t.armor->type == SilverLion && amount > 0)
            amount = 1;
    }
    t.hp -= amount;
    logParts(RED, t.hero.name, "受到", amount, "点", natureName(nat), "【", why, "】伤害，HP=", t.hp);

    if (nat != Normal && spread && t.chained) {
        // Every chain is cleared before anyone is conducted to, and the conducted seats take their
        // damage before the first target's dying starts. A conducted death that decides the game
        // stops the conduction.
        SeatList conducted;
        for (int i = 0; i < 6; ++i) {
            if (!ps_[i].alive || !ps_[i].chained) continue;
            ps_[i].chained = false;
            if (i != to) conducted.push_back(i);
        }
        for (int q : conducted) {
            if (ended_) break;
            damage(from, q, amount, nat, "铁索传导", false);
        }
    }

    if (t.hp <= 0 && !rescue(to)) {
        die(to, from);
        return;
    }
    if (t.alive)
        for (int k = 0; k < amount; ++k) afterDamage(from, to);
}

void Game::afterDamage(int from, int to) {
    bool source = from >= 0 && ps_[from].alive;
    switch (ps_[to].hero.id) {
    case Varnok:
        log("Varnok触发【奸雄】摸1张。", MAGENTA);
        draw(to, 1, true);
        break;
    case Thessil:
        if (source && totalCards(from) > 0) {
            takeRandomCard(from, true, to);
            log("Thessil触发【反馈】取得1张牌。", MAGENTA);
        }
        break;
    case Korveth:
        if (source && roll(0, 1) == 1) {
            log("Korveth触发【刚烈】。", MAGENTA);
            if (totalCards(from) < 2)
                damage(to, from, 1, Normal, "刚烈", false);
            else
                throwRandom(from, 2);
        }
        break;
    case Lirren:
        log("Lirren触发【遗计】摸2张。", MAGENTA);
        draw(to, 2, true);
        break;
    default:
        break;
    }
}

void Game::heal(int p, int n, std::string_view why) {
    Player& x = ps_[p];
    int old = x.hp;
    x.hp = std::min(x.maxHp, old + n);
    if (x.hp > old) logParts(GREEN, x.hero.name, "因【", why, "】回复", x.hp - old, "点体力。");
}

} // namespace kvr

#include "model/game.hpp"
#include <algorithm>

namespace kvr {

// The target answers first; whoever first fails to produce its slashes takes the damage.
void Game::duel(int from, int to, int damageOwner) {
    if (ps_[to].hero.id == Velisar && ps_[to].hand.empty()) {
        log("空城令决斗不能指定Velisar。", MAGENTA);
        return;
    }
    int attacker = from;
    int defender = to;
    for (;;) {
        if (!ps_[attacker].alive || !ps_[defender].alive) return;
        int need = ps_[attacker].hero.id == Grathos ? 2 : 1;
        std::string why;
        std::string about;
        if (ps_[defender].human) {
            why = "与" + ps_[attacker].hero.name + "的决斗";
            about =
                ps_[from].hero.name + " 对" + (defender == to ? "你" : ps_[to].hero.name) + "使用【决斗】";
        }
        if (!respondSlash(defender, why, need, about)) break;
        std::swap(attacker, defender);
    }
    damage(damageOwner >= 0 ? damageOwner : attacker, defender, 1, Normal, "决斗", true);
}

void Game::aoe(int from, CardType t) {
    const std::string_view name = cardNameView(t);
    for (int k = 1; k < 6; ++k) {
        if (ended_) return;
        int seat = (from + k) % 6;
        Player& x = ps_[seat];
        if (!x.alive) continue;
        if (x.wears(Vine)) {
            logParts(BLUE, "藤甲令", x.hero.name, "免疫", name, "。");
            continue;
        }
        if (nullified(from, seat, name)) continue;
        std::string about;
        if (x.human) about = ps_[from].hero.name + " 使用【" + std::string(name) + "】";
        bool answered = t == Barbarians ? respondSlash(seat, "南蛮入侵", 1, about)
                                        : respondDodge(seat, "万箭齐发", about);
        if (!answered) damage(from, seat, 1, Normal, name, true);
    }
}

void Game::harvest(int from) {
    activateSeat(from);
    int living = 0;
    for (const Player& x : ps_) living += x.alive ? 1 : 0;
    for (int k = 0; k < living; ++k) pool_.push_back(drawOne());
    if (io_) {
        std::string shown = "五谷展示：";
        for (const Card& c : pool_) shown += ctext(c) + " ";
        show(shown + "\n");
    }

    for (int k = 0; k < 6 && !pool_.empty(); ++k) {
        int seat = (from + k) % 6;
        if (!ps_[seat].alive) continue;
        if (nullified(from, seat, "五谷丰登")) continue;
        std::size_t pick = 0;
        if (ps_[seat].human) {
            activateSeat(seat);
            std::string offer = "可选五谷牌：";
            for (std::size_t i = 0; i < pool_.size(); ++i)
                offer += std::to_string(i + 1) + "." + ctext(pool_[i]) + " ";
            show(offer + "\n选择五谷牌 1~" + std::to_string(pool_.size()) + "：");
            Query q;
            q.topic = "pick";
            q.ask = "选择五谷牌";
            q.about = ps_[from].hero.name + " 使用【五谷丰登】";
            for (std::size_t i = 0; i < pool_.size(); ++i)
                q.options.push_back({std::to_string(i + 1), plainCard(pool_[i]), -1, -1});
            pick = static_cast<std::size_t>(number(1, static_cast<int>(pool_.size()), 1, &q) - 1);
        }
        if (!ps_[seat].human || answerTimedOut_) pick = computer(seat).harvestPick(*this, seat, pool_);
        ps_[seat].hand.push_back(pool_[pick]);
        pool_.erase(pool_.begin() + static_cast<std::ptrdiff_t>(pick));
    }
    for (const Card& c : pool_) throwCard(c);
    pool_.clear();
}

void Game::fireAttack(int from, int to) {
    activateSeat(from);
    if (ps_[to].hand.empty()) return;
    int shown = rollCard(to, static_cast<int>(ps_[to].hand.size()), ALL_SEATS);
    Card c = ps_[to].hand[static_cast<std::size_t>(shown)];
    noteHarm(from, to);
    noteSeen(-1, c, to);
    logParts(YELLOW, ps_[to].hero.name, "展示", c);
    auto sameSuit = [&c](const Card& h) { return h.suit == c.suit; };
    int index =
        ps_[from].human ? findSameSuit(from, c.suit, -1) : computer(from).payCard(*this, from, sameSuit);
    if (index < 0) return;
    if (ps_[from].human && !askYes(from, "弃同花色牌发动火攻伤害？y/n：")) return;
    throwCard(takeHand(from, index, true));
    damage(from, to, 1, Fire, "火攻", true);
}

// The armed seat is never asked: with a usable slash it slashes, without one it gives up its weapon.
void Game::borrowSword(int from, int armed) {
    auto legal = [this, from, armed](int q) { return q != from && q != armed && canSlash(armed, q); };
    int victim = -1;
    for (int q = 0; q < 6 && victim < 0; ++q)
        if (legal(q)) victim = q;
    if (victim < 0) return;
    if (ps_[from].human) {
        victim = chooseTarget(from, "借刀杀人的被杀目标", legal, false);
    } else {
        SeatList seats;
        for (int q = 0; q < 6; ++q)
            if (legal(q)) seats.push_back(q);
        victim = computer(from).victim(*this, from, armed, seats);
    }
    if (victim < 0) return;
    // The armed seat shows itself by slashing or by losing its weapon.
    noteHarm(from, armed);

    Player& x = ps_[armed];
    int z = findAnySlash(armed);
    if (z < 0) {
        if (!x.weapon) return;
        Card w = *x.weapon;
        x.weapon.reset();
        triggerLoseEquip(armed, w);
        ps_[from].hand.push_back(w);
        noteSeen(-1, w, from);
        logParts(GREEN, ps_[from].hero.name, "获得了借刀目标的武器。");
        return;
    }
    Card c = takeHand(armed, z, true);
    throwCard(c);
    logParts(YELLOW, x.hero.name, "被迫出杀。");
    slash(armed, victim, c, from);
}

} // namespace kvr

#include <algorithm>
#include <numeric>

#include "model/game.hpp"

namespace kvr {

void Game::startSkills(int p) {
    Player& x = ps_[p];
    if (x.hero.id == Seluna) {
        for (int k = 0; k < 12; ++k) {
            Card j = judgment(p, "洛神", [](const Card& c) { return !c.red(); });
            if (j.red()) break;
            if (!discard_.empty() && discard_.back().id == j.id) {
                x.hand.push_back(discard_.back());
                discard_.pop_back();
                noteSeen(-1, j, p);
            }
            log("Seluna获得黑色洛神牌。", MAGENTA);
        }
    } else if (x.hero.id == Velisar) {
        std::size_t n = std::min<std::size_t>(5, deck_.size());
        CardList top;
        for (std::size_t k = 0; k < n; ++k) top.push_back(drawOne());
        TopOrder order{};
        std::iota(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n), 0);
        if (x.human) {
            std::string out = "【观星】\n";
            for (std::size_t k = 0; k < n; ++k) out += std::to_string(k + 1) + "." + ctext(top[k]) + " ";
            show(out + "\n输入新的摸牌顺序（例 3 1 2 4 5）：");
            Query q;
            q.topic = "order";
            q.ask = "排出新的摸牌顺序";
            q.about = "【观星】牌堆顶的" + std::to_string(n) + "张牌";
            for (std::size_t k = 0; k < n; ++k)
                q.options.push_back({std::to_string(k + 1), plainCard(top[k]), -1, -1});
            std::vector<int> answer = numbers(line(PromptKind::Order, &q));
            std::vector<bool> seen(n, false);
            bool ok = answer.size() == n;
            for (std::size_t k = 0; ok && k < n; ++k) {
                int a = answer[k];
                ok = a >= 1 && a <= static_cast<int>(n) && !seen[static_cast<std::size_t>(a - 1)];
                if (ok) seen[static_cast<std::size_t>(a - 1)] = true;
            }
            if (ok)
                for (std::size_t k = 0; k < n; ++k) order[k] = static_cast<std::size_t>(answer[k] - 1);
        }
        if (!x.human || answerTimedOut_) order = computer(p).arrangeTop(*this, p, top);
        for (std::size_t k = n; k-- > 0;) deck_.push_back(top[order[k]]);
        logParts(MAGENTA, x.hero.name, "发动【观星】。");
    }
}

void Game::drawPhase(int p) {
    Player& x = ps_[p];
    if (x.skipDraw) {
        logParts(RED, x.hero.name, "跳过摸牌阶段。");
        return;
    }
    if (x.hero.id == Dravin) {
        // A human in the hidden-role game may take from any other seat: its foes by true role would give
        // the roles away.
        SeatList victims;
        if (x.human && mode_ != Normal3v3) {
            for (int q = 0; q < 6; ++q)
                if (q != p && ps_[q].alive && !ps_[q].hand.empty()) victims.push_back(q);
        } else {
            for (int q : computer(p).foes(*this, p, false))
                if (!ps_[q].hand.empty()) victims.push_back(q);
        }
        if (!victims.empty() && (!x.human || askYes(p, "发动突袭代替摸牌？y/n："))) {
            std::shuffle(victims.begin(), victims.end(), rng_);
            std::size_t take = std::min<std::size_t>(2, victims.size());
            for (std::size_t k = 0; k < take; ++k) {
                int q = victims[k];
                int i = rollCard(q, static_cast<int>(ps_[q].hand.size()), 1U << q | 1U << p);
                Card c = takeHand(q, i, true);
                ps_[p].hand.push_back(c);
                noteSeen(q, c, p);
            }
            logParts(MAGENTA, x.hero.name, "发动【突袭】获得手牌。");
            return;
        }
    }
    int n = 2;
    if (x.hero.id == Bruhald && (!x.human || askYes(p, "发动裸衣少摸1张并增加伤害？y/n："))) {
        x.luoyi = true;
        log("Bruhald发动【裸衣】。", MAGENTA);
        n = 1;
    }
    if (x.hero.id == Elthar) ++n;
    draw(p, n, true);
}

void Game::discardPhase(int p) {
    activateSeat(p);
    Player& x = ps_[p];
    if (x.hero.id == Ostrel && !x.usedSlash) {
        log("Ostrel发动【克己】，跳过弃牌。", MAGENTA);
        return;
    }
    std::size_t limit = static_cast<std::size_t>(std::max(0, x.hp));
    bool discards = x.hand.size() > limit;
    while (x.hand.size() > limit) {
        int pick = 0;
        if (x.human) {
            clear();
            table();
            hand(p);
            show("弃牌至" + std::to_string(limit) + "张，输入序号：");
            Query q = handQuery(p, "discard", "弃牌至" + std::to_string(limit) + "张", "弃牌阶段", false,
                                [](const Card&) { return true; });
            pick = number(1, static_cast<int>(x.hand.size()), 1, &q) - 1;
        }
        if (!x.human || answerTimedOut_) pick = computer(p).discard(*this, p);
        throwCard(takeHand(p, pick, true));
    }
    if (discards && !allClassic_) noteKept(p);
}

} // namespace kvr

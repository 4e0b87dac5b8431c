#include "model/game.hpp"

namespace kvr {

// Turns over the top card; one 鬼才 may replace it, 天妒 keeps it. The caller reads the returned card.
Card Game::judgment(int who, std::string_view why, const std::function<bool(const Card&)>& good) {
    if (tape_.replaying) tapeJudgmentBefore();
    Card c = drawOne();
    if (tape_.on && (tape_.usable || tape_.replaying)) tapeJudgmentAfter(c);
    logParts(MAGENTA, ps_[who].hero.name, "的【", why, "】判定为", c, good(c) ? "（有利）" : "（不利）");

    // The seats that could change the card: read as one set, as there rarely is one.
    const unsigned menders =
        seatsWhere([](const Player& x) { return x.alive && x.hero.id == Thessil && !x.hand.empty(); });
    for (unsigned left = menders; left != 0; left &= left - 1) {
        int i = firstSeat(left);
        Player& g = ps_[i];
        bool now = good(c);
        int pick = -1;
        for (std::size_t k = 0; k < g.hand.size() && pick < 0; ++k)
            if (good(g.hand[k]) != now) pick = static_cast<int>(k);
        if (pick < 0) continue;
        if (g.human) {
            activateSeat(i);
            show("是否发动鬼才改判？输入牌序号，0放弃：\n");
            hand(i);
            Query q = handQuery(i, "judge", "是否发动鬼才改判",
                                ps_[who].hero.name + "的【" + std::string(why) + "】判定为" + plainCard(c),
                                true, [](const Card&) { return true; });
            int n = number(0, static_cast<int>(g.hand.size()), 0, &q);
            if (!answerTimedOut_ && n == 0) continue;
            if (!answerTimedOut_) pick = n - 1;
        }
        if (!g.human || answerTimedOut_) {
            int a = computer(i).stance(*this, i, who);
            if (!((a > 0 && !now) || (a < 0 && now))) continue;
        }
        Card replacement = takeHand(i, pick, true);
        throwCard(c);
        c = replacement;
        logParts(MAGENTA, g.hero.name, "发动【鬼才】，改判为", c);
        break;
    }

    if (ps_[who].hero.id == Lirren) {
        ps_[who].hand.push_back(c);
        noteSeen(-1, c, who);
        log("Lirren发动【天妒】获得判定牌。", MAGENTA);
    } else {
        throwCard(c);
    }
    return c;
}

void Game::judgmentPhase(int p) {
    if (ps_[p].delayed.empty()) return;
    CardList zone = ps_[p].delayed;
    ps_[p].delayed.clear();
    for (std::size_t k = 0; k < zone.size(); ++k) {
        const Card& card = zone[k];
        // A dead holder, or a decided game, turns over nothing more: the rest goes to the discard pile.
        if (!ps_[p].alive || ended_) {
            for (std::size_t rest = k; rest < zone.size(); ++rest) throwCard(zone[rest]);
            return;
        }
        if (card.type == Indulgence) {
            if (ps_[p].hero.id == Kaspen) {
                log("Kaspen【谦逊】令乐不思蜀无效。", MAGENTA);
            } else {
                Card j = judgment(p, "乐不思蜀", [](const Card& c) { return c.suit == Heart; });
                if (j.suit != Heart) ps_[p].skipPlay = true;
            }
            throwCard(card);
        } else if (card.type == SupplyShortage) {
            Card j = judgment(p, "兵粮寸断", [](const Card& c) { return c.suit == Club; });
            if (j.suit != Club) ps_[p].skipDraw = true;
            throwCard(card);
        } else if (card.type == Lightning) {
            auto hits = [](const Card& c) { return c.suit == Spade && c.rank >= 2 && c.rank <= 9; };
            Card j = judgment(p, "闪电", [&hits](const Card& c) { return !hits(c); });
            if (hits(j)) {
                throwCard(card);
                damage(-1, p, 3, Thunder, "闪电", true);
                continue;
            }
            int next = (p + 1) % 6;
            while (next != p && (!ps_[next].alive || hasDelayed(next, Lightning))) next = (next + 1) % 6;
            if (next == p) {
                throwCard(card);
            } else {
                ps_[next].delayed.push_back(card);
                logParts(YELLOW, "闪电移动到", ps_[next].hero.name, "的判定区。");
            }
        } else {
            throwCard(card);
        }
    }
}

} // namespace kvr

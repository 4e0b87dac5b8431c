#include "model/game.hpp"

namespace kvr {

namespace {

// Whether everybody can tell whom a nullification is about: a trick on its own user, or one that goes
// round the table seat by seat. The target of a single-target trick is named only by what the trick does,
// which a nullification stops.
bool targetShown(std::string_view trick, int from, int target) {
    return target == from || trick == "南蛮入侵" || trick == "万箭齐发" || trick == "桃园结义" ||
           trick == "五谷丰登";
}

} // namespace

// The whole chain of nullifications against one trick on one target; true when it ends cancelled.
bool Game::nullified(int from, int target, std::string_view trick) {
    bool cancelled = false;
    int start = (from + 1) % 6;
    for (int chains = 12; chains > 0; --chains) {
        // Read afresh for each play: the last card of a hand can draw another (连营).
        if (tape_.replaying) tapeNullifyReady();
        unsigned holders = 0;
        for (int s = 0; s < 6; ++s)
            holders |= static_cast<unsigned>(ps_[s].alive && ps_[s].hand.has(Nullification)) << s;
        if (holders == 0) return cancelled;
        int player = -1;
        for (int k = 0; k < 6 && player < 0; ++k) {
            int seat = start + k < 6 ? start + k : start + k - 6;
            if (!((holders >> seat) & 1)) continue;
            const Player& x = ps_[seat];
            bool plays =
                x.human ? askYes(seat, "\n" + std::string(trick) + "对" + ps_[target].hero.name +
                                           (cancelled ? "已被无懈，是否反无懈？" : "即将生效，是否无懈？") +
                                           " y/n：")
                        : computer(seat).nullify(*this, seat, from, target, trick, cancelled);
            if (plays) player = seat;
        }
        if (player < 0) return cancelled;
        throwCard(takeHand(player, findCard(player, Nullification), true));
        cancelled = !cancelled;
        bool good = helpfulTrick(trick) || (trick == "铁索连环" && ps_[target].chained);
        if (targetShown(trick, from, target))
            (cancelled == good ? noteHarm(player, target) : noteHelp(player, target));
        logParts(MAGENTA, ps_[player].hero.name, "使用【无懈可击】，当前锦囊",
                 cancelled ? "无效。" : "恢复生效。");
        start = (player + 1) % 6;
    }
    return cancelled;
}

void Game::placeDelayed(int from, int to, Card c) {
    if (nullified(from, to, cardName(c.type))) {
        throwCard(c);
        return;
    }
    if (c.type != Lightning) noteHarm(from, to);
    ps_[to].delayed.push_back(c);
    logParts(MAGENTA, cardName(c.type), "进入", ps_[to].hero.name, "的判定区。");
}

} // namespace kvr

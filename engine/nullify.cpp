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

bool Game::nullificationChain(int from, int target, std::string_view trick) {
    bool cancelled = false;
    int start = from + 1 < 6 ? from + 1 : 0;
    for (int chains = 12; chains > 0; --chains) {
        // Read afresh for each play: the last card of a hand can draw another (连营).
        if (tape_.replaying) tapeNullifyReady();
        const unsigned holders =
            seatsWhere([](const Player& x) { return x.alive & x.hand.has(Nullification); });
        if (holders == 0) return cancelled;
        int player = -1;
        // The holders in seat order from `start`, round the table.
        const unsigned fromStart = ((holders >> start) | (holders << (6 - start))) & 63U;
        for (unsigned left = fromStart; left != 0 && player < 0; left &= left - 1) {
            int k = firstSeat(left);
            int seat = start + k < 6 ? start + k : start + k - 6;
            bool plays = ps_[seat].human && askNullify(seat, target, trick, cancelled);
            if (!ps_[seat].human || answerTimedOut_)
                plays = computer(seat).nullify(*this, seat, from, target, trick, cancelled);
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
        start = player + 1 < 6 ? player + 1 : 0;
    }
    return cancelled;
}

bool Game::askNullify(int seat, int target, std::string_view trick, bool cancelled) {
    return askYes(seat, "\n" + std::string(trick) + "对" + ps_[target].hero.name +
                            (cancelled ? "已被无懈，是否反无懈？" : "即将生效，是否无懈？") + " y/n：");
}

void Game::placeDelayed(int from, int to, Card c) {
    if (nullified(from, to, cardNameView(c.type))) {
        throwCard(c);
        return;
    }
    choiceShown();
    if (c.type != Lightning) noteHarm(from, to);
    ps_[to].delayed.push_back(c);
    logParts(MAGENTA, cardNameView(c.type), "进入", ps_[to].hero.name, "的判定区。");
}

} // namespace kvr

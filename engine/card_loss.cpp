#include "model/game.hpp"

namespace kvr {

Card Game::takeHand(int p, int i, bool trigger) {
    Hand& h = ps_[p].hand;
    Card c = h[static_cast<std::size_t>(i)];
    h.erase(h.begin() + i);
    // Only 连营 answers an emptied hand: asking the hero first keeps the branch predictable.
    if (ps_[p].hero.id == Kaspen && trigger && h.empty()) triggerEmptyHand(p);
    return c;
}

// One uniform draw over hand and equipment; the loser's triggers fire before the receiver gets the card.
Optional<Card> Game::takeRandomCard(int p, bool steal, int source) {
    int total = totalCards(p);
    if (total == 0) return {};
    // The loser and a taker see which hand card went; a card thrown lies in the discard pile for all to see.
    int k = rollCard(p, total, steal && source >= 0 ? 1U << p | 1U << source : ALL_SEATS);
    Player& x = ps_[p];
    int handSize = static_cast<int>(x.hand.size());
    Card c{};
    if (k < handSize) {
        c = takeHand(p, k, true);
    } else {
        int e = k - handSize;
        for (Optional<Card>* slot : x.slots()) {
            if (!*slot) continue;
            if (e-- > 0) continue;
            c = **slot;
            slot->reset();
            break;
        }
        triggerLoseEquip(p, c);
    }
    // The loser knows what it lost; an equipped card was in everybody's sight.
    if (steal && source >= 0) {
        ps_[source].hand.push_back(c);
        noteSeen(k < handSize ? p : -1, c, source);
    } else {
        throwCard(c);
    }
    return c;
}

void Game::throwRandom(int p, int n) {
    for (int i = 0; i < n; ++i) {
        if (totalCards(p) == 0) return;
        takeRandomCard(p, false, -1);
    }
}

void Game::triggerLoseEquip(int p, const Card& c) {
    Player& x = ps_[p];
    if (c.type == SilverLion && x.alive && x.hp < x.maxHp) heal(p, 1, "白银狮子");
    if (x.hero.id == Valessa && x.alive) {
        log("Valessa触发【枭姬】，摸2张牌。", MAGENTA);
        draw(p, 2, true);
    }
}

void Game::triggerEmptyHand(int p) {
    if (ps_[p].alive && ps_[p].hero.id == Kaspen) {
        log("Kaspen触发【连营】，摸1张牌。", MAGENTA);
        draw(p, 1, true);
    }
}

} // namespace kvr

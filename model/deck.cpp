#include <algorithm>
#include <array>
#include <stdexcept>

#include "model/game.hpp"

namespace kvr {

namespace {

// The 166 printed cards in creation order; index id - 1. Suits cycle S H C D and ranks 1..13
// with the serial number, so the order of the blocks alone fixes every suit and rank.
// Made while compiling: every discard looks up a card's printed type.
constexpr std::array<Card, DECK_SIZE> printedDeck() {
    std::array<Card, DECK_SIZE> out{};
    int id = 1;
    int serial = 0;
    auto add = [&](CardType t, int count) {
        for (int i = 0; i < count; ++i) {
            out[static_cast<std::size_t>(id - 1)] =
                Card{static_cast<std::uint8_t>(id), t, static_cast<Suit>(serial % 4),
                     static_cast<std::uint8_t>(serial % 13 + 1)};
            ++id;
            ++serial;
        }
    };
    add(Slash, 24);
    add(FireSlash, 8);
    add(ThunderSlash, 8);
    add(Dodge, 20);
    add(Peach, 12);
    add(Wine, 6);
    add(Duel, 5);
    add(Barbarians, 4);
    add(Arrows, 4);
    add(ExNihilo, 6);
    add(Steal, 6);
    add(Dismantle, 7);
    add(PeachGarden, 2);
    add(Harvest, 2);
    add(FireAttack, 5);
    add(IronChain, 6);
    add(BorrowSword, 3);
    add(Nullification, 8);
    add(Lightning, 2);
    add(Indulgence, 3);
    add(SupplyShortage, 3);
    for (int t = Crossbow; t <= Hualiu; ++t) add(static_cast<CardType>(t), t == EightDiagrams ? 2 : 1);
    return out;
}

constexpr std::array<Card, DECK_SIZE> PRINTED = printedDeck();

} // namespace

Card deckCard(int id) {
    if (id < 1 || id > DECK_SIZE) return Card{};
    return PRINTED[static_cast<std::size_t>(id - 1)];
}

int Game::roll(int lo, int hi) { return rollSeenBy(lo, hi, ALL_SEATS); }

int Game::rollSeenBy(int lo, int hi, unsigned seers) {
    std::uniform_int_distribution<int> d(lo, hi);
    int value = d(rng_);
    if (!(tape_.on && (tape_.usable || tape_.replaying))) return value;
    return tapeRoll(value, lo, hi, TapeRoll{0, -1, false, static_cast<std::uint8_t>(seers), 0});
}

int Game::rollCard(int holder, int total, unsigned seers) {
    std::uniform_int_distribution<int> d(0, total - 1);
    int value = d(rng_);
    if (!(tape_.on && (tape_.usable || tape_.replaying))) return value;
    const Hand& h = ps_[static_cast<std::size_t>(holder)].hand;
    bool inHand = static_cast<std::size_t>(value) < h.size();
    TapeRoll r{0, static_cast<std::int8_t>(holder), inHand,
               static_cast<std::uint8_t>(inHand ? seers : ALL_SEATS),
               static_cast<std::uint8_t>(inHand ? h[static_cast<std::size_t>(value)].id : 0)};
    return tapeRoll(value, 0, total - 1, r);
}

void Game::makeDeck() {
    deck_.assign(PRINTED.begin(), PRINTED.end());
    discard_.clear();
    std::shuffle(deck_.begin(), deck_.end(), rng_);
}

Card Game::drawOne() {
    if (deck_.empty()) reshuffle();
    Card c = deck_.back();
    deck_.pop_back();
    return c;
}

bool Game::drawCards(int p, int n) {
    Player& x = ps_[p];
    if (!x.alive) return false;
    for (int i = 0; i < n; ++i) x.hand.push_back(drawOne());
    return true;
}

void Game::reshuffle() {
    if (discard_.empty()) {
        counts_.deckExhausted = true;
        throw std::runtime_error("牌堆耗尽");
    }
    ++counts_.reshuffles;
    deck_.swap(discard_);
    discard_.clear();
    // Whoever saw these cards in a hand before saw them leave it since.
    for (const Card& c : deck_) noteSeen(-1, c, -1);
    std::shuffle(deck_.begin(), deck_.end(), rng_);
    log("弃牌堆重新洗牌。", CYAN);
}

// A card converted by a skill (国色 turns a diamond into an Indulgence) is its printed self again
// once it leaves play, so the deck never changes its composition.
void Game::throwCard(Card c) {
    if (c.id == 0) return;
    if (c.id <= DECK_SIZE) c.type = deckCard(c.id).type;
    discard_.push_back(c);
}

} // namespace kvr

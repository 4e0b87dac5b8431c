#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

// The vocabulary's names and kinds are what the deck and every rule are built from.
TEST(CardVocabulary, NamesKindsAndRanges) {
    EXPECT_EQ(cardName(Slash), "杀");
    EXPECT_EQ(cardName(Hualiu), "爪黄飞电");
    EXPECT_EQ(cardName(static_cast<CardType>(42)), "未知牌");
    EXPECT_EQ(cardName(static_cast<CardType>(-1)), "未知牌");
    EXPECT_EQ(cardKind(Wine), Basic);
    EXPECT_EQ(cardKind(Duel), Trick);
    EXPECT_EQ(cardKind(Nullification), Trick);
    EXPECT_EQ(cardKind(Lightning), Delayed);
    EXPECT_EQ(cardKind(SupplyShortage), Delayed);
    EXPECT_EQ(cardKind(Crossbow), Weapon);
    EXPECT_EQ(cardKind(ZhuqueFan), Weapon);
    EXPECT_EQ(cardKind(EightDiagrams), Armor);
    EXPECT_EQ(cardKind(SilverLion), Armor);
    EXPECT_EQ(cardKind(Chitu), OffensiveHorse);
    EXPECT_EQ(cardKind(Zixing), OffensiveHorse);
    EXPECT_EQ(cardKind(Dilu), DefensiveHorse);
    EXPECT_EQ(cardKind(Hualiu), DefensiveHorse);
    EXPECT_TRUE(isSlash(ThunderSlash));
    EXPECT_FALSE(isSlash(Dodge));
    EXPECT_EQ(slashNature(FireSlash), Fire);
    EXPECT_EQ(slashNature(ThunderSlash), Thunder);
    EXPECT_EQ(slashNature(Duel), Normal);
    EXPECT_STREQ(suitName(Club), "梅花");
    EXPECT_STREQ(suitName(static_cast<Suit>(9)), "方块");
    EXPECT_EQ(rankName(1), "A");
    EXPECT_EQ(rankName(10), "10");
    EXPECT_EQ(rankName(13), "K");
    EXPECT_STREQ(natureName(Thunder), "雷电");
    EXPECT_STREQ(natureName(static_cast<Nature>(7)), "普通");
}

TEST(CardVocabulary, DefaultsAndOptional) {
    Card c{};
    EXPECT_EQ(c.id, 0);
    EXPECT_EQ(c.type, Slash);
    EXPECT_EQ(c.suit, Spade);
    EXPECT_EQ(c.rank, 0);
    EXPECT_FALSE(c.red());

    Optional<Card> slot = Card{7, Peach, Heart, 5};
    EXPECT_TRUE(static_cast<bool>(slot));
    EXPECT_TRUE(slot->red());
    slot.reset();
    EXPECT_FALSE(static_cast<bool>(slot));
    EXPECT_EQ((*slot).id, 0);
    EXPECT_EQ(slot.value_or(Card{3, Dodge, Club, 2}).id, 3);
}

// The printed deck: block order, id, suit cycle and rank cycle.
TEST(Deck, PrintedCompositionAndOrder) {
    std::map<CardType, int> count;
    for (int id = 1; id <= DECK_SIZE; ++id) {
        Card c = deckCard(id);
        EXPECT_EQ(c.id, id);
        EXPECT_EQ(c.suit, static_cast<Suit>((id - 1) % 4));
        EXPECT_EQ(c.rank, (id - 1) % 13 + 1);
        ++count[c.type];
    }
    EXPECT_EQ(count[Slash], 24);
    EXPECT_EQ(count[FireSlash], 8);
    EXPECT_EQ(count[Dodge], 20);
    EXPECT_EQ(count[Peach], 12);
    EXPECT_EQ(count[Nullification], 8);
    EXPECT_EQ(count[EightDiagrams], 2);
    EXPECT_EQ(count[Hualiu], 1);
    EXPECT_EQ(count.size(), 42u);
    // Spot checks against the table: first cards of blocks and the two Eight Diagrams.
    EXPECT_EQ(deckCard(25).type, FireSlash);
    EXPECT_EQ(deckCard(25).suit, Spade);
    EXPECT_EQ(deckCard(25).rank, 12);
    EXPECT_EQ(deckCard(129).type, Nullification);
    EXPECT_EQ(deckCard(156).type, EightDiagrams);
    EXPECT_EQ(deckCard(156).suit, Diamond);
    EXPECT_EQ(deckCard(156).rank, 13);
    EXPECT_EQ(deckCard(157).type, EightDiagrams);
    EXPECT_EQ(deckCard(157).suit, Spade);
    EXPECT_EQ(deckCard(157).rank, 1);
    EXPECT_EQ(deckCard(166).type, Hualiu);
    EXPECT_EQ(deckCard(166).suit, Heart);
    EXPECT_EQ(deckCard(166).rank, 10);
    EXPECT_EQ(deckCard(0).id, 0);
    EXPECT_EQ(deckCard(167).id, 0);
}

// Same seed, same shuffle; different seeds differ.
TEST(Deck, SeededShuffleIsReproducible) {
    auto order = [](std::uint32_t seed) {
        Options opt;
        opt.seed = seed;
        Game game(Normal3v3, opt, &standardConsole());
        GameProbe g{game};
        g.makeDeck();
        std::vector<int> ids;
        for (const Card& c : g.deck()) ids.push_back(c.id);
        return ids;
    };
    std::vector<int> a = order(42);
    EXPECT_EQ(a, order(42));
    EXPECT_NE(a, order(43));
    EXPECT_EQ(std::set<int>(a.begin(), a.end()).size(), 166u);
}

// The lazily made engine draws std::mt19937's numbers: past the first and later twists of the whole state,
// from seeds whose first elements differ only in high bits, and in a copy taken before its state is seeded
// through, which goes on with the same numbers without touching the original.
TEST(Deck, EngineDrawsMt19937Numbers) {
    for (std::uint32_t seed : {0U, 1U, 5489U, 0x80000000U, 0xffffffffU}) {
        std::mt19937 reference(seed);
        Mt19937 lazy(seed);
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(lazy(), reference()) << "seed " << seed << " draw " << i;
    }
    Mt19937 original(1234);
    std::mt19937 reference(1234);
    for (int i = 0; i < 100; ++i) original();
    reference.discard(100);
    Mt19937 copy(original);
    Mt19937 assigned(99);
    for (int i = 0; i < 700; ++i) assigned();
    assigned = copy;
    for (int i = 0; i < 1500; ++i) {
        std::uint32_t want = static_cast<std::uint32_t>(reference());
        ASSERT_EQ(copy(), want) << "draw " << i;
        ASSERT_EQ(assigned(), want) << "draw " << i;
    }
    for (int i = 0; i < 1500; ++i) original();
    EXPECT_EQ(original(), copy());
}

// The pile empties mid-draw: the last card does not reshuffle, the next draw does, once.
TEST(Deck, ReshuffleOnlyWhenEmpty) {
    Table t;
    GameProbe& g = t.g();
    CardList all = g.deck();
    g.deck().assign(all.begin(), all.begin() + 2);
    g.discard().assign(all.begin() + 2, all.begin() + 5);
    g.draw(0, 2, false);
    EXPECT_TRUE(g.deck().empty());
    EXPECT_EQ(g.discard().size(), 3u);
    EXPECT_TRUE(t.logs().empty());
    Card c = g.drawOne();
    EXPECT_TRUE(g.discard().empty());
    EXPECT_EQ(g.deck().size(), 2u);
    EXPECT_EQ(t.logs(), std::vector<std::string>{"弃牌堆重新洗牌。"});
    EXPECT_GE(c.id, all[2].id);
    EXPECT_LE(c.id, all[4].id);
}

TEST(Deck, ExhaustedPilesThrow) {
    Table t;
    t.g().deck().clear();
    t.g().discard().clear();
    try {
        t.g().drawOne();
        FAIL() << "expected an exhausted deck";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "牌堆耗尽");
    }
}

TEST(Deck, DrawAndThrowEdges) {
    Table t;
    GameProbe& g = t.g();
    t.seat(2).alive = false;
    g.draw(2, 3, true);
    EXPECT_TRUE(t.seat(2).hand.empty());
    EXPECT_TRUE(t.out().empty());
    g.draw(1, 2, true);
    EXPECT_EQ(t.seat(1).hand.size(), 2u);
    EXPECT_TRUE(t.logged("Corvane摸了2张牌。"));
    g.draw(1, 0, false);
    EXPECT_EQ(t.seat(1).hand.size(), 2u);
    g.throwCard(Card{0, Slash, Heart, 3});
    EXPECT_TRUE(g.discard().empty());
    // A converted card goes back as its printed self.
    Card dia = t.give(0, Slash, Diamond);
    t.seat(0).hand.pop_back();
    dia.type = Indulgence;
    g.throwCard(dia);
    ASSERT_EQ(g.discard().size(), 1u);
    EXPECT_EQ(g.discard().back().type, Slash);
}

// A hand's counts of card types follow every change, a copy keeps its own, and no list takes more cards
// than the deck has (the hand's counts stay those of the cards it kept).
TEST(CardVocabulary, HandCountsFollowEveryChange) {
    Hand h{Card{1, Slash, Spade, 1}, Card{2, Slash, Heart, 2}, Card{3, Dodge, Club, 3}};
    EXPECT_EQ(h.count(Slash), 2);
    h.erase(h.begin());
    EXPECT_EQ(h.count(Slash), 1);
    EXPECT_EQ(h[0].id, 2);
    h.set(0, Card{4, Peach, Heart, 4});
    EXPECT_FALSE(h.has(Slash));
    EXPECT_EQ(h.types(), (std::uint64_t(1) << Peach) | (std::uint64_t(1) << Dodge));
    Hand copy = h;
    h.pop_back();
    EXPECT_FALSE(h.has(Dodge));
    EXPECT_TRUE(copy.has(Dodge) && copy.size() == 2u && copy[1].id == 3);
    h.clear();
    EXPECT_TRUE(h.empty() && h.types() == 0 && h.count(Peach) == 0);

    CardList pile;
    Hand big;
    for (int i = 0; i <= DECK_SIZE; ++i) {
        pile.push_back(Card{static_cast<std::uint8_t>(i), Dodge, Spade, 1});
        big.push_back(Card{static_cast<std::uint8_t>(i), Dodge, Spade, 1});
    }
    EXPECT_EQ(pile.size(), static_cast<std::size_t>(DECK_SIZE));
    EXPECT_EQ(big.count(Dodge), DECK_SIZE);
    EXPECT_THROW(static_cast<void>(pile.at(DECK_SIZE)), std::out_of_range);
}

// Names and labels are kept in place: a text longer than the room is cut before the character that does
// not fit whole, never inside one; equal texts compare equal however they are held, and join onto strings.
TEST(Roster, ShortTexts) {
    const std::string han = "远"; // three bytes in UTF-8
    std::string long10;
    for (int i = 0; i < 11; ++i) long10 += han;
    ShortText cut(long10);
    EXPECT_EQ(cut.size(), 30u);
    EXPECT_EQ(cut, long10.substr(0, 30));
    ShortText ascii(std::string(40, 'a'));
    EXPECT_EQ(ascii.size(), ShortText::CAPACITY);
    ShortText name("Varnok");
    const std::string same = "Varnok";
    EXPECT_TRUE(name == "Varnok" && "Varnok" == name && name == same && same == name &&
                name == ShortText(same) && name != "Varnoka" && !(name != same));
    EXPECT_EQ(name + "摸了" + name, "Varnok摸了Varnok");
    EXPECT_EQ("[" + name, "[Varnok");
    EXPECT_EQ(std::string("x") + name + std::string("y"), "xVarnoky");
    EXPECT_EQ(std::string(name), "Varnok");
    Player a;
    a.label = "远程玩家" + std::to_string(12);
    Player b = a;
    a.label = "你";
    EXPECT_EQ(b.label, "远程玩家12");
    EXPECT_TRUE(ShortText().empty());
}

TEST(Roster, TwentyFiveDistinctHeroes) {
    std::vector<Hero> hb = heroBook();
    ASSERT_EQ(hb.size(), 25u);
    std::set<std::string> names;
    int females = 0;
    std::map<std::string, int> kingdoms;
    for (std::size_t i = 0; i < hb.size(); ++i) {
        EXPECT_EQ(hb[i].id, static_cast<HeroId>(i));
        names.insert(hb[i].name);
        females += hb[i].male ? 0 : 1;
        ++kingdoms[hb[i].kingdom];
    }
    EXPECT_EQ(names.size(), 25u);
    EXPECT_EQ(females, 5);
    EXPECT_EQ(kingdoms["魏"], 7);
    EXPECT_EQ(kingdoms["蜀"], 7);
    EXPECT_EQ(kingdoms["吴"], 8);
    EXPECT_EQ(kingdoms["群"], 3);
}

} // namespace
} // namespace kvr

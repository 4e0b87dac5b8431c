#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

using Lines = std::vector<std::string>;

std::string played(const std::string& who, bool off) {
    return "  -> " + who + "使用【无懈可击】，当前锦囊" + (off ? "无效。\n" : "恢复生效。\n");
}

// Twelve plays end a chain with cards still held; each pass starts after the last player; the target's
// friends cancel, the user's friends restore, and a human hears the question that fits the verdict.
TEST(Nullification, CapPassesAndQuestions) {
    Table t;
    for (int k = 0; k < 7; ++k)
        for (int p : {2, 3})
            t.seat(p).hand.push_back(
                Card{static_cast<std::uint8_t>(200 + 2 * k + p), Nullification, Spade, 1});
    EXPECT_FALSE(t.g().nullified(0, 1, "决斗"));
    EXPECT_EQ(t.logs().size(), 12u);
    EXPECT_EQ(t.seat(2).hand.size() + t.seat(3).hand.size(), 2u);
    t.seat(2).hand.clear();
    t.seat(3).hand.clear();
    t.clearOut();
    t.human(2);
    for (int p : {0, 2, 3, 3}) t.give(p, Nullification);
    t.answers("n\nn\ny\n");
    EXPECT_FALSE(t.g().nullified(0, 1, "决斗"));
    std::string live = "\n决斗对Corvane即将生效，是否无懈？ y/n：";
    EXPECT_EQ(t.out(), live + played("Rhoskan", true) + played("Ormaen", false) + live +
                           played("Rhoskan", true) + "\n决斗对Corvane已被无懈，是否反无懈？ y/n：" +
                           played("Brannoc", false));
}

// A counter is offered from the seat after the last player round the table: after seat 6 cancels seat
// 1's trick, seat 1 itself comes before seat 3. 桃园结义 asks about nullification only for the seats it
// would heal.
TEST(Nullification, CounterOrderAndPeachGardenQuestions) {
    Table t;
    for (int p : {0, 2, 5}) t.give(p, Nullification);
    EXPECT_FALSE(t.g().nullified(0, 1, "决斗"));
    EXPECT_EQ(t.logs(), (Lines{"Elthar使用【无懈可击】，当前锦囊无效。",
                               "Ormaen使用【无懈可击】，当前锦囊恢复生效。"}));

    Table u;
    u.human(2);
    u.give(2, Nullification);
    u.give(0, PeachGarden);
    u.hp(3, 2);
    u.hp(2, 3);
    u.answers("n\nn\n");
    EXPECT_TRUE(u.g().useCard(0, 0, Optional<int>()));
    EXPECT_EQ(occurrences(u.out(), "桃园结义对"), 2u);
    EXPECT_EQ(occurrences(u.out(), "桃园结义对Rhoskan即将生效"), 1u);
    EXPECT_EQ(occurrences(u.out(), "桃园结义对Brannoc即将生效"), 1u);
}

// A nullified delayed trick is discarded and never enters the zone; a Lightning is offered to its own user's
// friends first and the user last.
TEST(Nullification, DelayedTricksStoppedAtPlacement) {
    Table t;
    Card ind = t.give(0, Indulgence), bolt = t.give(0, Lightning), kept = t.give(0, Indulgence);
    t.seat(0).hand.clear();
    t.give(3, Nullification);
    t.g().placeDelayed(0, 1, ind);
    t.give(2, Nullification);
    t.give(0, Nullification);
    t.g().placeDelayed(0, 0, bolt);
    t.g().placeDelayed(0, 1, kept);
    EXPECT_EQ(t.logs(),
              (Lines{"Rhoskan使用【无懈可击】，当前锦囊无效。", "Brannoc使用【无懈可击】，当前锦囊无效。",
                     "Ormaen使用【无懈可击】，当前锦囊恢复生效。", "闪电进入Ormaen的判定区。",
                     "乐不思蜀进入Corvane的判定区。"}));
    EXPECT_TRUE(t.seat(1).delayed.size() == 1u && t.g().discard().at(1).id == ind.id);
}

// 鬼才: only the first Thessil able to reverse the outcome acts, a friend mending and a foe spoiling; 天妒
// keeps the replacement; a human is asked only if some card would reverse it, and may then pick any card.
TEST(Judgment, GuicaiAndTiandu) {
    auto heart = [](const Card& c) { return c.suit == Heart; };
    Table t;
    t.hero(1, Thessil);
    t.hero(2, Thessil);
    t.hero(3, Lirren);
    Card spoil = t.give(1, Slash, Spade), mend = t.give(1, Dodge, Heart);
    t.give(2, Slash, Club);
    Card top = t.top(Slash, Spade);
    EXPECT_EQ(t.g().judgment(3, "乐不思蜀", heart).id, mend.id);
    EXPECT_EQ(t.logs(),
              (Lines{"Lirren的【乐不思蜀】判定为" + t.g().ctext(top) + "（不利）",
                     "Thessil发动【鬼才】，改判为" + t.g().ctext(mend), "Lirren发动【天妒】获得判定牌。"}));
    EXPECT_EQ(t.seat(3).hand.back().id, mend.id);
    EXPECT_EQ(t.g().discard().at(0).id, top.id);
    t.top(Peach, Heart);
    EXPECT_EQ(t.g().judgment(0, "乐不思蜀", heart).id, spoil.id);
    t.top(Dodge, Club);
    EXPECT_EQ(t.g().judgment(3, "乐不思蜀", heart).suit, Club);
    EXPECT_EQ(t.logs().size(), 3u + 2u + 2u);
    t.human(2);
    t.top(Dodge, Diamond);
    t.g().judgment(0, "乐不思蜀", heart);
    EXPECT_EQ(t.out().find("鬼才改判"), std::string::npos);
    t.give(2, Peach, Heart);
    t.top(Dodge, Diamond);
    t.answers("1\n");
    EXPECT_EQ(t.g().judgment(0, "乐不思蜀", heart).suit, Club);
    EXPECT_NE(t.out().find("是否发动鬼才改判？输入牌序号，0放弃：\n"), std::string::npos);
}

// Indulgence and Supply Shortage read the suit in placement order; 谦逊 discards an Indulgence unjudged; a
// missed Lightning passes dead seats and seats holding the other one; a hit deals 3 and a death ends the
// phase.
TEST(JudgmentPhase, DelayedTricks) {
    for (HeroId hero : {Rhoskan, Kaspen}) {
        Table t;
        t.hero(3, hero);
        t.delay(3, Indulgence);
        t.delay(3, SupplyShortage);
        t.top(Slash, Club);
        t.top(Slash, Diamond);
        t.g().judgmentPhase(3);
        EXPECT_EQ(t.seat(3).skipPlay, hero == Rhoskan);
        EXPECT_EQ(t.seat(3).skipDraw, hero == Kaspen);
        EXPECT_EQ(t.logs().size(), 2u);
    }
    Table t;
    Card bolt = t.delay(0, Lightning);
    t.delay(1, Lightning);
    t.seat(2).alive = false;
    t.topSuitRank(Spade, 10);
    t.g().judgmentPhase(0);
    EXPECT_TRUE(t.logged("闪电移动到Rhoskan的判定区。"));
    EXPECT_EQ(t.seat(3).delayed.at(0).id, bolt.id);
    t.delay(3, Indulgence);
    t.hp(3, 3);
    t.topSuitRank(Spade, 5);
    t.clearOut();
    t.g().judgmentPhase(3);
    EXPECT_TRUE(t.logged("Rhoskan受到3点雷电【闪电】伤害，HP=0"));
    EXPECT_FALSE(t.seat(3).alive);
    EXPECT_EQ(t.out().find("乐不思蜀】判定"), std::string::npos);
    EXPECT_EQ(t.conservationFault(), "");
}

// Lightning strikes on a spade 2 to 9 only: the ends of that range and one step beyond each, and a heart 9.
TEST(Judgment, LightningStrikesOnSpadeTwoToNine) {
    struct Row {
        Suit suit;
        int rank;
        bool strikes;
    } rows[] = {{Spade, 1, false}, {Spade, 2, true}, {Spade, 9, true}, {Spade, 10, false}, {Heart, 9, false}};
    for (const Row& r : rows) {
        Table t;
        Card bolt = t.delay(0, Lightning);
        t.topSuitRank(r.suit, r.rank);
        t.g().judgmentPhase(0);
        SCOPED_TRACE(r.rank);
        EXPECT_EQ(t.seat(0).hp, r.strikes ? 1 : 4);
        EXPECT_EQ(t.logged("Ormaen受到3点雷电【闪电】伤害，HP=1"), r.strikes);
        EXPECT_EQ(!t.seat(1).delayed.empty() && t.seat(1).delayed[0].id == bolt.id, !r.strikes);
        EXPECT_EQ(t.conservationFault(), "");
    }
}

// A computer's Iron Chain toggles the foe it values most (Elthar, the most hurt) and frees its best
// ally only if that ally is chained: a chained ally of lower rank stays chained.
TEST(IronChain, ComputerChoosesFoeAndFreesItsBestAlly) {
    struct Row {
        std::vector<int> chained;
        Lines logs;
        std::vector<int> after;
    } rows[] = {
        {{}, {"Elthar被横置。"}, {5}},
        {{5}, {"Elthar解除连环。"}, {}},
        {{2}, {"Elthar被横置。", "Brannoc解除连环。"}, {5}},
        {{4}, {"Elthar被横置。"}, {4, 5}},
        {{2, 4}, {"Elthar被横置。", "Brannoc解除连环。"}, {4, 5}},
    };
    for (const Row& r : rows) {
        Table t;
        for (int p : r.chained) t.seat(p).chained = true;
        t.g().ironChain(0);
        EXPECT_EQ(t.logs(), r.logs);
        std::vector<int> after;
        for (int p = 0; p < 6; ++p)
            if (t.seat(p).chained) after.push_back(p);
        EXPECT_EQ(after, r.after);
    }
}

// 无双 asks two slashes of whoever faces Grathos, exchange after exchange; the damage owner is credited.
TEST(Duel, ExchangesAndOwner) {
    Table t;
    t.hero(0, Grathos);
    t.give(0, Slash);
    for (int k = 0; k < 3; ++k) t.give(1, Slash);
    t.g().duel(0, 1, -1);
    Lines l = t.logs();
    EXPECT_EQ(std::count(l.begin(), l.end(), "Corvane打出【杀】。"), 3);
    EXPECT_EQ(t.seat(1).hp, 3);
    t.hero(3, Thessil);
    t.give(1, Dodge);
    Card fee = t.give(5, Peach);
    t.g().duel(1, 3, 5);
    EXPECT_TRUE(t.seat(3).hand.size() == 1u && t.seat(3).hand[0].id == fee.id);
}

// 借刀杀人's user is never the victim: the armed seat slashes another seat in its reach, and with only the
// user in reach nothing happens, the armed seat keeping its slash and its weapon.
TEST(BorrowSword, TheUserIsNeverTheVictim) {
    Table t;
    t.equip(1, QinggangSword);
    t.give(1, Slash);
    t.give(0, BorrowSword);
    EXPECT_TRUE(t.g().useCard(0, 0, Optional<int>(1)));
    EXPECT_TRUE(t.logged("Corvane被迫出杀。"));
    EXPECT_EQ(t.seat(2).hp, t.seat(2).maxHp - 1);
    EXPECT_EQ(t.seat(0).hp, t.seat(0).maxHp);

    Table u;
    u.equip(1, Crossbow);
    u.equip(2, Dilu);
    u.give(1, Slash);
    u.give(0, BorrowSword);
    EXPECT_TRUE(u.g().useCard(0, 0, Optional<int>(1)));
    EXPECT_EQ(u.seat(1).hand.size(), 1u);
    EXPECT_TRUE(u.seat(1).weapon);
    EXPECT_EQ(u.seat(0).hp, u.seat(0).maxHp);
    EXPECT_EQ(u.conservationFault(), "");
}

// Vine opens no nullification window; a death goes on to the next seat; the end of the game stops the round.
TEST(AreaTricks, VineDeathAndGameEnd) {
    Table t;
    t.give(3, Nullification);
    t.equip(1, Vine);
    t.g().aoe(0, Arrows);
    EXPECT_EQ(t.logs().at(2), "Rhoskan使用【无懈可击】，当前锦囊无效。");
    Table id(Identity);
    id.hp(5, 1);
    id.hp(0, 1);
    id.g().aoe(4, Barbarians);
    EXPECT_TRUE(id.g().ended() && !id.seat(5).alive && !id.seat(0).alive);
    for (int p : {1, 2, 3}) EXPECT_EQ(id.seat(p).hp, id.seat(p).maxHp);
}

// A computer picks the Harvest card it values most, the earliest shown on a tie.
TEST(Harvest, ComputerTakesTheEarliestOfEqualCards) {
    Table t;
    for (int p = 2; p < 6; ++p) t.seat(p).alive = false;
    Card later = t.top(Slash, Spade), first = t.top(Slash, Heart);
    t.g().harvest(0);
    EXPECT_EQ(t.seat(0).hand.at(0).id, first.id);
    EXPECT_EQ(t.seat(1).hand.at(0).id, later.id);
}

// Harvest: picks run from the user, nullified seats take nothing and their cards are discarded.
TEST(Harvest, NullifiedSeatsLeaveCardsBehind) {
    Table t;
    t.seat(3).alive = false;
    t.human(2);
    t.give(1, Nullification);
    t.give(5, Nullification);
    Card ex = t.top(ExNihilo), peach = t.top(Peach), sl = t.top(Slash), dodge = t.top(Dodge),
         duel = t.top(Duel);
    t.answers("2\n");
    t.g().harvest(0);
    EXPECT_NE(t.out().find("可选五谷牌：1." + t.g().ctext(duel) + " 2." + t.g().ctext(dodge)),
              std::string::npos);
    EXPECT_EQ(t.seat(0).hand.back().id, ex.id);
    EXPECT_EQ(t.seat(2).hand.back().id, dodge.id);
    EXPECT_EQ(t.seat(4).hand.back().id, peach.id);
    const CardList& d = t.g().discard();
    EXPECT_EQ(d.size(), 4u);
    EXPECT_TRUE(d[2].id == duel.id && d[3].id == sl.id);
    EXPECT_EQ(t.conservationFault(), "");
}

} // namespace
} // namespace kvr

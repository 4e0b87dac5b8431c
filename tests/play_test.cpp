#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

using Lines = std::vector<std::string>;

int count(const std::string& s, const std::string& what) {
    int n = 0;
    for (std::size_t i = s.find(what); i != std::string::npos; i = s.find(what, i + 1)) ++n;
    return n;
}

// Every refusal returns false before the card leaves the hand; a human is told only about a response
// card and about a choice without any legal seat.
TEST(UseCard, RefusalsKeepTheHand) {
    struct Row {
        CardType type;
        int target;
        std::function<void(Table&)> setup;
        Lines logs;
    } rows[] = {
        {Dodge, -1, [](Table& t) { t.human(0); }, {"该牌只能响应时使用。"}},
        {Nullification, -1, [](Table&) {}, {}},
        {Peach, -1, [](Table&) {}, {}},
        {Wine, -1, [](Table& t) { t.seat(0).drank = true; }, {}},
        {Steal, 1, [](Table& t) { t.hero(1, Kaspen), t.give(1, Peach); }, {}},
        {Indulgence, 1, [](Table& t) { t.hero(1, Kaspen); }, {}},
        {Indulgence, 1, [](Table& t) { t.delay(1, Indulgence); }, {}},
        {SupplyShortage, 1, [](Table& t) { t.delay(1, SupplyShortage); }, {}},
        {FireAttack, 1, [](Table&) {}, {}},
        {Duel, -1, [](Table& t) { t.human(0), t.answers("0\n"); }, {}},
        {Steal, -1, [](Table& t) { t.human(0); }, {"没有合法目标。"}},
        {BorrowSword, -1, [](Table& t) { t.equip(2, Axe); }, {}},
    };
    for (const Row& r : rows) {
        Table t;
        Card c = t.give(0, r.type);
        r.setup(t);
        SCOPED_TRACE(cardName(r.type));
        EXPECT_FALSE(t.g().useCard(0, 0, r.target < 0 ? Optional<int>() : Optional<int>(r.target)));
        EXPECT_FALSE(t.g().useCard(0, 1, Optional<int>()));
        ASSERT_EQ(t.seat(0).hand.size(), 1u);
        EXPECT_EQ(t.seat(0).hand[0].id, c.id);
        EXPECT_EQ(t.logs(), r.logs);
    }
}

// 集智 follows every trick, wasted or nullified ones included, and nothing else; 奇才 lets a human
// steal at any distance; a Kaspen may take a Supply Shortage.
TEST(UseCard, MiravelTricks) {
    Table t;
    t.hero(0, Miravel);
    t.hero(3, Kaspen);
    t.give(3, Nullification);
    t.delay(0, Lightning);
    for (CardType c : {Wine, Lightning, Duel, SupplyShortage}) t.give(0, c);
    for (int target : {-1, -1, 1, 3})
        EXPECT_TRUE(t.g().useCard(0, 0, target < 0 ? Optional<int>() : Optional<int>(target)));
    EXPECT_EQ(count(t.out(), "Miravel触发【集智】摸1张。"), 3);
    EXPECT_EQ(t.seat(0).hand.size(), 3u);
    EXPECT_EQ(t.seat(0).delayed.size(), 1u);
    EXPECT_TRUE(t.g().hasDelayed(3, SupplyShortage));
    EXPECT_TRUE(t.logged("Kaspen使用【无懈可击】，当前锦囊无效。"));
    EXPECT_EQ(t.seat(1).hp, 4);
    EXPECT_EQ(t.conservationFault(), "");

    // A steal from seat 4 (distance 2), then both chain prompts cancelled: the chain is recast.
    Table h;
    h.hero(0, Miravel);
    h.human(0);
    h.give(4, Peach);
    h.give(0, Steal);
    h.give(0, IronChain);
    h.answers("1\n0\n0\n");
    EXPECT_TRUE(h.g().useCard(0, 0, Optional<int>()));
    EXPECT_TRUE(h.seat(4).hand.empty());
    EXPECT_TRUE(h.g().useCard(0, 0, Optional<int>()));
    EXPECT_EQ(h.seat(0).hand.size(), 4u);
}

// A human's Steal and Supply Shortage reach distance 1 only: the list offers the seats at distance 1 and
// leaves out one at distance 2; 奇才 offers it too.
TEST(UseCard, HumanTricksWithinDistanceOne) {
    for (HeroId h : {Ormaen, Miravel}) {
        for (CardType c : {Steal, SupplyShortage}) {
            Table t;
            t.hero(0, h);
            t.human(0);
            for (int p : {1, 2, 5}) t.give(p, Peach);
            t.give(0, c);
            t.answers("0\n");
            EXPECT_FALSE(t.g().useCard(0, 0, Optional<int>()));
            const std::string out = t.out();
            EXPECT_NE(out.find("Corvane HP4 手牌1 距1"), std::string::npos);
            EXPECT_NE(out.find("Elthar HP3 手牌1 距1"), std::string::npos);
            EXPECT_EQ(out.find("Brannoc HP4 手牌1 距2") != std::string::npos, h == Miravel) << cardName(c);
        }
    }
}

// Replacing equipment: the old card is discarded and its loss trigger runs before the new card is in.
TEST(UseCard, EquipReplacesAndPeachGardenAtFullHealth) {
    Table t;
    Card lion = t.equip(0, SilverLion);
    t.hp(0, 3);
    t.give(0, Vine);
    t.give(0, PeachGarden);
    EXPECT_TRUE(t.g().useCard(0, 0, Optional<int>()));
    EXPECT_EQ(t.logs(), (Lines{"Ormaen因【白银狮子】回复1点体力。", "Ormaen装备【藤甲】。"}));
    EXPECT_EQ(t.seat(0).armor->type, Vine);
    EXPECT_EQ(t.g().discard().back().id, lion.id);
    t.clearOut();
    EXPECT_TRUE(t.g().useCard(0, 0, Optional<int>()));
    EXPECT_EQ(t.logs().size(), 1u);
    EXPECT_EQ(t.g().discard().size(), 2u);
}

// The command loop: exact commands only, bad numbers refused, no pause under fast, "E" ends it,
// closed input ends it instead of looping, and a seat that dies in its own play stops at once.
TEST(HumanPlay, CommandLoop) {
    Table t;
    t.human(0);
    t.give(0, Wine);
    t.answers("S\n0\n99\n\ni\nh\n1\nE\nx\n");
    t.g().humanPlay(0);
    EXPECT_EQ(count(t.out(), "输入无效。\n"), 4);
    EXPECT_EQ(count(t.out(), "\n牌序号=使用 s=武将技 v=转化杀 i=技能详情 h=帮助 e=结束\n> "), 8);
    EXPECT_NE(t.out().find("【仁德】交给队友至少2张手牌时回复1点体力（每回合限一次操作）。\n"),
              std::string::npos);
    EXPECT_NE(t.out().find("延时锦囊进入判定区；手牌上限等于当前体力。装备直接输入序号。\n"),
              std::string::npos);
    EXPECT_EQ(count(t.out(), "按 Enter 继续..."), 0);
    EXPECT_TRUE(t.seat(0).drank);

    t.clearOut();
    t.answers("");
    int passes = 0;
    t.g().actionHook() = [&] { t.g().ended() = ++passes > 3; };
    t.g().humanPlay(0);
    EXPECT_EQ(passes, 0);

    Table d;
    d.human(0);
    d.hp(0, 1);
    d.give(0, Duel);
    d.give(1, Slash);
    d.answers("1\n1\n0\n1\n");
    d.g().humanPlay(0);
    EXPECT_FALSE(d.seat(0).alive);
    EXPECT_EQ(count(d.out(), "牌序号=使用"), 1);
}

// The computer's priorities: one card per pass, in the fixed order, equipment only into empty slots.
// Four dodges of every suit lead the hand so the fire attack pays with one of them; draws are dodges.
TEST(AiPlay, PriorityOrder) {
    Table t;
    t.hero(0, Brannoc);
    t.hp(0, 3);
    for (int q = 1; q < 6; ++q) t.seat(q).hp = t.seat(q).maxHp = 20;
    t.equip(1, KylinBow);
    t.equip(3, IceSword);
    for (int i = 0; i < 4; ++i) t.give(1, Wine), t.give(0, Dodge, i);
    for (int i = 0; i < 4; ++i) t.top(Dodge);
    for (CardType c :
         {PeachGarden, Harvest, Lightning, IronChain, Slash, BorrowSword, Duel, FireAttack, Steal, Dismantle,
          Arrows, Barbarians, SupplyShortage, Indulgence, ExNihilo, Crossbow, Halberd, Peach})
        t.give(0, c);
    t.g().aiPlay(0);
    const Lines expected{"桃",       "诸葛连弩", "无中生有", "苦肉",     "乐不思蜀", "兵粮寸断",
                         "南蛮入侵", "万箭齐发", "过河拆桥", "顺手牵羊", "火攻",     "决斗",
                         "借刀杀人", "杀",       "铁索连环", "闪电"};
    Lines used;
    for (const std::string& s : t.logs()) {
        std::size_t at = s.find("【"), end = std::min(s.find(' ', at), s.find("】", at));
        if (s.rfind("Brannoc", 0) == 0 && at != std::string::npos &&
            (s.find("使用【") + 6 == at || s.find("装备【") + 6 == at || s.find("发动【") + 6 == at ||
             s.find("因【") + 3 == at))
            used.push_back(s.substr(at + 3, end - at - 3));
    }
    EXPECT_EQ(used, expected);
    EXPECT_GE(t.g().findCard(0, Halberd), 0);
}

// The computer plays an area trick only with fewer allies than foes, a Harvest only with at least as many.
TEST(AiPlay, AreaTricksAndHarvestByHeadCount) {
    struct Row {
        std::vector<int> dead;
        std::size_t allies, foes;
    } rows[] = {{{}, 2, 3}, {{5}, 2, 2}, {{3, 5}, 2, 1}, {{2}, 1, 3}};
    for (CardType card : {Barbarians, Arrows, Harvest}) {
        for (const Row& r : rows) {
            Table t;
            for (int p : r.dead) t.seat(p).alive = false;
            ASSERT_EQ(t.g().allies(0).size(), r.allies);
            ASSERT_EQ(t.g().enemies(0, false).size(), r.foes);
            t.give(0, card);
            t.g().aiPlay(0);
            bool played = card == Harvest ? r.allies >= r.foes : r.allies < r.foes;
            EXPECT_EQ(t.seat(0).hand.empty() || t.seat(0).hand[0].type != card, played)
                << cardName(card) << " " << r.allies << " v " << r.foes;
        }
    }
}

// A refused use moves on to the next step, never to another target; a Peach at full health is kept;
// the pass guard stops at 60.
TEST(AiPlay, FailuresAndGuard) {
    Table t;
    t.hero(0, Ostrel);
    t.hero(1, Kaspen);
    t.hp(1, 1);
    t.equip(1, KylinBow);
    for (CardType c : {Indulgence, SupplyShortage, Steal, BorrowSword, Peach}) t.give(0, c);
    t.g().aiPlay(0);
    ASSERT_EQ(t.seat(0).hand.size(), 4u);
    EXPECT_EQ(t.seat(0).hand[2].type, Steal);
    EXPECT_TRUE(t.seat(1).delayed.empty());

    // A steal only at distance 1, unless 奇才: the foe at distance 2 keeps its card.
    for (HeroId h : {Ostrel, Miravel}) {
        for (int foe : {2, 3}) {
            Table s;
            s.hero(0, h);
            s.role(2, TeamChu);
            s.give(foe, Peach);
            s.give(0, Steal);
            s.g().aiPlay(0);
            EXPECT_EQ(s.seat(foe).hand.empty(), h == Miravel) << foe;
        }
    }

    Table g;
    g.hero(0, Ostrel);
    g.give(0, Peach);
    g.hp(0, 1);
    int passes = 0;
    g.g().actionHook() = [&] {
        ++passes;
        g.hp(0, 1);
        CardList& d = g.g().discard();
        if (!d.empty()) g.seat(0).hand.push_back(d.back()), d.pop_back();
    };
    g.g().aiPlay(0);
    EXPECT_EQ(passes, 60);
}

} // namespace
} // namespace kvr

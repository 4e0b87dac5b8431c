#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

using Lines = std::vector<std::string>;

// The conducted seats get the first target's modified amount, their own armour, and their dying,
// all before the first target's dying; normal damage neither conducts nor clears the chain.
TEST(Damage, ChainConductsModifiedAmountBeforeFirstTargetDies) {
    Table t;
    for (int p : {0, 3, 4}) t.seat(p).chained = true;
    t.seat(1).luoyi = true;
    t.equip(3, Vine);
    t.equip(0, SilverLion);
    t.hp(3, 2);
    t.hp(4, 3);
    t.g().damage(1, 3, 1, Fire, "杀", true);
    EXPECT_EQ(t.logs(),
              (Lines{"Rhoskan受到3点火焰【杀】伤害，HP=-1", "Ormaen受到1点火焰【铁索传导】伤害，HP=3",
                     "Ranvik受到3点火焰【铁索传导】伤害，HP=0", "阵亡：Ranvik，身份【汉军】。",
                     "阵亡：Rhoskan，身份【楚军】。"}));
    EXPECT_FALSE(t.seat(0).chained);

    // No 裸衣 bonus for a Fire Attack; a conducted Vine wearer adds its own point.
    t.clearOut();
    t.seat(0).chained = t.seat(2).chained = true;
    t.equip(2, Vine);
    t.g().damage(1, 0, 1, Fire, "火攻", true);
    t.seat(0).chained = t.seat(2).chained = true;
    t.g().damage(-1, 2, 1, Normal, "决斗", true);
    EXPECT_EQ(t.logs(),
              (Lines{"Ormaen受到1点火焰【火攻】伤害，HP=2", "Brannoc受到2点火焰【铁索传导】伤害，HP=2",
                     "Brannoc受到1点普通【决斗】伤害，HP=1"}));
    EXPECT_TRUE(t.seat(0).chained && t.seat(2).chained);
    EXPECT_EQ(t.conservationFault(), "");
}

// Dying at -1 needs two saves; passes start at the dying seat, repeat, and stop when a pass gives
// nothing. An enemy's Peach and an ally's Wine never save; a saved seat's skill fires per point.
TEST(Dying, PassesFromTheDyingSeatUntilSavedOrNobodyGives) {
    const std::string prompt = "Varnok濒死，是否救援？y/n：", skill = "Varnok触发【奸雄】摸1张。";
    const std::string draw = "Varnok摸了1张牌。";
    struct Row {
        bool allyPeach;
        std::string answers;
        std::size_t prompts;
        Lines tail;
    } rows[] = {{true, "", 0, {"Ranvik救援Varnok，其体力=1", skill, draw, skill, draw}},
                {false, "y\n", 1, {"Ormaen救援Varnok，其体力=1", skill, draw, skill, draw}},
                {false, "n\nn\n", 2, {"阵亡：Varnok，身份【汉军】。"}}};
    for (const Row& r : rows) {
        Table t;
        t.hero(2, Varnok);
        t.hp(2, 1);
        for (auto [p, c] :
             std::vector<std::pair<int, CardType>>{{2, Wine}, {3, Peach}, {4, Wine}, {0, Peach}})
            t.give(p, c);
        if (r.allyPeach) t.give(4, Peach);
        t.human(0);
        t.answers(r.answers);
        t.g().damage(1, 2, 2, Normal, "杀", true);
        // Answers are not echoed, so a log line may follow a prompt on the same line.
        std::string out = t.out();
        std::size_t prompts = 0;
        for (auto at = out.find(prompt); at != std::string::npos; at = out.find(prompt, at), ++prompts)
            out.replace(at, prompt.size(), "\n");
        Lines logs, want = {"Varnok受到2点普通【杀】伤害，HP=-1", "Varnok救援Varnok，其体力=0"};
        std::istringstream in(out);
        for (std::string s; std::getline(in, s);)
            if (s.rfind("  -> ", 0) == 0) logs.push_back(s.substr(5));
        want.insert(want.end(), r.tail.begin(), r.tail.end());
        EXPECT_EQ(logs, want) << r.answers;
        EXPECT_EQ(prompts, r.prompts);
        EXPECT_EQ(t.g().findCard(3, Peach), 0);
    }
}

// 急救 turns a red card into a Peach only outside Mendrel's own turn; then its own Wine still saves it.
// The pass reaches the sixth seat, the one just before the dying seat.
TEST(Dying, LastSeatOfThePassSaves) {
    Table t;
    t.role(1, TeamHan);
    t.give(1, Peach);
    t.hp(2, 1);
    t.g().damage(3, 2, 1, Normal, "杀", true);
    EXPECT_TRUE(t.seat(2).alive);
    EXPECT_TRUE(t.logged("Corvane救援Brannoc，其体力=1"));
}

TEST(Dying, MendrelFirstAidOutsideOwnTurnOnly) {
    struct Row {
        int dying, current;
        std::vector<std::pair<CardType, Suit>> cards;
        std::string line;
    } rows[] = {{1, 0, {{Slash, Heart}}, "Mendrel救援Mendrel，其体力=1"},
                {1, 1, {{Slash, Heart}}, ""},
                {1, 1, {{Slash, Heart}, {Wine, Spade}}, "Mendrel救援Mendrel，其体力=1"},
                {3, 3, {{Dodge, Diamond}}, "Mendrel救援Rhoskan，其体力=1"},
                {3, 1, {{Dodge, Diamond}}, ""}};
    for (const Row& r : rows) {
        Table t;
        t.hero(1, Mendrel);
        for (auto c : r.cards) t.give(1, c.first, c.second);
        t.hp(r.dying, 0);
        t.g().current() = r.current;
        EXPECT_EQ(t.g().rescue(r.dying), !r.line.empty());
        EXPECT_EQ(t.logs(), r.line.empty() ? Lines{} : Lines{r.line});
        EXPECT_EQ(t.seat(1).hand.size(), r.cards.size() - (r.line.empty() ? 0 : 1));
    }
}

// A dead seat's cards go out hand first, then the slots in order, then the judgment zone, and
// losing them triggers nothing (no Silver Lion heal, no 枭姬).
TEST(Death, EmptiesTheSeatInOrderWithoutTriggers) {
    Table t;
    t.hero(5, Valessa);
    t.hp(5, 1);
    std::vector<int> want = {t.give(5, Slash).id, t.give(5, Dodge).id}, got;
    for (CardType c : {Crossbow, SilverLion, Chitu, Dilu}) want.push_back(t.equip(5, c).id);
    want.push_back(t.delay(5, Indulgence).id);
    t.g().die(5, -1);
    for (const Card& c : t.g().discard()) got.push_back(c.id);
    EXPECT_EQ(got, want);
    EXPECT_EQ(t.logs(), Lines{"阵亡：Valessa，身份【楚军】。"});
    EXPECT_EQ(t.seat(5).hp, 1);
}

// The Lord's penalty discards what it held when the penalty began: a Kaspen Lord, whose 连营 draws on
// every emptied hand, used to loop forever. Rebels reward any killer; a dead killer gets nothing.
TEST(Death, IdentityRewardsAndLordPenalty) {
    Table t(Identity);
    t.hero(0, Kaspen);
    t.give(0, Slash);
    t.delay(0, Lightning);
    t.g().die(2, 0);
    t.g().die(1, 3);
    t.g().die(5, 2);
    EXPECT_EQ(t.logs(),
              (Lines{"阵亡：Brannoc，身份【忠臣】。", "Kaspen触发【连营】，摸1张牌。", "Kaspen摸了1张牌。",
                     "主公误杀忠臣，弃置所有牌。", "阵亡：Corvane，身份【反贼】。", "Rhoskan摸了3张牌。",
                     "阵亡：Elthar，身份【反贼】。"}));
    EXPECT_EQ(t.seat(0).hand.size() + t.seat(0).delayed.size(), 2u);
    EXPECT_FALSE(t.g().ended());

    Table u(Identity);
    u.give(0, Peach);
    u.equip(0, SilverLion);
    u.equip(0, Chitu);
    u.hp(0, 3);
    u.g().die(2, 0);
    EXPECT_EQ(u.g().totalCards(0), 0);
    EXPECT_EQ(u.logs().back(), "主公误杀忠臣，弃置所有牌。");
    EXPECT_EQ(u.conservationFault(), "");
}

// The penalty for killing a Loyalist falls on the Lord alone: a Rebel or the Renegade who kills one keeps
// every card, and nothing is announced.
TEST(Death, OnlyTheLordPaysForALoyalist) {
    for (int killer : {1, 4}) {
        Table t(Identity);
        t.give(killer, Slash);
        t.equip(killer, Chitu);
        t.g().die(2, killer);
        EXPECT_EQ(t.g().totalCards(killer), 2) << killer;
        EXPECT_EQ(t.logs(), Lines{"阵亡：Brannoc，身份【忠臣】。"}) << killer;
    }
}

// Killing the Renegade rewards nobody, whoever kills it; only a Rebel's death draws its killer 3 cards.
TEST(Death, TheRenegadesDeathRewardsNobody) {
    for (int killer : {0, 2, 3}) {
        Table t(Identity);
        t.g().die(4, killer);
        EXPECT_EQ(t.logs(), Lines{"阵亡：Ranvik，身份【内奸】。"}) << killer;
        EXPECT_EQ(t.g().totalCards(killer), 0) << killer;
        t.g().die(5, killer);
        EXPECT_EQ(t.g().totalCards(killer), 3) << killer;
        EXPECT_FALSE(t.g().ended()) << killer;
    }
}

// 刚烈 hurts a source holding fewer than two cards (hand and equipment) and otherwise takes two of them.
TEST(Damage, GanglieAgainstOneTwoAndThreeCards) {
    for (int cards : {0, 1, 2, 3}) {
        SCOPED_TRACE(cards);
        bool fired = false;
        for (std::uint32_t seed = 1; seed < 40 && !fired; ++seed) {
            Table t(Normal3v3, seed);
            t.hero(1, Korveth);
            if (cards >= 1) t.equip(0, Chitu);
            for (int k = 1; k < cards; ++k) t.give(0, Peach);
            GameRng copy = t.g().rng();
            bool rolledOne = std::uniform_int_distribution<int>(0, 1)(copy) == 1;
            t.g().afterDamage(0, 1);
            ASSERT_EQ(t.logged("Korveth触发【刚烈】。"), rolledOne) << seed;
            if (!rolledOne) continue;
            fired = true;
            EXPECT_EQ(t.seat(0).hp, cards < 2 ? 3 : 4);
            EXPECT_EQ(t.g().totalCards(0), cards < 2 ? cards : cards - 2);
            EXPECT_EQ(t.logged("Ormaen受到1点普通【刚烈】伤害，HP=3"), cards < 2);
            EXPECT_EQ(t.conservationFault(), "");
        }
        EXPECT_TRUE(fired);
    }
}

// A random card is drawn uniformly over the hand, then the weapon, armour and horses in that order,
// skipping empty slots: the card taken is the one at the drawn position, and it leaves its place.
TEST(CardLoss, RandomPickOverHandAndSeveralEquipment) {
    std::set<int> taken;
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        Table t(Normal3v3, seed);
        std::vector<Card> order{t.give(1, Peach), t.give(1, Dodge), t.equip(1, ZhuqueFan), t.equip(1, Vine),
                                t.equip(1, Dilu)};
        GameRng copy = t.g().rng();
        int k = std::uniform_int_distribution<int>(0, 4)(copy);
        Optional<Card> got = t.g().takeRandomCard(1, true, 0);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->id, order[static_cast<std::size_t>(k)].id) << seed;
        EXPECT_EQ(t.seat(0).hand.back().id, got->id);
        EXPECT_EQ(t.g().totalCards(1), 4);
        EXPECT_EQ(bool(t.seat(1).weapon), k != 2);
        EXPECT_EQ(bool(t.seat(1).armor), k != 3);
        EXPECT_EQ(bool(t.seat(1).defensiveHorse), k != 4);
        EXPECT_EQ(t.conservationFault(), "");
        taken.insert(k);
    }
    EXPECT_EQ(taken.size(), 5u);
}

// A lost Silver Lion heals before 枭姬 draws, both before the receiver gets the card at the end of its hand.
TEST(CardLoss, TriggersFireForTheLoserFirst) {
    Table t;
    t.hero(1, Valessa);
    t.hp(1, 1);
    Card lion = t.equip(1, SilverLion);
    t.give(0, Peach);
    t.g().takeRandomCard(1, true, 0);
    EXPECT_EQ(t.seat(0).hand.back().id, lion.id);
    EXPECT_EQ(t.seat(1).hp, 2);
    EXPECT_EQ(t.logs(), (Lines{"Valessa因【白银狮子】回复1点体力。", "Valessa触发【枭姬】，摸2张牌。",
                               "Valessa摸了2张牌。"}));
}

} // namespace
} // namespace kvr

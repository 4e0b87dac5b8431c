#include <gtest/gtest.h>

#include <set>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

using Lines = std::vector<std::string>;
const Card BLACK = deckCard(1), RED_SLASH = deckCard(2), THUNDER = deckCard(33);
const std::string HIT = "Corvane受到1点普通【杀】伤害，HP=3", DODGE = "Corvane打出【闪】。",
                  MISS = "Corvane闪避了杀。";

// One row per piece of equipment or skill: seat 0 slashes seat 1; each side's cards are equipped or held
// in the order given. A wine stays drunk only when armour stopped the slash.
TEST(Slash, EquipmentAndSkillRows) {
    struct Row {
        HeroId attacker, target;
        std::vector<CardType> mine, theirs;
        Lines logs;
        Card card = BLACK;
        bool drank = false;
    } rows[] = {
        {Ormaen, Corvane, {}, {RenwangShield}, {"仁王盾令黑色杀无效。"}, BLACK, true},
        {Ormaen, Corvane, {}, {RenwangShield}, {HIT}, RED_SLASH},
        {Ormaen, Corvane, {QinggangSword}, {RenwangShield}, {HIT}},
        {Ormaen, Corvane, {ZhuqueFan}, {RenwangShield}, {"Corvane受到1点火焰【杀】伤害，HP=3"}},
        {Ormaen, Corvane, {}, {Vine}, {"藤甲令普通杀无效。"}, BLACK, true},
        {Ormaen, Corvane, {}, {Vine}, {"Corvane受到1点雷电【杀】伤害，HP=3"}, THUNDER},
        {Ormaen, Corvane, {ZhuqueFan}, {Vine}, {"Corvane受到2点火焰【杀】伤害，HP=2"}},
        {Ormaen, Corvane, {ZhuqueFan}, {}, {"Corvane受到1点雷电【杀】伤害，HP=3"}, THUNDER},
        {Ormaen, Corvane, {ZhuqueFan}, {Vine}, {"Corvane受到1点雷电【杀】伤害，HP=3"}, THUNDER},
        {Ormaen, Corvane, {QinggangSword}, {Vine}, {"Corvane受到2点普通【杀】伤害，HP=2"}, BLACK, true},
        {Ormaen, Corvane, {GudingBlade}, {}, {"Corvane受到3点普通【杀】伤害，HP=1"}, BLACK, true},
        {Ormaen, Corvane, {GudingBlade}, {Peach}, {HIT}},
        {Ormaen, Corvane, {IceSword}, {Peach, Peach}, {"寒冰剑防止伤害并弃置目标2张牌。"}, BLACK, true},
        {Ormaen, Corvane, {IceSword}, {Peach}, {HIT}},
        {Grathos, Corvane, {}, {Dodge}, {DODGE, HIT}},
        {Ormaen, Corvane, {Axe, Peach}, {Dodge}, {DODGE, "贯石斧令杀仍然命中！", HIT}},
        {Ormaen, Corvane, {Axe}, {Dodge}, {DODGE, MISS}},
        {Ormaen, Corvane, {GreenDragon, Slash, Slash}, {Dodge, Dodge}, {DODGE, MISS, DODGE, MISS, HIT}},
        {Ormaen, Seluna, {DoubleSword}, {}, {"Ormaen摸了1张牌。", "Seluna受到1点普通【杀】伤害，HP=2"}},
        {Ormaen, Seluna, {DoubleSword}, {Dodge}, {"Seluna受到1点普通【杀】伤害，HP=2"}},
        {Ormaen, Corvane, {KylinBow}, {Chitu, Dilu}, {HIT, "麒麟弓弃置了进攻坐骑。"}},
        {Ormaen, Corvane, {KylinBow}, {Dilu}, {HIT, "麒麟弓弃置了防御坐骑。"}},
    };
    for (const Row& r : rows) {
        Table t;
        t.hero(0, r.attacker);
        t.hero(1, r.target);
        for (int p : {0, 1})
            for (CardType c : p == 0 ? r.mine : r.theirs)
                cardKind(c) >= Weapon ? t.equip(p, c) : t.give(p, c);
        t.seat(0).drank = r.drank;
        t.g().slash(0, 1, r.card);
        SCOPED_TRACE(r.logs.back());
        EXPECT_EQ(t.logs(), r.logs);
        EXPECT_EQ(t.seat(0).drank, r.drank && r.logs[0].find("无效") != std::string::npos);
        EXPECT_EQ(t.seat(0).slashCount, 0);
        EXPECT_EQ(t.conservationFault(), "");
    }
}

// 铁骑 skips the dodge stage, Eight Diagrams included; both draws of both are reachable.
TEST(Slash, IronCavalryAndEightDiagramsDraws) {
    const Lines cavalry{"Feyrin【铁骑】成功，此杀不可闪。", "Corvane受到1点普通【杀】伤害，HP=3"};
    const Lines diagrams{"Corvane的八卦阵判定成功，视为闪。", "Corvane闪避了杀。"};
    const Lines dodge{"Corvane的八卦阵判定失败。", "Corvane打出【闪】。", "Corvane闪避了杀。"};
    std::set<Lines> seen;
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        Table t(Normal3v3, seed);
        t.hero(0, Feyrin);
        t.equip(1, EightDiagrams);
        t.give(1, Dodge);
        t.g().slash(0, 1, BLACK);
        Lines got = t.logs();
        EXPECT_TRUE(got == cavalry || got == diagrams || got == dodge) << seed;
        EXPECT_EQ(t.seat(1).hand.size(), (got == dodge ? 0u : 1u));
        seen.insert(got);
    }
    EXPECT_EQ(seen.size(), 3u);
}

// 流离 goes to the lowest seat in Nimeri's reach even when it is her ally, and never against a friend.
TEST(Slash, NimeriPassesTheSlash) {
    for (bool friendly : {false, true}) {
        Table t;
        t.hero(1, Nimeri);
        t.give(1, Peach);
        t.equip(1, KylinBow);
        t.seat(2).alive = false;
        if (friendly) t.role(0, TeamChu);
        t.g().slash(0, 1, BLACK);
        EXPECT_EQ(t.logs(), (friendly ? Lines{"Nimeri受到1点普通【杀】伤害，HP=2"}
                                      : Lines{"Nimeri发动【流离】，杀转移给Rhoskan。",
                                              "Rhoskan受到1点普通【杀】伤害，HP=3"}));
        EXPECT_EQ(t.seat(1).hand.size(), (friendly ? 1u : 0u));
    }
}

// Playing slash cards: the limit, an unreachable target, and the Halberd's extra targets in seat order.
TEST(Slash, UseSlashCardLimitReachAndHalberd) {
    Table t;
    t.human(0);
    t.give(0, Slash);
    t.seat(0).slashCount = 1;
    EXPECT_FALSE(t.g().useSlashCard(0, 0, Optional<int>(1)));
    t.seat(0).slashCount = 0;
    EXPECT_FALSE(t.g().useSlashCard(0, 0, Optional<int>(3)));
    EXPECT_EQ(t.logs(), Lines{"杀的次数已达上限。"});
    EXPECT_EQ(t.seat(0).hand.size(), 1u);

    for (int hand : {1, 2}) {
        Table h;
        h.equip(0, Halberd);
        for (int i = 0; i < hand; ++i) h.give(0, Slash, Spade);
        EXPECT_TRUE(h.g().useSlashCard(0, 0, Optional<int>(3)));
        EXPECT_EQ(h.logs(),
                  (hand == 1
                       ? Lines{"Ormaen对Rhoskan使用【杀 黑桃A】", "方天画戟追加了目标。",
                               "Rhoskan受到1点普通【杀】伤害，HP=3", "Corvane受到1点普通【杀】伤害，HP=3",
                               "Elthar受到1点普通【杀】伤害，HP=2"}
                       : Lines{"Ormaen对Rhoskan使用【杀 黑桃A】", "Rhoskan受到1点普通【杀】伤害，HP=3"}));
        EXPECT_EQ(h.seat(0).slashCount, 1);
        EXPECT_EQ(h.g().discard().size(), 1u);
    }
}

// The Serpent Spear needs two hand cards, for an answer and for a slash of its own, and pays the first
// two; a computer's spear slash goes to the foe it values most (Elthar, the most hurt).
TEST(Slash, SerpentSpearNeedsTwoCards) {
    for (std::size_t n : {1u, 2u, 3u}) {
        SCOPED_TRACE(n);
        Table t;
        t.equip(1, SerpentSpear);
        std::vector<Card> held;
        for (std::size_t k = 0; k < n; ++k) held.push_back(t.give(1, k % 2 ? Dodge : Peach));
        EXPECT_EQ(t.g().respondSlash(1, "决斗", 1), n >= 2);
        EXPECT_EQ(t.seat(1).hand.size(), n >= 2 ? n - 2 : n);
        if (n >= 2) {
            EXPECT_TRUE(t.g().discard().at(0).id == held[0].id && t.g().discard().at(1).id == held[1].id);
        }

        Table s;
        s.equip(0, SerpentSpear);
        for (std::size_t k = 0; k < n; ++k) s.give(0, Peach);
        EXPECT_EQ(s.g().useVirtualSlash(0), n >= 2);
        EXPECT_EQ(s.logs(), (n >= 2 ? Lines{"Elthar受到1点普通【杀】伤害，HP=2"} : Lines{}));
        EXPECT_EQ(s.seat(0).slashCount, n >= 2 ? 1 : 0);
    }
}

// The Halberd adds at most two foes in reach, in seat order after the chosen one: with four foes
// (the identity Lord's three Rebels and the Renegade) the last in seat order is spared.
TEST(Slash, HalberdWithTwoThreeAndFourFoes) {
    struct Row {
        std::vector<int> dead;
        Lines hits;
    } rows[] = {
        {{1, 5}, {"Rhoskan受到1点普通【杀】伤害，HP=3", "Ranvik受到1点普通【杀】伤害，HP=3"}},
        {{5},
         {"Rhoskan受到1点普通【杀】伤害，HP=3", "Corvane受到1点普通【杀】伤害，HP=3",
          "Ranvik受到1点普通【杀】伤害，HP=3"}},
        {{},
         {"Rhoskan受到1点普通【杀】伤害，HP=3", "Corvane受到1点普通【杀】伤害，HP=3",
          "Ranvik受到1点普通【杀】伤害，HP=3"}},
    };
    for (const Row& r : rows) {
        Table t(Identity);
        t.equip(0, Halberd);
        t.give(0, Slash, Spade);
        for (int p : r.dead) t.seat(p).alive = false;
        EXPECT_EQ(t.g().enemies(0, true).size(), 4 - r.dead.size());
        EXPECT_TRUE(t.g().useSlashCard(0, 0, Optional<int>(3)));
        Lines l = t.logs();
        EXPECT_EQ(l.at(1), "方天画戟追加了目标。");
        EXPECT_EQ(Lines(l.begin() + 2, l.end()), r.hits) << r.dead.size();
    }
}

// Converted slashes: 武圣 keeps the paid card's red colour; the Serpent Spear pays the first two cards
// whatever they are, as a black slash that the Renwang Shield stops.
TEST(Slash, VirtualSlashConversions) {
    for (bool spear : {false, true}) {
        Table t;
        t.equip(1, RenwangShield);
        t.hp(1, 3);
        if (spear)
            t.equip(0, SerpentSpear);
        else
            t.hero(0, Keldar);
        t.give(0, Peach, Heart);
        t.give(0, Dodge, Spade);
        t.give(0, Wine);
        EXPECT_TRUE(t.g().useVirtualSlash(0));
        EXPECT_FALSE(t.g().useVirtualSlash(0));
        EXPECT_EQ(t.logs(),
                  (spear ? Lines{"仁王盾令黑色杀无效。"}
                         : Lines{"Keldar发动转化技能，将牌当杀。", "Corvane受到1点普通【杀】伤害，HP=2"}));
        EXPECT_EQ(t.seat(0).hand.size(), (spear ? 1u : 2u));
        EXPECT_EQ(t.conservationFault(), "");
    }
}

// A human's answers: a dodge, a 龙胆 slash or a 倾国 black card pass as a dodge; a slash, a 武圣 red
// card or a 龙胆 dodge as a slash; a wrong card is refused once, 0 silently; the Serpent Spear pays
// the first two cards without asking (the scripted 0 is never read).
TEST(Respond, HumanAnswers) {
    struct Row {
        HeroId hero;
        std::vector<CardType> cards;
        Suit suit;
        bool dodge;
        std::string answer;
        bool ok;
        Lines logs;
    } rows[] = {
        {Seluna, {Peach}, Heart, true, "1", false, {"该牌不能当闪。"}},
        {Seluna, {Duel}, Club, true, "1", true, {"Seluna打出【闪】。"}},
        {Seluna, {Duel}, Club, true, "0", false, {}},
        {Jorvane, {Slash}, Club, true, "1", true, {"Jorvane打出【闪】。"}},
        {Jorvane, {Dodge}, Club, false, "1", true, {"Jorvane打出【杀】。"}},
        {Keldar, {Dodge}, Spade, false, "1", false, {"该牌不能当杀。"}},
        {Keldar, {Dodge}, Heart, false, "1", true, {"Keldar打出【杀】。"}},
        {Corvane,
         {SerpentSpear, Peach, Dodge, Wine},
         Spade,
         false,
         "0",
         true,
         {"Corvane发动丈八蛇矛，以两牌当杀。"}},
        {Corvane,
         {SerpentSpear, Peach, Dodge},
         Spade,
         false,
         "0",
         true,
         {"Corvane发动丈八蛇矛，以两牌当杀。"}},
        {Corvane, {SerpentSpear, Peach}, Spade, false, "0", false, {}},
    };
    for (const Row& r : rows) {
        Table t;
        t.human(1);
        t.hero(1, r.hero);
        for (CardType c : r.cards) cardKind(c) == Weapon ? t.equip(1, c) : t.give(1, c, r.suit);
        t.answers(r.answer + "\n");
        SCOPED_TRACE(r.logs.empty() ? r.answer : r.logs[0]);
        EXPECT_EQ(r.dodge ? t.g().respondDodge(1, "Ormaen的杀") : t.g().respondSlash(1, "南蛮入侵", 1), r.ok);
        EXPECT_EQ(t.logs(), r.logs);
        EXPECT_EQ(t.seat(1).hand.size(), r.ok && r.cards.size() < 4 ? 0u : 1u);
    }
}

// A computer's slash answers: need 0 takes nothing; a half-met need 2 fails and keeps its loss.
TEST(Respond, ComputerSlashNeed) {
    Table t;
    t.give(1, Slash);
    EXPECT_TRUE(t.g().respondSlash(1, "决斗", 0));
    EXPECT_FALSE(t.g().respondSlash(1, "决斗", 2));
    EXPECT_TRUE(t.seat(1).hand.empty());
    EXPECT_EQ(t.logs(), Lines{"Corvane打出【杀】。"});
}

} // namespace
} // namespace kvr

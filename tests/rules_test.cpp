#include <gtest/gtest.h>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

using Seats = std::vector<int>;
using Lines = std::vector<std::string>;

// Dead seats shrink the distance; horses and 马术 never bring it below 1; 空城 needs an empty hand.
TEST(Reach, DistanceAndTargets) {
    Table t;
    auto& g = t.g();
    EXPECT_EQ(g.distance(0, 3), 3);
    t.seat(1).alive = t.seat(2).alive = false;
    EXPECT_EQ(g.distance(0, 3) + g.distance(3, 0), 2);
    EXPECT_FALSE(g.canSlash(0, 1));
    t.seat(1).alive = t.seat(2).alive = true;
    t.hero(0, Feyrin);
    t.equip(0, Chitu);
    t.equip(2, Dilu);
    EXPECT_EQ(g.distance(0, 1) + g.distance(0, 2), 2);
    t.equip(5, Hualiu);
    EXPECT_FALSE(g.canSlash(4, 5));
    t.equip(4, QinggangSword);
    EXPECT_TRUE(g.canSlash(4, 5));
    t.hero(1, Velisar);
    EXPECT_FALSE(g.canSlash(0, 1));
    t.give(1, Dodge);
    EXPECT_TRUE(g.canSlash(0, 1));
}

// Each weapon's attack range, and 1 without one.
TEST(Reach, WeaponRanges) {
    const std::pair<CardType, int> ranges[] = {
        {Crossbow, 1},    {QinggangSword, 2}, {IceSword, 2},  {DoubleSword, 2},
        {GreenDragon, 3}, {SerpentSpear, 3},  {Axe, 3},       {Halberd, 4},
        {KylinBow, 5},    {GudingBlade, 2},   {ZhuqueFan, 4},
    };
    Table t;
    EXPECT_EQ(t.g().range(0), 1);
    for (const auto& r : ranges) {
        t.equip(0, r.first);
        EXPECT_EQ(t.g().range(0), r.second) << cardName(r.first);
    }
}

// A real card of the asked kind wins over a converted one at a lower index.
TEST(Reach, FinderPassOrder) {
    Table t;
    auto& g = t.g();
    t.hero(1, Keldar);
    for (auto [c, s] : std::vector<std::pair<CardType, Suit>>{{Peach, Heart}, {Duel, Club}, {Slash, Spade}})
        t.give(1, c, s);
    EXPECT_EQ(g.findAnySlash(1), 2);
    g.takeHand(1, 2, true);
    EXPECT_EQ(g.findAnySlash(1), 0);
    t.hero(2, Jorvane);
    for (CardType c : {Duel, Dodge, Slash}) t.give(2, c);
    EXPECT_EQ(g.findDodge(2) * 10 + g.findAnySlash(2), 12);
    g.takeHand(2, 2, true);
    EXPECT_EQ(g.findAnySlash(2), 1);
    t.hero(3, Seluna);
    t.give(3, Peach, Heart);
    t.give(3, Duel, Club);
    EXPECT_EQ(g.findDodge(3), 1);
}

// The attitude table by true roles, and the foe scores: ties to the lower seat, cards, the Rebels'
// pull towards the Lord and the Renegade sparing a Lord at 2 hit points.
TEST(Attitude, TablesAndTargetChoice) {
    Table t(Identity);
    auto& g = t.g();
    const int want[6][6] = {{4, -3, 3, -3, -2, -3}, {-3, 4, -3, 3, -1, 3},   {3, -3, 4, -3, -2, -3},
                            {-3, 3, -3, 4, -1, 3},  {-1, -1, -1, -1, 4, -1}, {-3, 3, -3, 3, -1, 4}};
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 6; ++b) EXPECT_EQ(g.attitude(a, b), want[a][b]) << a << "," << b;
    EXPECT_EQ(g.aiAlly(4, false), -1);
    t.hp(2, 1);
    EXPECT_EQ(g.aiEnemy(1, false, false), 0);
    t.hp(2, 4);
    t.hp(0, 3);
    EXPECT_EQ(g.aiEnemy(4, false, false), 0);
    t.hp(0, 2);
    EXPECT_EQ(g.aiEnemy(4, false, false), 5);

    // Four points a card against twenty a lost hit point: eight more cards outweigh one hurt point.
    Table w;
    w.hp(5, 2);
    w.hero(1, Lirren);
    for (int k = 0; k < 8; ++k) w.give(1, Peach);
    EXPECT_EQ(w.g().aiEnemy(0, false, false), 1);
    // Armour is worth more to a seat without any.
    EXPECT_EQ(w.g().keepValue(Card{1, Vine, Spade, 1}, 0), 70);
    w.equip(0, SilverLion);
    EXPECT_EQ(w.g().keepValue(Card{1, Vine, Spade, 1}, 0), 35);

    Table n;
    n.hero(5, Keldar);
    EXPECT_EQ(n.g().aiEnemy(0, false, false), 1);
    n.delay(1, Lightning);
    n.give(3, Dodge);
    EXPECT_EQ(n.g().aiEnemy(0, false, true), 3);
    EXPECT_EQ(n.g().aiEnemy(0, true, true), -1);
}

// Every victory case of both modes, read from the living seats alone.
TEST(Loop, VictoryTexts) {
    const std::string lordSide = "反贼与内奸全部阵亡，主公/忠臣获胜！", rebels = "主公阵亡，反贼获胜！";
    const std::vector<std::tuple<Mode, Seats, std::string>> rows = {
        {Identity, {0, 2, 4}, ""},
        {Identity, {0, 1}, ""},
        {Identity, {0, 2}, lordSide},
        {Identity, {2, 4}, rebels},
        {Identity, {1, 4}, rebels},
        {Identity, {}, rebels},
        {Identity, {4}, "内奸成为最后生还者，内奸获胜！"},
        {Normal3v3, {0, 1}, ""},
        {Normal3v3, {0, 2, 4}, "汉军获胜！"},
        {Normal3v3, {3}, "楚军获胜！"},
        {Normal3v3, {}, "楚军获胜！"}};
    for (const auto& [mode, living, result] : rows) {
        Table t(mode);
        for (int p = 0; p < 6; ++p) t.seat(p).alive = false;
        for (int p : living) t.seat(p).alive = true;
        t.g().checkWin();
        EXPECT_EQ(t.g().ended(), !result.empty()) << result;
        EXPECT_EQ(t.g().result(), result);
    }
}

// A seat killed in its judgment phase ends the game at once: no draw, no further seat, round counted.
TEST(Loop, DeathInOwnJudgmentEndsTheGame) {
    Table t;
    for (int p : {0, 3, 5}) t.seat(p).alive = false;
    t.hp(1, 3);
    t.delay(1, Lightning);
    t.top(Slash, Spade, 5);
    t.game().run();
    EXPECT_EQ(t.logs(), (std::vector<std::string>{
                            "━━ Corvane的回合 ━━", "Corvane的【闪电】判定为【杀 黑桃5】（不利）",
                            "Corvane受到3点雷电【闪电】伤害，HP=0", "阵亡：Corvane，身份【楚军】。"}));
    EXPECT_NE(t.out().find("\n================ 对局结束 ================\n汉军获胜！\n身份：Ormaen=汉军  "),
              std::string::npos);
    EXPECT_EQ(t.g().round(), 2);
}

// A death after the decision used to decide again: the first target of a fire damage waits at 0 while
// conduction kills the Lord, then dies too, and the Renegade, last alive, was named winner and rewarded.
// Now the first result stands, nobody is asked to save, conduction and a Halberd's further targets stop.
TEST(Loop, DecidedGameStaysDecided) {
    Table t(Identity);
    for (int p : {1, 2, 5}) t.seat(p).alive = false;
    t.hp(0, 1), t.hp(3, 1);
    for (int p : {0, 3, 4}) t.seat(p).chained = true;
    t.human(3);
    t.give(3, Wine);
    t.g().damage(4, 3, 1, Fire, "杀", true);
    EXPECT_EQ(t.logs(),
              (Lines{"Rhoskan受到1点火焰【杀】伤害，HP=0", "Ormaen受到1点火焰【铁索传导】伤害，HP=0",
                     "阵亡：Ormaen，身份【主公】。", "阵亡：Rhoskan，身份【反贼】。"}));
    EXPECT_EQ(t.g().result(), "主公阵亡，反贼获胜！");
    EXPECT_EQ(t.out().find("濒死"), std::string::npos);
    EXPECT_TRUE(t.seat(4).hp == 4 && !t.seat(4).chained && t.seat(4).hand.empty());
    EXPECT_EQ(t.conservationFault(), "");

    Table h(Identity);
    h.hp(0, 1);
    h.equip(4, Halberd);
    h.give(4, Slash);
    h.human(2);
    h.give(2, Dodge);
    EXPECT_TRUE(h.g().useSlashCard(4, 0, Optional<int>(0)));
    EXPECT_EQ(h.logs().back(), "阵亡：Ormaen，身份【主公】。");
    EXPECT_EQ(h.out().find("出闪"), std::string::npos);
    EXPECT_EQ(h.conservationFault(), "");
}

// In three against three the last seat of one team dies by conduction from a Lightning: the holder,
// left at 0 and the last of its own team, dies unasked and its team still wins. A holder who survives
// turns over no further card of its zone, so 鬼才 is not offered.
TEST(Loop, DecidedByConductionInJudgment) {
    Table t;
    for (int p : {1, 2, 4, 5}) t.seat(p).alive = false;
    t.seat(0).chained = t.seat(3).chained = true;
    t.hp(0, 3), t.hp(3, 3);
    t.human(0);
    t.give(0, Wine);
    t.delay(0, Lightning);
    t.top(Slash, Spade, 5);
    t.g().judgmentPhase(0);
    EXPECT_EQ(t.logs(),
              (Lines{"Ormaen的【闪电】判定为【杀 黑桃5】（不利）", "Ormaen受到3点雷电【闪电】伤害，HP=0",
                     "Rhoskan受到3点雷电【铁索传导】伤害，HP=0", "阵亡：Rhoskan，身份【楚军】。",
                     "阵亡：Ormaen，身份【汉军】。"}));
    EXPECT_EQ(t.g().result(), "汉军获胜！");
    EXPECT_EQ(t.out().find("濒死"), std::string::npos);
    EXPECT_EQ(t.conservationFault(), "");

    Table u;
    for (int p : {1, 4, 5}) u.seat(p).alive = false;
    u.seat(0).chained = u.seat(3).chained = true;
    u.hp(3, 1);
    u.equip(0, SilverLion);
    u.hero(2, Thessil);
    u.human(2);
    u.give(2, Dodge, Spade);
    u.delay(0, Lightning);
    Card indulgence = u.delay(0, Indulgence);
    u.top(Dodge, Heart);
    u.top(Slash, Spade, 5);
    u.g().judgmentPhase(0);
    EXPECT_EQ(u.logs().back(), "阵亡：Rhoskan，身份【楚军】。");
    EXPECT_EQ(u.g().result(), "汉军获胜！");
    EXPECT_EQ(u.out().find("鬼才"), std::string::npos);
    EXPECT_EQ(u.g().discard().back().id, indulgence.id);
    EXPECT_EQ(u.conservationFault(), "");
}

// An automatic game plays exactly the allowed rounds and ends in the draw text.
TEST(Loop, RoundLimitEndsInDraw) {
    Console console;
    Options opt;
    opt.autoPlay = opt.fast = true;
    opt.color = false;
    opt.seed = 1;
    opt.maxRounds = 1;
    Game game(Identity, opt, &standardConsole());
    game.setup();
    game.run();
    EXPECT_EQ(console.out().find("======== 第2轮 ========"), std::string::npos);
    EXPECT_NE(console.out().find("第1轮 ========\n"), std::string::npos);
    EXPECT_NE(console.out().find("\n================ 对局结束 ================\n达到最大轮数，平局。\n"),
              std::string::npos);
}

} // namespace
} // namespace kvr

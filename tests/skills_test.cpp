#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/table.hpp"

namespace kvr {
namespace {

using Lines = std::vector<std::string>;

std::vector<int> topIds(Table& t) {
    std::vector<int> ids;
    const CardList& deck = t.g().deck();
    for (std::size_t k = deck.size(); ids.size() < 5 && k-- > 0;) ids.push_back(deck[k].id);
    return ids;
}

// 洛神 stops after twelve black cards and at once on a red one; 观星 ignores a repeated number and takes a
// full order, the named card coming first; the computer puts its most valued card on top.
TEST(StartSkills, LuoshenCapAndGuanxingOrder) {
    Table t;
    t.hero(0, Seluna);
    for (int k = 0; k < 13; ++k) t.top(k < 12 ? Slash : Dodge, k % 2 == 0 ? Spade : Club);
    t.g().startSkills(0);
    t.top(Dodge, Heart);
    t.g().startSkills(0);
    EXPECT_EQ(t.seat(0).hand.size(), 12u);
    EXPECT_EQ(t.g().discard().back().suit, Heart);
    t.hero(0, Velisar);
    t.human(0);
    for (std::string answer : {"1 1 2 3 4", "3 1 2 4 5"}) {
        std::vector<int> ids = topIds(t);
        t.answers(answer + "\n");
        t.g().startSkills(0);
        if (answer[0] == '3') ids = {ids[2], ids[0], ids[1], ids[3], ids[4]};
        EXPECT_EQ(topIds(t), ids);
    }
    EXPECT_EQ(t.logs().back(), "Velisar发动【观星】。");
    t.seat(0).human = false;
    Card best = t.top(ExNihilo);
    t.top(Slash);
    t.g().startSkills(0);
    EXPECT_EQ(t.g().deck().back().id, best.id);
}

// 洛神 keeps clubs as well as spades, each judged favourable, and a red card ends it in the discard pile;
// an active skill used last turn can be used again in the next.
TEST(StartSkills, LuoshenKeepsBlackAndSkillsComeBack) {
    Table t;
    t.hero(0, Seluna);
    Card heart = t.top(Dodge, Heart), club = t.top(Slash, Club), spade = t.top(Slash, Spade);
    t.g().startSkills(0);
    EXPECT_EQ(t.logs(), (Lines{"Seluna的【洛神】判定为【杀 黑桃" + rankName(spade.rank) + "】（有利）",
                               "Seluna获得黑色洛神牌。",
                               "Seluna的【洛神】判定为【杀 梅花" + rankName(club.rank) + "】（有利）",
                               "Seluna获得黑色洛神牌。",
                               "Seluna的【洛神】判定为【闪 红桃" + rankName(heart.rank) + "】（不利）"}));
    EXPECT_EQ(t.seat(0).hand.size(), 2u);
    EXPECT_EQ(t.g().discard().back().id, heart.id);

    Table u;
    u.hero(0, Corvane);
    u.human(0);
    u.give(0, Slash);
    u.seat(0).activeUsed = true;
    u.answers("s\n1\ne\n");
    u.g().turn(0);
    EXPECT_TRUE(u.logged("Corvane发动【制衡】。"));
    EXPECT_FALSE(u.logged("本回合主动技能已使用。"));
}

// A skipped draw comes before 突袭, which robs two enemies of one card each; 裸衣 draws one, 英姿 three; 克己
// keeps a hand only without a slash, and the computer discards its least valued card down to its hit points.
TEST(DrawAndDiscard, PhaseSkills) {
    Table t;
    t.hero(0, Dravin);
    for (int p : {1, 3, 5}) t.give(p, Dodge);
    t.seat(0).skipDraw = true;
    t.g().drawPhase(0);
    t.seat(0).skipDraw = false;
    t.g().drawPhase(0);
    t.hero(2, Bruhald);
    t.g().drawPhase(2);
    t.g().drawPhase(5);
    EXPECT_EQ(t.logs(), (Lines{"Dravin跳过摸牌阶段。", "Dravin发动【突袭】获得手牌。",
                               "Bruhald发动【裸衣】。", "Bruhald摸了1张牌。", "Elthar摸了3张牌。"}));
    EXPECT_TRUE(t.seat(0).hand.size() == 2u && t.seat(2).luoyi);
    t.hero(3, Ostrel);
    t.hp(3, 1);
    Card peach = t.give(3, Peach), sl = t.give(3, Slash), duel = t.give(3, Duel);
    t.g().discardPhase(3);
    EXPECT_EQ(t.logs().back(), "Ostrel发动【克己】，跳过弃牌。");
    t.seat(3).usedSlash = true;
    t.g().discardPhase(3);
    EXPECT_EQ(t.seat(3).hand.at(0).id, peach.id);
    EXPECT_TRUE(t.g().discard().at(0).id == sl.id && t.g().discard().at(1).id == duel.id);
}

// 裸衣's bonus is for its turn: after a turn with it, a slash in another seat's turn, a turn whose draw
// phase 兵粮寸断 skips and a turn whose human declines it deal 1, as a slash in a turn with it deals 2.
TEST(DrawAndDiscard, LuoyiBonusEndsWithItsTurn) {
    Table t;
    t.hero(0, Bruhald);
    t.human(0);
    // A turn of Bruhald's slashing seat 2 (Corvane, 4 hit points) with a card given for it: the damage.
    auto slashTurn = [&t](const std::string& luoyi) {
        t.hp(1, 4);
        t.give(0, Slash);
        t.answers(luoyi + std::to_string(t.seat(0).hand.size()) + "\n1\ne\n");
        t.g().turn(0);
        return 4 - t.seat(1).hp;
    };
    t.top(Dodge);
    EXPECT_EQ(slashTurn("y\n"), 2);
    // Between its turns, seat 2's 借刀杀人 makes Bruhald slash seat 6 (Elthar, 3 hit points).
    t.equip(0, Crossbow);
    t.give(0, Slash);
    t.give(1, BorrowSword);
    EXPECT_TRUE(t.g().useCard(1, 0, Optional<int>(0)));
    EXPECT_EQ(t.seat(5).hp, 2);
    t.delay(0, SupplyShortage);
    t.top(Dodge, Spade);
    EXPECT_EQ(slashTurn(""), 1);
    EXPECT_TRUE(t.logged("Bruhald跳过摸牌阶段。"));
    t.top(Dodge);
    t.top(Dodge);
    EXPECT_EQ(slashTurn("n\n"), 1);
    EXPECT_EQ(occurrences(t.out(), "发动裸衣少摸1张并增加伤害？"), 2u);
    EXPECT_EQ(t.conservationFault(), "");
}

// 裸衣 adds one to a duel its user wins, as to a slash, whoever began the duel; a duel its user loses hurts
// it by one, and 裸衣 adds nothing to another card's damage.
TEST(DrawAndDiscard, LuoyiAddsToADuelItsUserWins) {
    Table t;
    t.hero(0, Bruhald);
    t.seat(0).luoyi = true;
    t.g().duel(0, 1, -1);
    EXPECT_EQ(t.seat(1).hp, t.seat(1).maxHp - 2);
    // Seat 4 challenges Bruhald, who answers with its slash and wins.
    t.give(0, Slash);
    t.g().duel(3, 0, -1);
    EXPECT_EQ(t.seat(3).hp, t.seat(3).maxHp - 2);
    t.g().duel(5, 0, -1);
    EXPECT_EQ(t.seat(0).hp, t.seat(0).maxHp - 1);
    t.give(1, Dodge, Heart);
    t.give(0, Slash, Heart);
    t.g().fireAttack(0, 1);
    EXPECT_EQ(t.seat(1).hp, t.seat(1).maxHp - 3);
    EXPECT_EQ(t.conservationFault(), "");
}

// 国色 turns a diamond, and only a diamond, into an Indulgence: with hearts alone the skill is refused and
// spends nothing.
TEST(ActiveSkill, GuoseTakesOnlyDiamonds) {
    Table t;
    t.hero(0, Nimeri);
    Card heart = t.give(0, Slash, Heart);
    EXPECT_FALSE(t.g().activeSkill(0));
    EXPECT_TRUE(t.seat(0).hand.size() == 1u && t.seat(0).hand[0].id == heart.id);
    for (int q = 0; q < 6; ++q) EXPECT_TRUE(t.seat(q).delayed.empty()) << q;
    EXPECT_FALSE(t.seat(0).activeUsed);
    Card dia = t.give(0, Dodge, Diamond);
    EXPECT_TRUE(t.g().activeSkill(0));
    ASSERT_EQ(t.seat(0).hand.size(), 1u);
    EXPECT_EQ(t.seat(0).hand[0].id, heart.id);
    int placed = 0;
    for (int q = 1; q < 6; ++q)
        for (const Card& c : t.seat(q).delayed) placed += c.id == dia.id && c.type == Indulgence;
    EXPECT_EQ(placed, 1);
    EXPECT_EQ(t.conservationFault(), "");
}

// A failed precondition says nothing, spends nothing and leaves the skill unused (a Renegade has no friend);
// a success ends with the use message.
TEST(ActiveSkill, PreconditionsAndUse) {
    struct Case {
        HeroId hero;
        std::vector<CardType> cards;
        std::function<void(Table&)> setup;
        Lines used{};
    };
    auto none = [](Table&) {};
    auto hurtFriend = [](Table& t) { t.hp(2, 1); };
    auto bothHurt = [](Table& t) { t.hp(0, 1), t.hp(2, 1); };
    auto lonely = [](Table& t) {
        t.seat(2).alive = t.seat(3).alive = t.seat(4).alive = t.seat(5).alive = false;
    };
    std::vector<Case> cases{
        {Ormaen, {}, none},
        {Corvane, {}, none},
        {Brannoc, {Slash}, [](Table& t) { t.hp(0, 1); }},
        {Brannoc,
         {Slash},
         [](Table& t) { t.hp(0, 2); },
         {"Brannoc受到1点普通【苦肉】伤害，HP=1", "Brannoc摸了2张牌。", "Brannoc发动【苦肉】。"}},
        {Elthar, {}, none},
        {Mendrel, {Slash}, none},
        {Mendrel, {}, hurtFriend},
        {Valessa, {Slash, Slash}, [](Table& t) { t.hp(0, 1), t.hero(2, Seluna), t.hp(2, 1); }},
        {Valessa, {Slash, Slash}, hurtFriend},
        {Serafae, {Slash}, lonely},
        {Ranvik, {Peach}, none},
        {Nimeri, {Slash}, none},
        {Mendrel, {Slash}, hurtFriend, {"Brannoc因【青囊】回复1点体力。", "Mendrel发动【急救、青囊】。"}},
        {Valessa,
         {Slash, Slash},
         bothHurt,
         {"Brannoc因【结姻】回复1点体力。", "Valessa发动【结姻、枭姬】。"}},
        {Serafae, {Slash}, none, {"Corvane受到1点普通【决斗】伤害，HP=3", "Serafae发动【离间、闭月】。"}},
        {Ranvik, {Slash}, [](Table& t) { t.give(1, Dodge); }, {"Ranvik发动【奇袭】。"}},
    };
    for (const Case& c : cases) {
        Table t(Identity);
        t.hero(0, c.hero);
        for (CardType type : c.cards) t.give(0, type, type == Peach ? Heart : Spade);
        c.setup(t);
        EXPECT_EQ(t.g().activeSkill(0), !c.used.empty()) << c.hero;
        EXPECT_EQ(t.seat(0).activeUsed, !c.used.empty());
        if (!c.used.empty()) {
            Lines l = t.logs();
            EXPECT_EQ(Lines(l.end() - static_cast<long>(c.used.size()), l.end()), c.used);
            continue;
        }
        EXPECT_EQ(t.seat(0).hand.size(), c.cards.size());
        EXPECT_EQ(t.out().find("发动"), std::string::npos) << c.hero;
    }
}

// A human's list for 仁德 and 反间 in the hidden-role game holds every other living seat, even for a
// Renegade, whose true-role friends are none: a list drawn from true roles would tell the player who is
// who. 3v3 teams are public and the lists keep to them. A human Nimeri is likewise offered 流离 against a
// hidden friend's slash, and in 3v3 only against a foe's; 突袭 and 方天画戟's extra targets likewise.
TEST(ActiveSkill, HumanListsTellNoHiddenRole) {
    for (Mode mode : {Identity, Normal3v3}) {
        for (HeroId hero : {Ormaen, Elthar}) {
            Table t(mode);
            t.hero(0, hero);
            t.human(0);
            if (mode == Identity && hero == Ormaen) t.role(0, Renegade);
            t.give(0, Slash);
            t.answers("0\n");
            EXPECT_FALSE(t.g().activeSkill(0));
            std::size_t want = mode == Identity ? 5 : hero == Ormaen ? 2 : 3;
            EXPECT_EQ(occurrences(t.out(), " HP"), want) << mode << " " << hero;
        }
        Table t(mode);
        t.hero(1, Nimeri);
        t.human(1);
        t.give(1, Dodge);
        t.equip(5, Halberd);
        t.answers("n\n0\n");
        t.g().slash(5, 1, Card{0, Slash, Spade, 1});
        EXPECT_EQ(occurrences(t.out(), "发动流离转移杀？"), mode == Identity ? 1u : 0u) << mode;

        // 突袭 with only a teammate holding cards (seat 2 is the Lord's Loyalist, or on the Lord's team):
        // a human in the hidden-role game is offered it and takes from that seat.
        Table raid(mode);
        raid.hero(0, Dravin);
        raid.human(0);
        raid.give(2, Slash);
        raid.answers("y\n");
        raid.g().drawPhase(0);
        EXPECT_EQ(raid.seat(2).hand.size(), mode == Identity ? 0u : 1u) << mode;
        EXPECT_EQ(occurrences(raid.out(), "发动突袭代替摸牌？"), mode == Identity ? 1u : 0u) << mode;

        // A human's last card a slash with 方天画戟: in the hidden-role game the player picks the extra
        // targets (here the teammate at seat 2, then no more); in 3v3 the computer's pick of foes stands.
        Table halberd(mode);
        halberd.human(0);
        halberd.equip(0, Halberd);
        halberd.give(0, Slash);
        halberd.answers("1\n0\n");
        EXPECT_TRUE(halberd.g().useSlashCard(0, 0, 1));
        EXPECT_EQ(occurrences(halberd.out(), "方天画戟追加目标（0取消）："), mode == Identity ? 2u : 0u)
            << mode;
        EXPECT_TRUE(halberd.logged("方天画戟追加了目标。")) << mode;
        EXPECT_LT(halberd.seat(mode == Identity ? 2 : 3).hp, halberd.seat(mode == Identity ? 2 : 3).maxHp)
            << mode;
        EXPECT_EQ(halberd.seat(mode == Identity ? 3 : 2).hp, halberd.seat(mode == Identity ? 3 : 2).maxHp)
            << mode;
        EXPECT_EQ(halberd.conservationFault(), "") << mode;
    }
}

// 仁德 heals only for two cards and counts what it gives; a skill is once a turn; 制衡 drops the least valued
// cards; 苦肉 costs a point for two cards; a passive hero is told so; 反间 gives its card, hurts on the
// seeded wrong guess and shows the card.
TEST(ActiveSkill, Effects) {
    Table t;
    t.hp(0, 3);
    t.give(0, Slash);
    EXPECT_TRUE(t.g().activeSkill(0));
    EXPECT_EQ(t.seat(0).hp, 3);
    EXPECT_FALSE(t.g().activeSkill(0));
    t.seat(0).activeUsed = false;
    t.give(0, Slash), t.give(0, Dodge);
    t.g().activeSkill(0);
    EXPECT_EQ(t.seat(0).hp, 4);
    EXPECT_EQ(t.seat(0).rendeCount, 3);
    EXPECT_EQ(t.seat(2).hand.size() + t.seat(4).hand.size(), 3u);
    Card low1 = t.give(1, Slash), low2 = t.give(1, Slash);
    for (CardType type : {Peach, Dodge, ExNihilo}) t.give(1, type);
    t.g().activeSkill(1);
    EXPECT_EQ(t.seat(1).hand.size(), 5u);
    EXPECT_TRUE(t.g().discard().at(0).id == low1.id && t.g().discard().at(1).id == low2.id);
    t.g().activeSkill(2);
    EXPECT_EQ(t.seat(2).hand.size(), 3u);
    t.g().activeSkill(3);
    Lines l = t.logs();
    EXPECT_EQ(Lines(l.begin(), l.begin() + 2), (Lines{"Ormaen发动【仁德】。", "本回合主动技能已使用。"}));
    EXPECT_EQ(Lines(l.end() - 4, l.end()),
              (Lines{"Brannoc受到1点普通【苦肉】伤害，HP=3", "Brannoc摸了2张牌。", "Brannoc发动【苦肉】。",
                     "该武将技能为被动触发，无需主动发动。"}));
    Card gift = t.give(5, Slash);
    EXPECT_TRUE(t.g().activeSkill(5));
    EXPECT_EQ(t.seat(2).hand.back().id, gift.id);
    l = t.logs();
    EXPECT_EQ(Lines(l.end() - 2, l.end()),
              (Lines{"Brannoc受到1点普通【反间】伤害，HP=2", "反间牌为" + t.g().ctext(gift)}));
}

// A 离间 user killed in the duel it caused (刚烈 of the loser, on the seeded roll) announces nothing after
// its death line; the skill still counts as used.
TEST(ActiveSkill, DeadUserAnnouncesNothing) {
    Table t;
    t.hero(0, Serafae);
    t.hp(0, 1);
    t.give(0, Slash);
    t.hero(1, Korveth);
    t.hp(1, 3);
    t.give(2, Slash);
    EXPECT_TRUE(t.g().activeSkill(0));
    EXPECT_EQ(t.logs(), (Lines{"Serafae发动【离间】。", "Brannoc打出【杀】。",
                               "Korveth受到1点普通【决斗】伤害，HP=2", "Korveth触发【刚烈】。",
                               "Serafae受到1点普通【刚烈】伤害，HP=0", "阵亡：Serafae，身份【汉军】。"}));
    EXPECT_TRUE(t.seat(0).activeUsed);
    EXPECT_EQ(t.conservationFault(), "");
}

// When a computer finds its skill worth using: 苦肉 above 2 hit points, 制衡 from four cards, 仁德 from
// three cards with an ally, 结姻 from two cards when hurt; one step below each limit it holds back.
TEST(ActiveSkill, ComputerThresholds) {
    struct Row {
        HeroId hero;
        int hp, cards;
        bool used;
    } rows[] = {
        {Brannoc, 3, 0, true},  {Brannoc, 2, 0, false}, {Brannoc, 1, 0, false}, {Corvane, 4, 4, true},
        {Corvane, 4, 3, false}, {Ormaen, 4, 3, true},   {Ormaen, 4, 2, false},  {Valessa, 2, 2, true},
        {Valessa, 2, 1, false}, {Valessa, 3, 2, false},
    };
    for (const Row& r : rows) {
        Table t;
        t.hero(0, r.hero);
        t.hp(0, r.hp);
        t.hero(2, Brannoc);
        t.hp(2, 2);
        for (int k = 0; k < r.cards; ++k) t.give(0, Slash);
        SCOPED_TRACE(std::to_string(r.hero) + " hp " + std::to_string(r.hp) + " cards " +
                     std::to_string(r.cards));
        EXPECT_EQ(t.g().activeSkillAI(0), r.used);
        EXPECT_EQ(t.seat(0).activeUsed, r.used);
        if (r.hero == Brannoc) {
            EXPECT_EQ(t.seat(0).hp, r.used ? r.hp - 1 : r.hp);
        }
    }
}

// 国色 by a human offers neither Kaspen nor a seat holding an Indulgence; the diamond enters as an
// Indulgence.
TEST(ActiveSkill, GuoseTargets) {
    Table t;
    t.hero(0, Nimeri);
    t.human(0);
    t.hero(1, Kaspen);
    t.delay(3, Indulgence);
    Card dia = t.give(0, Slash, Diamond);
    t.answers("1\n");
    EXPECT_TRUE(t.g().activeSkill(0));
    EXPECT_NE(t.out().find("国色目标（0取消）：\n1.Brannoc HP4 手牌0 距2 身份汉军\n2.Ranvik"),
              std::string::npos);
    EXPECT_TRUE(t.seat(2).delayed.at(0).id == dia.id && t.seat(2).delayed[0].type == Indulgence);
    EXPECT_EQ(t.conservationFault(), "");
}

} // namespace
} // namespace kvr

#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "console/win_console.hpp"
#include "tests/support/table.hpp"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace kvr {
namespace {

// Lines are trimmed; numbers are asked again with their range; closed input ends every read.
TEST(Input, LineNumberAndEndOfInput) {
    Table t;
    t.answers(" \t \n  2 \r\nlast");
    EXPECT_EQ(t.g().line(), "");
    EXPECT_EQ(t.g().line(), "2");
    EXPECT_EQ(t.g().line(), "last");
    EXPECT_EQ(t.g().line(), "");
    struct {
        const char* in;
        int want;
        const char* out;
    } cases[] = {{"0\n4\nword\n2\n", 2, "请输入1~3：请输入1~3：请输入1~3："},
                 {"2abc\n", 2, ""},
                 {"", 7, ""},
                 {"9", 7, "请输入1~3："},
                 {"99999999999\n", 7, "请输入1~3："}};
    for (const auto& c : cases) {
        t.answers(c.in);
        t.clearOut();
        EXPECT_EQ(t.g().number(1, 3, 7), c.want) << c.in;
        EXPECT_EQ(t.out(), c.out) << c.in;
    }
    using V = std::vector<int>;
    EXPECT_EQ(GameProbe::numbers("3,1;2 5"), (V{3, 1, 2, 5}));
    EXPECT_EQ(GameProbe::numbers(" -4 ,, 6\t"), (V{-4, 6}));
    EXPECT_EQ(GameProbe::numbers("2 x 3"), (V{2}));
    EXPECT_TRUE(GameProbe::numbers("").empty() && GameProbe::numbers("x 1").empty());
}

// Candidates never include the chooser or the dead; 0 cancels only where offered; pause under
// --auto or --fast reads nothing.
TEST(Input, ChooseTargetAndPause) {
    Table t;
    t.human(0);
    t.seat(3).alive = false;
    auto all = [](int) { return true; };
    t.answers("0\n");
    EXPECT_EQ(t.g().chooseTarget(0, "选目标", all, true), -1);
    EXPECT_EQ(t.out(),
              "\n选目标（0取消）：\n1.Corvane HP4 手牌0 距1 身份楚军\n2.Brannoc HP4 手牌0 距2 身份汉军\n"
              "3.Ranvik HP4 手牌0 距2 身份汉军\n4.Elthar HP3 手牌0 距1 身份楚军\n> ");
    t.answers("0\n3\n");
    EXPECT_EQ(t.g().chooseTarget(0, "选目标", all, false), 4);
    EXPECT_NE(t.out().find("> 请输入1~4："), std::string::npos);
    t.answers("");
    EXPECT_EQ(t.g().chooseTarget(0, "选目标", all, false), 1);
    t.clearOut();
    EXPECT_EQ(t.g().chooseTarget(
                  0, "选", [](int i) { return i == 0 || i == 3; }, false),
              -1);
    EXPECT_EQ(t.out(), "\n选：\n  -> 没有合法目标。\n");
    t.answers("x\ny\n");
    t.g().pause("按 Enter 继续...");
    t.g().opt().autoPlay = t.g().opt().fast = false;
    t.g().pause("按 Enter 继续...");
    EXPECT_EQ(t.g().line(), "y");
    EXPECT_EQ(t.out().substr(t.out().find("目标。\n") + 10), "\n按 Enter 继续...");
}

// The hero and shown role of every row of the target lists in `out`, in order.
std::vector<std::pair<std::string, std::string>> listedRoles(const std::string& out) {
    std::vector<std::pair<std::string, std::string>> rows;
    std::istringstream in(out);
    const std::string mark = " 身份";
    for (std::string line; std::getline(in, line);) {
        std::size_t dot = line.find('.'), hp = line.find(" HP"), role = line.find(mark);
        if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0])) || dot == std::string::npos ||
            hp == std::string::npos || role == std::string::npos)
            continue;
        rows.emplace_back(line.substr(dot + 1, hp - dot - 1), line.substr(role + mark.size()));
    }
    return rows;
}

// In the hidden-role game every list a human picks a seat from shows the Lord as 主公 and every other
// seat as 未知, whoever chooses (the Lord, a Loyalist, the Renegade) and whatever the list: friends for
// 仁德, foes for 反间, a slash's and 方天画戟's extra targets, a trick's. True roles would tell the player
// who is who.
TEST(Input, HiddenRoleTargetLists) {
    struct Kind {
        const char* name;
        HeroId hero;
        std::function<void(Table&, int)> open;
    };
    const Kind kinds[] = {
        {"仁德", Ormaen,
         [](Table& t, int p) {
             t.give(p, Slash);
             t.answers("0\n");
             t.g().activeSkill(p);
         }},
        {"反间", Elthar,
         [](Table& t, int p) {
             t.give(p, Slash);
             t.answers("0\n");
             t.g().activeSkill(p);
         }},
        {"杀", Brannoc,
         [](Table& t, int p) {
             t.equip(p, Halberd);
             t.give(p, Slash);
             t.answers("1\n0\n");
             t.g().useSlashCard(p, 0, Optional<int>());
         }},
        {"过河拆桥", Brannoc,
         [](Table& t, int p) {
             for (int q = 0; q < 6; ++q) t.give(q, Dodge);
             t.give(p, Dismantle);
             t.answers("0\n");
             t.g().useCard(p, 1, Optional<int>());
         }},
    };
    for (int chooser : {0, 2, 4}) {
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(kind.name) + " chosen by seat " + std::to_string(chooser));
            Table t(Identity);
            // Heroes stay one to a seat, so a row's hero names its seat.
            for (int q = 0; q < 6; ++q)
                if (q != chooser && t.seat(q).hero.id == kind.hero) t.hero(q, t.seat(chooser).hero.id);
            t.hero(chooser, kind.hero);
            t.human(chooser);
            kind.open(t, chooser);
            std::vector<std::pair<std::string, std::string>> rows = listedRoles(t.out());
            EXPECT_GE(rows.size(), 4u) << t.out();
            int lordRows = 0;
            for (const auto& row : rows) {
                bool lord = row.first == t.seat(0).hero.name;
                lordRows += lord;
                EXPECT_EQ(row.second, lord ? "主公" : "未知") << row.first;
            }
            EXPECT_EQ(lordRows > 0, chooser != 0);
        }
    }
}

// Only red suits are coloured, and only with colours on; log colours its arrow too.
// A notice from another thread while a prompt is open gets a line of its own and the prompt is drawn again
// after it; with no line open it is written as it is; a line too long for a prompt is not drawn again.
TEST(Render, NoticeRedrawsTheOpenPrompt) {
    std::istringstream in;
    std::ostringstream out;
    ConsoleIo console(in, out);
    console.show(0, "\n选择武将（输入 1~25）：\n 1.Varnok\n");
    console.showAll("> ");
    console.interject("[观战] 有观众加入，现有1人。\n");
    EXPECT_EQ(out.str(), "\n选择武将（输入 1~25）：\n 1.Varnok\n> \n[观战] 有观众加入，现有1人。\n> ");
    console.showAll("\n  -> 公开\n");
    console.interject("[观战] 有观众离开，现有0人。\n");
    const std::string tail = "> \n  -> 公开\n[观战] 有观众离开，现有0人。\n";
    EXPECT_EQ(out.str().substr(out.str().size() - tail.size()), tail);
    out.str("");
    console.show(0, std::string(600, 'x'));
    console.show(0, std::string(600, 'y'));
    console.interject("[观战] 提示\n");
    EXPECT_EQ(out.str(), std::string(600, 'x') + std::string(600, 'y') + "\n[观战] 提示\n");
}

TEST(Render, CardsEquipmentAndLog) {
    Table t;
    GameProbe& g = t.g();
    const std::string red = RED, reset = RESET;
    const Card spade{0, Slash, Spade, 7}, heart{0, Peach, Heart, 1}, diamond{0, Dodge, Diamond, 10},
        club{0, Wine, Club, 12};
    for (bool colour : {false, true}) {
        g.opt().color = colour;
        auto r = [&](const std::string& s) { return colour ? red + s + reset : s; };
        EXPECT_EQ(g.ctext(spade) + g.ctext(club), "【杀 黑桃7】【酒 梅花Q】");
        EXPECT_EQ(g.ctext(heart) + g.ctext(diamond), r("【桃 红桃A】") + r("【闪 方块10】"));
        Player x;
        EXPECT_EQ(g.equips(x), "[无装备]");
        x.defensiveHorse = club;
        EXPECT_EQ(g.equips(x), "[+1马]");
        x.weapon = Card{0, QinggangSword, Spade, 6};
        x.armor = Card{0, Vine, Spade, 2};
        x.offensiveHorse = heart;
        EXPECT_EQ(g.equips(x), "[武:青釭剑 防:藤甲 -1马 +1马]");
        t.seat(0).hand = {spade, heart, diamond, club};
        t.clearOut();
        g.hand(0);
        g.log("回复。", GREEN);
        g.log("无色。", "");
        std::string pad = colour ? "" : " ";
        EXPECT_EQ(t.out(), "\n手牌：\n[1]【杀 黑桃7】 [2]" + r("【桃 红桃A】") + pad + "[3]" +
                               r("【闪 方块10】") + "\n[4]【酒 梅花Q】 \n" + (colour ? GREEN : "") +
                               "  -> 回复。" + (colour ? reset : "") + "\n  -> 无色。\n");
    }
    t.seat(0).hand.pop_back();
    t.clearOut();
    g.hand(0);
    g.clear();
    EXPECT_EQ(t.out().substr(t.out().size() - 2), "\n\n");
    g.opt().autoPlay = false;
    g.clear();
    EXPECT_EQ(t.out().substr(t.out().size() - 7), "\x1b[2J\x1b[H");
}

// A printed card is named from a text made once for the deck: it must be the one built from its parts, for
// every card. A card converted by a skill (a diamond as 乐不思蜀) or a virtual one is named as it stands. A
// line longer than any before grows the line's buffer and keeps what was built.
TEST(Render, CardTextsAndLongLines) {
    Table t;
    GameProbe& g = t.g();
    for (int id = 1; id <= DECK_SIZE; ++id) {
        Card c = deckCard(id);
        std::string rank = c.rank == 1    ? "A"
                           : c.rank == 11 ? "J"
                           : c.rank == 12 ? "Q"
                           : c.rank == 13 ? "K"
                                          : std::to_string(c.rank);
        ASSERT_EQ(g.ctext(c), "【" + cardName(c.type) + " " + suitName(c.suit) + rank + "】")
            << "card " << id;
    }
    Card diamond = deckCard(4);
    ASSERT_EQ(diamond.suit, Diamond);
    Card converted = diamond;
    converted.type = Indulgence;
    EXPECT_EQ(g.ctext(converted), "【乐不思蜀 方块4】");
    EXPECT_EQ(g.ctext(Card{0, Slash, Spade, 1}), "【杀 黑桃A】");
    EXPECT_EQ(g.ctext(Card{7, Slash, Club, 0}), "【杀 梅花0】");

    t.clearOut();
    g.log("短。", "");
    const std::string tail(700, 'x');
    g.logParts("", "长", converted, tail);
    g.log("短。", "");
    EXPECT_EQ(t.out(), "  -> 短。\n  -> 长【乐不思蜀 方块4】" + tail + "\n  -> 短。\n");
}

// Every seat has a row: dead seats keep hand, equipment and chain; hidden roles show to their seat only.
TEST(Render, TableView) {
    Table t(Identity);
    GameProbe& g = t.g();
    t.give(0, Slash);
    t.give(0, Dodge);
    t.equip(1, QinggangSword);
    t.equip(1, Vine);
    t.seat(2).alive = false;
    t.seat(2).chained = true;
    t.give(2, Peach);
    t.equip(2, Dilu);
    t.hp(3, 0);
    t.hp(4, -1);
    g.discard().push_back(g.deck().back());
    g.deck().pop_back();
    g.current() = 1;
    g.round() = 3;
    g.viewSeat() = 5;
    const std::string rows = "模式:身份局  第3轮  牌堆159 弃牌1\n"
                             "  1号 Ormaen  【主公】 ***** 5/5 手牌2 [无装备] 技【仁德】\n"
                             "> 2号 Corvane 【未知】 **** 4/4 手牌0 [武:青釭剑 防:藤甲] 技【制衡】\n"
                             "  3号 Brannoc 【未知】 [阵亡] 手牌1 [+1马] [连环] 技【苦肉】\n"
                             "  4号 Rhoskan 【未知】  0/4 手牌0 [无装备] 技【咆哮】\n"
                             "  5号 Ranvik  【未知】  -1/4 手牌0 [无装备] 技【奇袭】\n"
                             "  6号 Elthar  【反贼】 *** 3/3 手牌0 [无装备] 技【英姿、反间】\n";
    const std::string top = "╔══════════════════ 六 人 卡维林 ══════════════════╗\n",
                      bottom = "╚══════════════════════════════════════════════════╝\n", cyan = CYAN,
                      reset = RESET;
    g.table();
    EXPECT_EQ(t.out(), top + rows + bottom);
    g.opt().color = true;
    t.clearOut();
    g.table();
    EXPECT_EQ(t.out(), cyan + top + reset + rows + cyan + bottom + reset);
    EXPECT_EQ(Table().g().shownRole(1), "楚军");
}

// A console write that ends inside a character or an escape shows garbage: the cut falls before
// the unfinished part, and never holds back what nothing could complete.
TEST(ConsoleChunks, CutBeforeUnfinishedCharacterOrEscape) {
    const std::string han = "中", face = "\xf0\x9f\x98\x80";
    struct {
        std::string text;
        std::size_t cut;
    } cases[] = {{"", 0},
                 {"ab" + han, 5},
                 {"ab" + han.substr(0, 2), 2},
                 {han + han.substr(0, 1), 3},
                 {face.substr(0, 3), 0},
                 {"x" + face, 5},
                 {"a\x80\x80", 3},
                 {"a\xff", 2},
                 {"x\x1b", 1},
                 {"x\x1b[3", 1},
                 {"x\x1b[31m", 6},
                 {"\x1b[31m" + han + "\x1b[0", 8},
                 {"\x1b[31m" + han.substr(0, 1), 5},
                 {"x\x1b(", 3},
                 {"x\x1b[" + std::string(40, '1'), 43}};
    for (const auto& c : cases) EXPECT_EQ(completeConsolePrefix(c.text), c.cut) << c.text;
}

#ifdef _WIN32
// Text mode would turn "\n" into "\r\n": a pipe must get the game's bytes as they are, however large.
TEST(ConsoleChunks, PipeGetsBytesUnchanged) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16));
    std::streambuf* buf = newHandleOutput(writeEnd);
    std::ostream out(buf);
    std::string want = "a\n中\x1b[31m\r\n" + std::string(5000, 'z') + "\xe4";
    out << want << std::flush;
    EXPECT_TRUE(out.good());
    delete buf;
    CloseHandle(writeEnd);
    std::string got;
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) && n > 0) got.append(chunk, n);
    CloseHandle(readEnd);
    EXPECT_EQ(got, want);
}
#endif

} // namespace
} // namespace kvr

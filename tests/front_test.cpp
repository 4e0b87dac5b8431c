#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "app/cli.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

struct Proc {
    int rc;
    std::string out, err;
};

// Runs the built program with these arguments and this standard input, bounded in time.
Proc kavrin(const std::string& args, const std::string& input = "") {
    char in[] = "/tmp/kvr_inXXXXXX", err[] = "/tmp/kvr_errXXXXXX";
    close(mkstemp(in)), close(mkstemp(err));
    std::ofstream(in, std::ios::binary) << input;
    FILE* f =
        popen((std::string("timeout 60 " KAVRIN_BIN " ") + args + " <" + in + " 2>" + err).c_str(), "r");
    Proc r{-1, "", ""};
    if (!f) return r;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) r.out.append(buf, n);
    int status = pclose(f);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream e(err, std::ios::binary);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    unlink(in), unlink(err);
    return r;
}

// FNV-1a over every byte: pins a long screen whose text was checked once, line by line.
std::uint64_t fingerprint(const std::string& s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char ch : s) h = (h ^ ch) * 1099511628211ULL;
    return h;
}

std::string menu() {
    std::string bar;
    for (int i = 0; i < 38; ++i) bar += "═";
    return "\x1b[33;1m╔" + bar + "╗\n║ 六人卡维林 · 单机/局域网" + std::string(13, ' ') + "║\n╚" + bar +
           "╝\x1b[0m\n1.单机普通3v3  2.单机身份局\n3.主机普通3v3  4.主机身份局  5.加入局域网\n"
           "6.教程  7.武将  8.牌表  0.退出\n> ";
}

// Options match whole, first match wins, a value takes the next argument unless that is an option:
// `--ai --host` hosts.
TEST(CommandLine, ParsingRules) {
    auto parse = [](std::vector<std::string> a) { return parseCommandLine(a, Options{}); };
    CommandLine c = parse({"--mode", "--auto", "--join", "--help", "--seed"});
    EXPECT_TRUE(c.opt.autoPlay && c.help && !c.opt.forcedMode && c.joinIp.empty());
    c = parse({"--ai", "--host", "--port", "--fast"});
    EXPECT_TRUE(c.host && c.opt.ai == ClassicAi && c.port == 9527 && c.opt.fast);
    EXPECT_EQ(*parse({"--mode", "identity"}).opt.forcedMode, Identity);
    EXPECT_EQ(*parse({"--mode", "Identity"}).opt.forcedMode, Normal3v3);
    EXPECT_EQ(parse({"--auto"}).opt.ai, ClassicAi);
    EXPECT_EQ(parse({"--ai", "strong", "--host"}).opt.ai, StrongAi);
    EXPECT_EQ(parse({"--ai", "strong", "--ai", "classic"}).opt.ai, ClassicAi);
    c = parse({"--players", "0", "--wait", "-3", "--max-rounds", "0", "--seed", " 12abc", "--port", "70000"});
    EXPECT_TRUE(c.humans == 1 && c.waitSeconds == 1 && c.opt.maxRounds == 1 && c.opt.seed == 12 &&
                c.port == 70000);
    c = parse({"--players", "9", "--seed", "4294967295"});
    EXPECT_TRUE(c.humans == 6 && c.opt.seed == 4294967295u);
    EXPECT_TRUE(parse({"--help", "--seed", "x"}).help);
    EXPECT_TRUE(parse({"--seed", "--help"}).help);
    EXPECT_THROW(parse({"--seed", "-help"}), BadArgument);
    EXPECT_THROW(parse({"--port", "99999999999"}), BadArgument);
}

// Help stops everything; bad values and ports end with a message and exit code 1, never an abort.
TEST(CommandLine, HelpAndRefusals) {
    Proc help = kavrin("--auto --help --join 10.0.0.1");
    EXPECT_EQ(help.rc, 0);
    EXPECT_EQ(help.out.substr(0, help.out.find("电脑玩家：--ai classic（默认）|strong；构建")),
              "单机：kavrin [--auto] [--mode normal|identity] [--seed N]\n"
              "主机：kavrin --host --mode identity --port 9527 --players 6 --wait 20\n"
              "加入：kavrin --join 192.168.1.10 --port 9527\n");
    EXPECT_TRUE(std::count(help.out.begin(), help.out.end(), '\n') == 4 && help.out.back() == '\n');
    const std::string bad = "游戏错误：", port = "端口无效，必须是1~65535的整数。\n";
    auto refused = [&bad](const char* args, const std::string& msg) {
        Proc r = kavrin(args);
        EXPECT_TRUE(r.rc == 1 && r.out.empty()) << args;
        EXPECT_TRUE(msg == bad ? r.err.rfind(bad, 0) == 0 && r.err.back() == '\n' : r.err == msg) << args;
    };
    for (const char* a :
         {"--seed x", "--max-rounds abc --auto", "--port z", "--players ''", "--wait q --help"})
        refused(a, bad);
    for (const char* a : {"--host --port 0", "--port -1 --host", "--join 10.0.0.1 --port 65536 --tutorial"})
        refused(a, port);
    EXPECT_EQ(kavrin("--port 0 --host --cards").rc, 0);
}

// Screens are exact, read one line (or meet end of input), and are the same from the menu.
TEST(Screens, ExactTextAndOneLineOfInput) {
    Proc tut = kavrin("--tutorial"), heroes = kavrin("--heroes"), cards = kavrin("--cards", "x\n");
    EXPECT_EQ(fingerprint(tut.out), 17749864998508905839ULL);
    EXPECT_EQ(fingerprint(heroes.out), 9241758770455343405ULL);
    EXPECT_EQ(std::count(cards.out.begin(), cards.out.end(), '\n'), 44);
    EXPECT_NE(cards.out.find(
                  "\n42.【爪黄飞电】防御坐骑：其他角色与你的距离+1。\n共42种牌名/装备。按 Enter 返回..."),
              std::string::npos);
    EXPECT_EQ(fingerprint(cards.out), 1234185606220832386ULL);
    EXPECT_EQ(cardDescription(static_cast<CardType>(42)), "");
    Proc m = kavrin("", "6\n\n7\nx\n8\n");
    EXPECT_EQ(m.out, menu() + tut.out + menu() + heroes.out + menu() + cards.out + menu());
    EXPECT_EQ(m.rc, 0);
}

// The menu compares whole lines: padded answers redraw, end of input leaves.
TEST(Menu, RedrawsAndLeaves) {
    Proc r = kavrin("--seed 1", " 1\n1 \n9\n");
    EXPECT_EQ(r.out, menu() + menu() + menu() + menu());
    EXPECT_TRUE(r.rc == 0 && r.err.empty());
    EXPECT_EQ(kavrin("", "0\n6\n").out, menu());
}

// The host and join flows name a typo and come back to the menu: no wrapped port, no program exit.
TEST(Menu, LanFlowsRefuseTypos) {
    const std::string port = "端口（默认9527）：", bad = "端口无效，必须是1~65535的整数。\n";
    const std::string players = "期望真人总数1~6：", wait = "等待秒数（默认20）：";
    const std::string typo = "输入无效，必须是整数。\n";
    Proc host = kavrin("", "3\n0\n4\n75063\n3\n80x\n3\n\nsix\n4\n 9\n2\nlong\n");
    EXPECT_EQ(host.out, menu() + port + bad + menu() + port + bad + menu() + port + bad + menu() + port +
                            players + typo + menu() + port + players + wait + typo + menu());
    EXPECT_TRUE(host.rc == 0 && host.err.empty());
    const std::string ip = "主机IPv4地址：", back = "按 Enter 返回主菜单...";
    Proc join = kavrin("", "5\n192.168.1\n\n\n5\n127.0.0.1\n0\n\n5\n\n\nx\n");
    EXPECT_EQ(join.out, menu() + ip + port + "未能进入联机房间，程序不会退出。\n" + back + menu() + ip +
                            port + bad + back + menu() + ip + port + "未能进入联机房间，程序不会退出。\n" +
                            back + menu());
    EXPECT_EQ(join.err, "IPv4 地址格式无效，请输入类似 192.168.1.10 的地址。\n主机 IP 不能为空。\n");
    EXPECT_EQ(join.rc, 0);
}

// Automatic games are Identity unless forced, list all six seats, and replay from their seed.
TEST(CommandLine, AutoGameIsReproducible) {
    Proc a = kavrin("--auto --seed 7 --max-rounds 1 --no-color");
    EXPECT_EQ(a.rc, 0);
    EXPECT_EQ(a.out.rfind("[自动测试] seed=7 模式=身份局\n1号 ", 0), 0u);
    EXPECT_TRUE(a.out.find("\n6号 ") != std::string::npos && a.out.find("第2轮") == std::string::npos);
    EXPECT_EQ(kavrin("--auto --seed 7 --max-rounds 1 --no-color").out, a.out);
    EXPECT_EQ(kavrin("--seed 7 --auto --mode normal --max-rounds 1")
                  .out.rfind("[自动测试] seed=7 模式=普通3v3\n", 0),
              0u);
    // The strong player plays its own game from the same seed, again the same each time.
    Proc strong = kavrin("--auto --seed 7 --no-color --ai strong");
    EXPECT_TRUE(strong.rc == 0 && strong.out != kavrin("--auto --seed 7 --no-color").out);
    EXPECT_NE(strong.out.find("对局结束"), std::string::npos);
    EXPECT_EQ(kavrin("--auto --seed 7 --no-color --ai strong").out, strong.out);
}

// A game with the local human, set up from scripted answers; its output stays captured.
struct HumanGame {
    Console con;
    Game game;
    GameProbe g{game};
    HumanGame(Mode m, const std::string& answers, std::uint32_t seed)
        : con(answers), game(m, Options{false, true, false, seed, 150, {}}, &standardConsole()) {
        game.setup();
    }
    std::vector<Role> roles() {
        std::vector<Role> r;
        for (const Player& x : g.ps()) r.push_back(x.role);
        return r;
    }
    // Six different heroes, four cards each, 142 left to draw.
    bool dealt() {
        std::set<int> heroes;
        for (const Player& x : g.ps()) heroes.insert(x.hand.size() == 4 ? x.hero.id : -1);
        return heroes.size() == 6 && !heroes.count(-1) && g.deck().size() == 142;
    }
};

// Role answer 2 makes seat 1 the Lord with one extra point; 5 puts a lone Renegade on seats 2..6;
// end of input takes the fallbacks (a random role, hero 1) without asking again.
TEST(Setup, IdentityRolesAndHeroChoice) {
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        HumanGame lord(Identity, "2\n3\n", seed), rene(Identity, "5\n1\n", seed), ended(Identity, "", seed);
        Player& me = lord.g.seat(0);
        EXPECT_TRUE(me.human && me.label == "你" && me.revealed && me.hero.id == Korveth && me.maxHp == 5);
        std::vector<Role> roles = lord.roles();
        std::sort(roles.begin() + 1, roles.end());
        EXPECT_EQ(roles, (std::vector<Role>{Lord, Loyalist, Rebel, Rebel, Rebel, Renegade}));
        EXPECT_NE(lord.con.out().find("选择身份：1随机 2主公 3忠臣 4反贼 5内奸：\n选择武将（输入 1~25）：\n"
                                      " 1.Varnok   魏 4体力 【奸雄】\n"),
                  std::string::npos);
        EXPECT_NE(lord.con.out().find("\n25.Serafae  群 3体力 【离间、闭月】\n> "), std::string::npos);

        int h = rene.g.human();
        ASSERT_TRUE(h >= 1 && h <= 5);
        roles = rene.roles();
        EXPECT_TRUE(roles[h] == Renegade && std::count(roles.begin(), roles.end(), Renegade) == 1);
        EXPECT_TRUE(!rene.g.seat(h).revealed && roles[0] == Lord && !rene.g.seat(0).human);
        EXPECT_EQ(rene.g.seat(0).maxHp, rene.g.seat(0).hero.hp + 1);
        EXPECT_EQ(ended.g.seat(ended.g.human()).hero.id, Varnok);
        EXPECT_EQ(ended.con.out().find("请输入"), std::string::npos);
        EXPECT_TRUE(lord.dealt() && rene.dealt() && ended.dealt());
    }
}

// The 3v3 human is seat 1 of the Han team, teams are public, nobody gets an extra point.
TEST(Setup, NormalMode) {
    HumanGame normal(Normal3v3, "30\n25\n", 5);
    EXPECT_TRUE(normal.g.human() == 0 && normal.g.seat(0).hero.id == Serafae && normal.dealt());
    EXPECT_EQ(normal.roles(), (std::vector<Role>{TeamHan, TeamChu, TeamHan, TeamChu, TeamHan, TeamChu}));
    for (const Player& x : normal.g.ps()) EXPECT_TRUE(x.revealed && x.maxHp == x.hero.hp && x.hp == x.maxHp);
    EXPECT_EQ(normal.con.out().find("选择身份"), std::string::npos);
    EXPECT_NE(normal.con.out().find("> 请输入1~25："), std::string::npos);
}

} // namespace
} // namespace kvr

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>

#include "app/cli.hpp"
#include "console/record.hpp"
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
              "加入：kavrin --join 192.168.1.10 --port 9527\n"
              "网页端口：--web-port 9528（默认为端口+1，0为不开网页）\n"
              "远程座位答题时限：--answer-time 秒（默认0，一直等待；超时由AI代答这一次）\n");
    EXPECT_NE(help.out.find("房间：kavrin --serve"), std::string::npos);
    EXPECT_TRUE(std::count(help.out.begin(), help.out.end(), '\n') == 7 && help.out.back() == '\n');
    const std::string bad = "游戏错误：", port = "端口无效，必须是1~65535的整数。\n";
    auto refused = [&bad](const char* args, const std::string& msg) {
        Proc r = kavrin(args);
        EXPECT_TRUE(r.rc == 1 && r.out.empty()) << args;
        EXPECT_TRUE(msg == bad ? r.err.rfind(bad, 0) == 0 && r.err.back() == '\n' : r.err == msg) << args;
    };
    for (const char* a :
         {"--seed x", "--max-rounds abc --auto", "--port z", "--players ''", "--wait q --help",
          "--host --answer-time soon"})
        refused(a, bad);
    for (const char* a : {"--host --port 0", "--port -1 --host", "--join 10.0.0.1 --port 65536 --tutorial",
                          "--host --web-port 65536", "--web-port -2 --host"})
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

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Answers that never choose a menu entry (the menu compares whole lines, the game trims them): whatever is
// left when a game ends only redraws the menu.
std::string menuSafeAnswers(std::uint32_t seed, int lines) {
    static const char* const words[] = {"e", "",  "y",  "n",  "h",  "12", "9 1",
                                        "s", "v", " 1", " 2", " 3", " 4", "i"};
    std::mt19937 rng(seed);
    std::string out;
    for (int i = 0; i < lines; ++i) out += std::string(words[rng() % 14]) + "\n";
    return out;
}

// A game chosen in the menu, an automatic game and a game killed mid-way are recorded; the replay prints
// what the game printed, byte for byte; a record that stops early replays as far as it goes and says where
// it stopped on standard error, while its standard output stays the game's own.
TEST(Record, RecordedGamesReplayFromTheCommandLine) {
    const std::string file = "/tmp/kvr_record_" + std::to_string(getpid()) + ".txt";
    for (const char* mode : {"1", "2"}) {
        Proc played =
            kavrin("--fast --seed 11 --record " + file, std::string(mode) + "\n" + menuSafeAnswers(3, 60));
        ASSERT_EQ(played.rc, 0);
        Proc again = kavrin("--replay " + file + " --seed 99");
        EXPECT_TRUE(again.rc == 0 && again.err.empty()) << again.err;
        std::string after = played.out.substr(std::min(played.out.size(), menu().size() + again.out.size()));
        EXPECT_TRUE(played.out.compare(0, menu().size() + again.out.size(), menu() + again.out) == 0) << mode;
        EXPECT_TRUE(!after.empty() && occurrences(after, menu()) * menu().size() == after.size()) << mode;
        EXPECT_NE(again.out.find("对局结束"), std::string::npos);
    }
    Proc a = kavrin("--auto --seed 7 --no-color --max-rounds 4 --record " + file);
    Proc b = kavrin("--replay " + file);
    EXPECT_TRUE(a.rc == 0 && b.rc == 0 && b.err.empty());
    EXPECT_TRUE(b.out == a.out);
    Proc strong = kavrin("--auto --seed 7 --no-color --max-rounds 4 --ai strong --record " + file);
    EXPECT_NE(readFile(file).find("\nstrong-player "), std::string::npos);
    Proc strongAgain = kavrin("--replay " + file);
    EXPECT_TRUE(strong.rc == 0 && strongAgain.rc == 0 && strongAgain.out == strong.out) << strongAgain.err;

    // Not fast: every pause is an answer too. Cut after the ninth answer, the replay shows the game up to
    // its tenth question.
    Proc slow = kavrin("--seed 12 --record " + file, "1\n" + menuSafeAnswers(4, 80));
    std::string record = readFile(file);
    std::size_t at = record.find("answers\n") + 8;
    for (int k = 0; k < 9; ++k) at = record.find('\n', at) + 1;
    std::ofstream(file, std::ios::binary) << record.substr(0, at);
    Proc part = kavrin("--replay " + file);
    EXPECT_EQ(part.rc, 0);
    EXPECT_TRUE(slow.out.substr(menu().size(), part.out.size()) == part.out);
    EXPECT_EQ(part.err,
              "记录文件 " + file + " 到第22行为止，共9条；对局停在1号座位的下一个回答前，尚未结束。\n");
    std::ofstream(file, std::ios::binary) << record.substr(0, at + 5);
    Proc cut = kavrin("--replay " + file);
    EXPECT_EQ(cut.rc, 1);
    EXPECT_TRUE(cut.out == part.out);
    EXPECT_EQ(cut.err, "记录文件 " + file + " 第23行：这一行不完整（文件在行中途结束）。\n");
    unlink(file.c_str());
}

// A local game interrupted mid-way (here its keyboard ends) and resumed from its record with the answers
// the player would have typed next ends as the game played in one go, and leaves the same record.
TEST(Record, ResumeFromTheCommandLine) {
    const std::string whole = "/tmp/kvr_whole_" + std::to_string(getpid()) + ".txt";
    const std::string part = "/tmp/kvr_part_" + std::to_string(getpid()) + ".txt";
    std::string answers = menuSafeAnswers(8, 90);
    std::size_t split = 0;
    for (int k = 0; k < 25; ++k) split = answers.find('\n', split) + 1;
    Proc one = kavrin("--fast --seed 21 --record " + whole, "2\n" + answers);
    Proc first = kavrin("--fast --seed 21 --record " + part, "2\n" + answers.substr(0, split));
    ASSERT_TRUE(one.rc == 0 && first.rc == 0);
    ASSERT_NE(readFile(part).find("\nclosed "), std::string::npos);
    Proc resumed = kavrin("--resume " + part, answers.substr(split));
    EXPECT_EQ(resumed.rc, 0);
    EXPECT_EQ(resumed.err, "");
    EXPECT_EQ(readFile(part), readFile(whole));
    // What the uninterrupted game showed from the screen the player left on, to its end.
    std::size_t at = one.out.rfind(resumed.out.substr(0, 200));
    ASSERT_NE(at, std::string::npos);
    EXPECT_TRUE(one.out.compare(at, resumed.out.size(), resumed.out) == 0);
    EXPECT_NE(resumed.out.find("对局结束"), std::string::npos);
    EXPECT_EQ(resumed.out.rfind("\x1b[2J\x1b[H", 0), 0u);
    unlink(whole.c_str()), unlink(part.c_str());
}

// Refusals: one line on standard error naming the file, exit code 1, nothing played.
TEST(Record, BadRecordsAndPaths) {
    const std::string file = "/tmp/kvr_bad_" + std::to_string(getpid()) + ".txt";
    auto refused = [](const std::string& args, const std::string& err) {
        Proc r = kavrin(args, "1\n");
        EXPECT_EQ(r.rc, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err, err) << args;
    };
    refused("--auto --record /nonexistent/dir/r.txt", "无法写入记录文件 /nonexistent/dir/r.txt。\n");
    refused("--record /nonexistent/dir/r.txt", "无法写入记录文件 /nonexistent/dir/r.txt。\n");
    refused("--replay /nonexistent/r.txt", "记录文件 /nonexistent/r.txt 无法打开（不存在或不可读）。\n");
    std::ofstream(file) << "hello\n";
    refused("--replay " + file,
            "记录文件 " + file + " 第1行：这不是卡维林的对局记录（首行应为“kavrin-record 1”）。\n");
    refused("--resume " + file,
            "记录文件 " + file + " 第1行：这不是卡维林的对局记录（首行应为“kavrin-record 1”）。\n");
    ASSERT_EQ(kavrin("--auto --seed 3 --max-rounds 2 --record " + file).rc, 0);
    refused("--resume " + file,
            "记录文件 " + file + " 是自动对局的记录：只有单机对局可以续玩，可用 --replay 重放。\n");
    std::string record = readFile(file);
    record.replace(record.find("rules ") + 6, 16, "0000000000000000");
    std::ofstream(file, std::ios::binary) << record;
    refused("--replay " + file, "记录文件 " + file +
                                    " 第3行：记录由规则不同的版本写成（规则签名0000000000000000，本程序" +
                                    std::string(RULES_SIGNATURE) + "），重放会走向另一局。\n");
    ASSERT_EQ(kavrin("--fast --seed 3 --record " + file, "1\n12\ne\n").rc, 0);
    record = readFile(file);
    EXPECT_NE(record.find("\nend "), std::string::npos);
    std::size_t line = record.find("answer 1 command e");
    std::ofstream(file, std::ios::binary)
        << record.substr(0, line) << "answer 1 yesno e" << record.substr(line + 18);
    Proc refusedAnswer = kavrin("--replay " + file);
    EXPECT_EQ(refusedAnswer.rc, 1);
    EXPECT_NE(refusedAnswer.out.find("你的回合"), std::string::npos);
    EXPECT_EQ(refusedAnswer.err,
              "记录文件 " + file + " 第15行：对局此时询问1号座位（command），记录却是1号座位（yesno）。\n");
    unlink(file.c_str());
}

} // namespace
} // namespace kvr

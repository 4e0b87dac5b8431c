// Records of whole games: played with a RecordingIo, played back with a ReplayIo to the same bytes, and
// played on after an interruption; records that are damaged or disagree with the game are refused.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "console/replay_io.hpp"
#include "tests/support/checked_game.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

struct Played {
    std::string out;
    std::string record;
    std::string result;
};

// A game whose text is written as the host's console shows it and whose answers come from the lines of
// `input`; the error a game may stop with is part of its output.
void playThrough(Game& game, std::ostream& out) {
    try {
        game.setup();
        game.run();
    } catch (const RecordError&) {
        throw;
    } catch (const RecordStop&) {
        throw;
    } catch (const std::runtime_error& e) {
        out << "[error] " << e.what();
    }
}

Played playRecorded(Mode mode, const Options& opt, const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out, record;
    ConsoleIo console(in, out);
    RecordWriter writer(record);
    writer.head(RecordHead{opt.autoPlay ? RecordedGame::Automatic : RecordedGame::Local, mode, opt, 0});
    RecordingIo io(console, writer);
    Game game(mode, opt, &io);
    playThrough(game, out);
    return {out.str(), record.str(), game.result()};
}

std::string replayed(const std::string& recordText) {
    std::istringstream in(recordText);
    Record record = parseRecord(in, "r.txt");
    std::ostringstream out;
    ReplayIo io(record, &out);
    Game game(record.head.mode, record.head.opt, &io);
    playThrough(game, out);
    io.checkUsedUp();
    return out.str();
}

// Answers a player might give: commands, card numbers, y/n, orders, blanks.
std::string ordinaryInput(std::uint32_t seed, int lines) {
    static const char* const words[] = {"1", "2", "3",         "e", "0", "y", "n",
                                        "s", "v", "3 1 2 5 4", "",  "h", "4"};
    std::mt19937 rng(seed);
    std::string out;
    for (int i = 0; i < lines; ++i) out += std::string(words[rng() % 13]) + "\n";
    return out;
}

Options humanOptions(std::uint32_t seed) {
    Options opt = checkedOptions(seed, true);
    opt.fast = seed % 3 != 0;
    opt.color = seed % 2 == 0;
    return opt;
}

// Recorded, then replayed: the same bytes, for hostile and ordinary answers in both modes, with and without
// pauses and colours. Input that runs out mid-game is part of the record too.
TEST(Record, ReplayGivesTheSameBytes) {
    int answers = 0;
    for (std::uint32_t seed = 1; seed <= 250; ++seed) {
        for (Mode mode : {Normal3v3, Identity}) {
            std::string input = seed % 2 ? hostileInput(seed, 300) : ordinaryInput(seed, 40 + seed % 200);
            Played p = playRecorded(mode, humanOptions(seed), input);
            ASSERT_EQ(replayed(p.record), p.out) << "seed " << seed << " mode " << mode;
            answers += static_cast<int>(occurrences(p.record, "\nanswer "));
        }
    }
    EXPECT_GT(answers, 20000);
    Options automatic = checkedOptions(7, false);
    Played a = playRecorded(Identity, automatic, "");
    EXPECT_EQ(a.record.substr(a.record.find("answers\n")), "answers\nend [对局结束] " + a.result + "\n");
    EXPECT_EQ(replayed(a.record), a.out);
}

// Answers are kept as the game read them: blanks at the ends dropped, control bytes, bytes that are not
// UTF-8 and the backslash escaped, UTF-8 kept; the escaped form reads back to the same bytes.
TEST(Record, AnswersEscapeAndReadBack) {
    const std::string raw = std::string("a\\b\x1b[2J\t\x01\x7f", 10) + "中文" + "\xff\xc3(" + "\xe2\x82" +
                            "\xed\xa0\x80" + std::string(1, '\0');
    std::string text = escapeAnswer(raw);
    EXPECT_EQ(text, "a\\\\b\\x1B[2J\\x09\\x01\\x7F中文\\xFF\\xC3(\\xE2\\x82\\xED\\xA0\\x80\\x00");
    std::string back;
    ASSERT_TRUE(unescapeAnswer(text, back));
    EXPECT_EQ(back, raw);
    for (const char* bad : {"\\", "x\\q", "\\x4", "\\xG0"}) EXPECT_FALSE(unescapeAnswer(bad, back)) << bad;

    std::istringstream in("  12 \r\n");
    std::ostringstream out, record;
    ConsoleIo console(in, out);
    RecordWriter writer(record);
    RecordingIo io(console, writer);
    std::string line;
    EXPECT_EQ(io.askFor(2, Prompt{PromptKind::Number, 0, 5}, line), Answer::Line);
    EXPECT_EQ(line, "  12 \r");
    EXPECT_EQ(io.askFor(-1, Prompt{PromptKind::Pause, 0, 0}, line), Answer::Closed);
    EXPECT_EQ(io.askFor(-1, Prompt{PromptKind::Pause, 0, 0}, line), Answer::Closed);
    EXPECT_EQ(record.str(), "answer 3 number:0-5 12\nclosed 0 pause\n");
}

std::string head(const std::string& changes = "") {
    std::string h = "kavrin-record 1\nversion 0.1.0\nrules " + std::string(RULES_SIGNATURE) +
                    "\ngame local\nmode normal\nseed 5\nmax-rounds 40\nai classic\nstrong-roles 0\nfast 1\n"
                    "color 0\nremote-players 0\n";
    return changes.empty() ? h + "answers\n" : changes;
}

std::string refusal(const std::string& text) {
    try {
        replayed(text);
    } catch (const RecordError& e) {
        return e.what();
    } catch (const RecordStop& e) {
        return std::string("stop: ") + e.what();
    }
    return "";
}

// Damaged records are refused with the file and the line; nothing is played from them.
TEST(Record, DamagedRecordsAreRefused) {
    const std::string h = head();
    const std::string signature = "rules " + std::string(RULES_SIGNATURE);
    std::string other = h;
    other.replace(other.find(signature), signature.size(), "rules 0123456789abcdef");
    std::string strong = h;
    strong.replace(strong.find("ai classic"), 10, "ai strong");
    const std::pair<std::string, std::string> cases[] = {
        {"", "r.txt 第1行：这不是卡维林的对局记录"},
        {"hello\n", "r.txt 第1行：这不是卡维林的对局记录"},
        {other, "r.txt 第3行：记录由规则不同的版本写成（规则签名0123456789abcdef"},
        {h + "answer 1 number:1-25 3", "r.txt 第14行：这一行不完整"},
        {h + "answer 1 nmber:1-25 3\n", "r.txt 第14行：无法识别的询问类型"},
        {h + "answer 7 text x\n", "r.txt 第14行：座位应为0~6"},
        {h + "answer 1 text a\\qb\n", "r.txt 第14行：回答中的反斜杠转义无效"},
        {h + "jump 1\n", "r.txt 第14行：无法识别的记录行“jump”"},
        {h + "back 0 3\n", "r.txt 第14行：取回座位的行格式不对"},
        {h + "timeout 0 text\n", "r.txt 第14行：超时的必须是某个座位"},
        {head("kavrin-record 1\nmode normal\nanswers\n"), "r.txt 第3行：记录头缺少“version”"},
        {head("kavrin-record 1\nseed -1\n"), "r.txt 第2行：种子应为0~4294967295的整数"},
        {head("kavrin-record 1\nfast 2\n"), "r.txt 第2行：fast应为0或1"},
        // A game the strong player took part in names its version, and only that version replays it.
        {strong, "r.txt 第13行：记录由电脑玩家不同的版本写成（强电脑玩家未注明"},
        {head(strong.substr(0, strong.size() - 8) + "strong-player search-0\nanswers\n"),
         "r.txt 第14行：记录由电脑玩家不同的版本写成（强电脑玩家search-0"},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.first);
        std::string why;
        try {
            why = parseRecord(in, "r.txt").damage;
        } catch (const RecordError& e) {
            why = e.what();
        }
        EXPECT_EQ(why.rfind("记录文件 " + c.second, 0), 0u) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos);
    }
    // Every line of the head but the strong player's version is required, and a head without one is
    // refused by its name: a record without remote-players would replay a hosted game with every seat local.
    for (const char* key : {"version", "rules", "game", "mode", "seed", "max-rounds", "ai", "strong-roles",
                            "fast", "color", "remote-players"}) {
        std::string text = h;
        std::size_t at = text.find(std::string("\n") + key + " ");
        ASSERT_NE(at, std::string::npos) << key;
        text.erase(at + 1, text.find('\n', at + 1) - at);
        std::istringstream in(text);
        std::string why;
        try {
            parseRecord(in, "r.txt");
        } catch (const RecordError& e) {
            why = e.what();
        }
        EXPECT_EQ(why, "记录文件 r.txt 第12行：记录头缺少“" + std::string(key) + "”。") << key;
    }
    EXPECT_EQ(refusal(h + "answer 0 number:1-25 3\nanswer 1 comm"),
              "记录文件 r.txt 第15行：这一行不完整（文件在行中途结束）。");
    EXPECT_EQ(refusal("\xEF\xBB\xBF" + h + "# a comment\n\nanswer 0 number:1-25 3\r\n"),
              "stop: 记录文件 r.txt 到第16行为止，共1条；对局停在1号座位的下一个回答前，尚未结束。");
}

// An answer the game does not ask for at that point (another seat, another kind or range), a drop of a
// seat nobody plays from afar, a take-back nobody looked for, and lines left after the game ended.
TEST(Record, AnswersTheGameRefuses) {
    Played p = playRecorded(Normal3v3, checkedOptions(9, true), ordinaryInput(9, 120));
    ASSERT_EQ(replayed(p.record), p.out);
    std::string lines = p.record.substr(p.record.find("answers\n") + 8);
    std::string h = p.record.substr(0, p.record.size() - lines.size());
    std::size_t second = lines.find('\n') + 1;
    const std::string first = lines.substr(0, second), rest = lines.substr(second);
    ASSERT_EQ(first, "answer 0 number:1-25 " + first.substr(21));
    EXPECT_EQ(refusal(h + "answer 2 number:1-25 3\n" + rest),
              "记录文件 r.txt 第14行：对局此时询问控制台（number:1-25），记录却是2号座位（number:1-25）。");
    EXPECT_EQ(refusal(h + "answer 0 number:1-24 3\n" + rest),
              "记录文件 r.txt 第14行：对局此时询问控制台（number:1-25），记录却是控制台（number:1-24）。");
    EXPECT_EQ(refusal(h + "answer 0 yesno y\n" + rest),
              "记录文件 r.txt 第14行：对局此时询问控制台（number:1-25），记录却是控制台（yesno）。");
    EXPECT_EQ(refusal(h + first + "drop 1 command\n" + rest).rfind("记录文件 r.txt 第15行：", 0), 0u);
    EXPECT_EQ(refusal(h + "back 1 0\n" + lines),
              "记录文件 r.txt 第14行：对局此时询问控制台（number:1-25），记录却是座位被取回。");
    EXPECT_EQ(refusal(p.record + "answer 1 command e\n"),
              "记录文件 r.txt 第" + std::to_string(occurrences(p.record, "\n") + 1) +
                  "行：对局已经结束，记录却还有内容。");
}

// A scripted hosted table: two seats are played from afar by seeded answerers, private text of a seat
// played over a connection never reaches the console, a remote seat drops now and then and comes back a
// few looks later, and a player leaves before the game now and then. The host's console reads `input`.
class ScriptedHost : public TableIo {
  public:
    // With `timeouts`, a remote seat now and then lets its question's time pass.
    ScriptedHost(std::istream& in, std::ostream& out, std::uint32_t seed, bool timeouts = false)
        : console_(in, out), rng_(seed), timeouts_(timeouts) {}
    void showAll(std::string_view text) override { console_.showAll(text); }
    void show(int p, std::string_view text) override {
        if (!remote(p)) console_.show(p, text);
    }
    Answer ask(int p, std::string& line) override {
        if (!remote(p)) return console_.ask(p, line);
        if (rng_() % 40 == 0) {
            seated_[p] = false;
            dropped_[p] = true;
            return Answer::Dropped;
        }
        if (timeouts_ && rng_() % 6 == 0) return Answer::TimedOut;
        static const char* const words[] = {"1", "2", "e", "0", "y", "n", "", "3"};
        line = words[rng_() % 8];
        return Answer::Line;
    }
    bool hosted() const override { return true; }
    int remotePlayers() const override { return 2; }
    // Now and then a player has left before the game began.
    bool seatRemote(int player, int p, std::string_view) override {
        if (player < 0 || player >= 2 || rng_() % 6 == 0) return false;
        seated_[p] = true;
        return true;
    }
    bool takeBack(int p) override {
        if (!dropped_[p] || seated_[p] || rng_() % 25 != 0) return false;
        seated_[p] = true;
        ++backs;
        return true;
    }
    void farewell(std::string_view) override { seated_.fill(false); }
    int backs = 0;

  private:
    bool remote(int p) const { return p >= 0 && p < 6 && seated_[static_cast<std::size_t>(p)]; }
    ConsoleIo console_;
    std::mt19937 rng_;
    bool timeouts_ = false;
    std::array<bool, 6> seated_{};
    std::array<bool, 6> dropped_{};
};

struct HostedPlay {
    std::string out;
    std::string record;
    int backs = 0;
};

// One game at a scripted hosted table, recorded; the host's console answers from `inputSeed`.
HostedPlay playHosted(std::uint32_t seed, std::uint32_t inputSeed, bool timeouts) {
    Mode mode = seed % 2 ? Identity : Normal3v3;
    Options opt = humanOptions(seed);
    std::istringstream in(ordinaryInput(seed + inputSeed, 300));
    std::ostringstream out, record;
    ScriptedHost host(in, out, seed, timeouts);
    RecordWriter writer(record);
    writer.head(RecordHead{RecordedGame::Hosted, mode, opt, 2});
    RecordingIo io(host, writer);
    Game game(mode, opt, &io);
    playThrough(game, out);
    return {out.str(), record.str(), host.backs};
}

// A hosted game's record replays to the host console's bytes: remote seats answer from the record, a
// dropped seat is the computer's from the same question, a seat comes back at the same look, and a seat
// whose player left before the game is the computer's from the start.
TEST(Record, HostedGameWithDropsAndReturns) {
    int backs = 0, drops = 0, gone = 0;
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        HostedPlay g = playHosted(seed, 500, false);
        ASSERT_EQ(replayed(g.record), g.out) << "seed " << seed;
        backs += g.backs;
        drops += static_cast<int>(occurrences(g.record, "\ndrop "));
        gone += static_cast<int>(occurrences(g.record, "\ngone "));
        EXPECT_EQ(occurrences(g.out, "在开局前已离开"), occurrences(g.record, "\ngone "));
        EXPECT_EQ(occurrences(g.record, "\nback "), static_cast<std::size_t>(g.backs));
        EXPECT_TRUE(g.out.find("[大厅] 已开局") != std::string::npos);
    }
    EXPECT_GT(backs, 10);
    EXPECT_GT(drops, 10);
    EXPECT_GT(gone, 5);
}

// A remote seat whose time ran out: everybody is told, the seat stays the player's, and the record
// keeps the timeout as a line of its own, so the game replays to the same bytes.
TEST(Record, TimeoutsReplay) {
    int timeouts = 0;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        HostedPlay g = playHosted(seed, 900, true);
        ASSERT_EQ(replayed(g.record), g.out) << "seed " << seed;
        std::size_t lines = occurrences(g.record, "\ntimeout ");
        EXPECT_EQ(occurrences(g.out, "号座位超时，本次由AI代答。\n"), lines) << "seed " << seed;
        timeouts += static_cast<int>(lines);
    }
    EXPECT_GT(timeouts, 20);
}

std::string slurpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A game killed after a random answer and resumed with the answers the player would have typed next
// plays on to the same end: the resumed record is the uninterrupted one byte for byte, and the player
// first sees the screen as it stood (what the uninterrupted game showed from its last clear on). A record
// whose keyboard ended is cut there and played on the same way.
TEST(Record, ResumedGamePlaysOnToTheSameEnd) {
    const std::string path = ::testing::TempDir() + "kvr_resume_" +
                             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                             ".txt";
    std::mt19937 rng(5);
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        Mode mode = seed % 2 ? Identity : Normal3v3;
        Options opt = humanOptions(seed);
        std::string input = ordinaryInput(seed + 77, 200);
        Played whole = playRecorded(mode, opt, input);
        std::vector<std::string> inputLines;
        std::istringstream split(input);
        for (std::string l; std::getline(split, l);) inputLines.push_back(l + "\n");

        std::size_t answers = occurrences(whole.record, "\nanswer ");
        ASSERT_GT(answers, 2u);
        std::size_t keep = rng() % answers;
        std::string cut, rest;
        bool closedRecord = seed % 4 == 0;
        if (closedRecord) {
            std::string typed;
            for (std::size_t k = 0; k < keep; ++k) typed += inputLines[k];
            cut = playRecorded(mode, opt, typed).record;
        } else {
            std::size_t at = whole.record.find("answers\n") + 8;
            for (std::size_t k = 0; k < keep; ++k) at = whole.record.find('\n', at) + 1;
            cut = whole.record.substr(0, at);
        }
        for (std::size_t k = keep; k < inputLines.size(); ++k) rest += inputLines[k];
        std::ofstream(path, std::ios::binary) << cut;

        Record record = readRecord(path);
        ASSERT_GE(resumePoint(record), 0);
        std::istringstream in(rest);
        std::ostringstream out;
        ConsoleIo console(in, out);
        ReplayIo io(record, nullptr);
        io.goLive(console);
        Game game(mode, opt, &io);
        playThrough(game, out);
        EXPECT_TRUE(io.live());
        EXPECT_EQ(game.result(), whole.result);
        EXPECT_EQ(slurpFile(path), whole.record) << "seed " << seed << " kept " << keep;
        const std::string shown = out.str();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(whole.out.compare(whole.out.size() - std::min(shown.size(), whole.out.size()), shown.size(),
                                    shown),
                  0)
            << "seed " << seed;
        if (keep > 3) {
            EXPECT_EQ(shown.rfind("\x1b[2J\x1b[H", 0), 0u);
        }
    }
    std::ofstream(path, std::ios::binary) << playRecorded(Normal3v3, checkedOptions(3, true), "e\n").record;
    EXPECT_EQ(resumePoint(readRecord(path)), static_cast<long>(slurpFile(path).find("closed ")));
    std::ofstream(path, std::ios::binary) << playRecorded(Normal3v3, checkedOptions(3, false), "").record;
    EXPECT_EQ(resumePoint(readRecord(path)), -1);
    std::remove(path.c_str());
}

// Whatever changes play changes the bench signature: a record names the one its program plays by.
TEST(Record, RulesSignatureIsTheBenchSignature) {
    std::ifstream in(std::string(KAVRIN_GOLDEN_DIR) + "/bench_signature.txt");
    std::string golden;
    ASSERT_TRUE(in >> golden);
    EXPECT_EQ(golden, RULES_SIGNATURE);
}

} // namespace
} // namespace kvr

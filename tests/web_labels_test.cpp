// The browser's side of the game without a network: the labels of every question the game asks, read
// from what it printed, and the messages a browser may send.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include <nlohmann/json.hpp>

#include "model/game.hpp"
#include "net/web_labels.hpp"
#include "net/web_protocol.hpp"

namespace kvr {
namespace {

// Every seat is a person's: each question is checked for its labels and answered with a seeded choice
// among them, sometimes a wrong one.
class LabelCheckingTable : public TableIo {
  public:
    explicit LabelCheckingTable(std::uint32_t seed) : rng_(seed) {}
    const Game* game = nullptr;
    std::map<std::string, int> numberQuestions;
    std::vector<std::string> faults;
    int questions = 0;

    void showAll(std::string_view) override {}
    void show(int p, std::string_view text) override {
        std::string& screen = screens_[static_cast<std::size_t>(p + 1)];
        std::size_t clear = text.rfind("\x1b[2J");
        if (clear != std::string_view::npos) {
            screen.clear();
            text.remove_prefix(clear);
        }
        screen.append(text);
    }
    Answer ask(int p, std::string& line) override { return askFor(p, Prompt{}, line); }
    Answer askFor(int p, const Prompt& prompt, std::string& line) override {
        if (++questions > 20000) return Answer::Closed;
        const std::string& screen = screens_[static_cast<std::size_t>(p + 1)];
        std::vector<OptionLabel> options = optionLabels(screen, prompt);
        std::string plain = withoutEscapes(screen);
        std::string ask = plain.substr(plain.rfind('\n') == std::string::npos ? 0 : plain.rfind('\n') + 1);
        check(p, prompt, options, ask);
        line = answer(prompt, options);
        return Answer::Line;
    }
    bool hosted() const override { return true; }
    int remotePlayers() const override { return 5; }
    bool seatRemote(int, int, std::string_view) override { return true; }

  private:
    void check(int p, const Prompt& prompt, const std::vector<OptionLabel>& options, const std::string& ask) {
        auto fault = [&](const std::string& why) { faults.push_back(why + " at \"" + ask + "\""); };
        if (prompt.kind == PromptKind::Number) {
            ++numberQuestions[ask.substr(0, std::min<std::size_t>(ask.size(), 12))];
            bool count = ask.find("几张") != std::string::npos || ask.find("张数") != std::string::npos;
            if (count && !options.empty()) fault("a count has labels");
            if (!count && static_cast<int>(options.size()) != prompt.hi - prompt.lo + 1)
                fault("options missing");
            for (const OptionLabel& o : options)
                if (o.label.empty()) fault("no label for " + o.value);
        } else if (prompt.kind == PromptKind::Command) {
            std::size_t cards = 0;
            std::set<std::string> keys;
            for (const OptionLabel& o : options)
                (o.value[0] >= '0' && o.value[0] <= '9' ? ++cards : 0), keys.insert(o.value);
            if (game && cards != game->viewFor(p).hand.size()) fault("cards missing");
            for (const char* k : {"s", "v", "i", "h", "e"})
                if (!keys.count(k)) fault(std::string("no command ") + k);
        } else if (prompt.kind == PromptKind::Order) {
            std::string plain = withoutEscapes(screens_[static_cast<std::size_t>(p + 1)]);
            std::size_t listed = 0;
            for (std::size_t at = plain.rfind("【观星】");
                 at != std::string::npos && (at = plain.find(".【", at)) != std::string::npos; ++at)
                ++listed;
            if (options.size() != listed || listed > 5) fault("order without its cards");
            for (const OptionLabel& o : options)
                if (o.label.find("【") == std::string::npos) fault("order label " + o.label);
        } else if (!options.empty()) {
            fault("labels for a fixed control");
        }
    }
    std::string answer(const Prompt& prompt, const std::vector<OptionLabel>& options) {
        switch (prompt.kind) {
        case PromptKind::Number:
            if (rng_() % 25 == 0) return std::to_string(prompt.hi + 1);
            return std::to_string(
                prompt.lo + static_cast<int>(rng_() % static_cast<unsigned>(prompt.hi - prompt.lo + 1)));
        case PromptKind::YesNo:
            return rng_() % 2 ? "y" : "n";
        case PromptKind::Command:
            return rng_() % 3 == 0 ? "e" : options[rng_() % options.size()].value;
        case PromptKind::Order:
            return "2 1 3 4 5";
        default:
            return "";
        }
    }
    std::mt19937 rng_;
    std::array<std::string, 7> screens_;
};

// Seeded games in both modes where every seat is a person's: every numbered question names each of
// its numbers (a count names none), the play phase names every card and command, and the game ends.
TEST(OptionLabels, EveryQuestionTheGameAsksIsLabelled) {
    std::map<std::string, int> seen;
    int questions = 0;
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        Options opt;
        opt.seed = seed;
        opt.fast = true;
        opt.color = seed % 2 == 0;
        opt.maxRounds = 30;
        LabelCheckingTable table(seed);
        Game game(seed % 3 == 0 ? Normal3v3 : Identity, opt, &table);
        table.game = &game;
        game.setup();
        game.run();
        EXPECT_TRUE(game.ended()) << seed;
        ASSERT_TRUE(table.faults.empty()) << "seed " << seed << ": " << table.faults.front();
        for (auto& [ask, n] : table.numberQuestions) seen[ask] += n;
        questions += table.questions;
    }
    EXPECT_GT(questions, 3000);
    // The kinds of numbered question met: hero and role choice, targets, hand cards, menus, counts.
    EXPECT_GE(seen.size(), 10u);
}

// A hand, a numbered list, a menu with its cancel, colours, and a prompt asked again after a wrong
// answer: the names printed before it still label it.
TEST(OptionLabels, ReadsEachKindOfNaming) {
    std::string hand =
        "\n手牌：\n[1]\x1b[31m【桃 红桃3】\x1b[0m    [2]【杀 黑桃7】      \n\n出闪（输入牌序号，0放弃）：\n";
    std::vector<OptionLabel> o = optionLabels(hand + "> 请输入0~2：", Prompt{PromptKind::Number, 0, 2});
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o[0].label, "放弃");
    EXPECT_EQ(o[1].label, "【桃 红桃3】");
    EXPECT_EQ(o[2].label, "【杀 黑桃7】");
    o = optionLabels(
        "\n转化杀目标（0取消）：\n1.Varnok HP3 手牌4 距1 身份未知\n2.Korveth HP4 手牌2 距2 身份反贼\n> ",
        Prompt{PromptKind::Number, 0, 2});
    EXPECT_EQ(o[0].label, "取消");
    EXPECT_EQ(o[2].label, "Korveth HP4 手牌2 距2 身份反贼");
    o = optionLabels("选择身份：1随机 2主公 3忠臣 4反贼 5内奸：", Prompt{PromptKind::Number, 1, 5});
    EXPECT_EQ(o[4].label, "内奸");
    o = optionLabels("可选五谷牌：1.【杀 黑桃7】 2.【闪 红桃2】 \n选择五谷牌 1~2：",
                     Prompt{PromptKind::Number, 1, 2});
    EXPECT_EQ(o[1].label, "【闪 红桃2】");
    EXPECT_TRUE(optionLabels(hand + "交出几张（1~2）：", Prompt{PromptKind::Number, 1, 2}).empty());
    // A table screen's "1号" names no option.
    o = optionLabels("> 1号 Varnok  【主公】 *** 3/3\n弃牌至1张，输入序号：",
                     Prompt{PromptKind::Number, 1, 1});
    EXPECT_EQ(o[0].label, "");
}

// What a browser may send, and the line each answer becomes for its question; anything else is refused.
TEST(BrowserMessages, AnswersBecomeTypedLines) {
    BrowserMessage m = parseBrowserMessage(R"({"t":"answer","id":7,"value":3})");
    ASSERT_EQ(m.type, BrowserMessage::Answer);
    std::string line;
    EXPECT_TRUE(answerLine(m, Prompt{PromptKind::Number, 0, 5}, line) && line == "3");
    EXPECT_FALSE(answerLine(m, Prompt{PromptKind::YesNo, 0, 0}, line));
    m = parseBrowserMessage(R"({"t":"answer","id":7,"value":false})");
    EXPECT_TRUE(answerLine(m, Prompt{PromptKind::YesNo, 0, 0}, line) && line == "n");
    m = parseBrowserMessage(R"({"t":"answer","id":7,"value":[3,1,2]})");
    EXPECT_TRUE(answerLine(m, Prompt{PromptKind::Order, 0, 0}, line) && line == "3 1 2");
    m = parseBrowserMessage(R"({"t":"answer","id":7,"value":"杀他"})");
    EXPECT_TRUE(answerLine(m, Prompt{PromptKind::Text, 0, 0}, line) && line == "杀他");
    EXPECT_EQ(parseBrowserMessage(R"({"t":"hello","code":"ab12CD"})").code, "ab12CD");
    for (const char* bad :
         {R"({"t":"answer","id":0,"value":1})", R"({"t":"answer","id":1})", R"({"t":"code","code":""})",
          R"({"t":"code","code":"<script>"})", R"({"t":"hello","code":5})", R"({"t":"bye"})", "[]", "{", ""})
        EXPECT_EQ(parseBrowserMessage(bad).type, BrowserMessage::Bad) << bad;
    // An answer whose value could not have been typed is still an answer, which no question takes.
    for (const std::string& unreadable :
         {std::string(R"({"t":"answer","id":1,"value":"a\nb"})"), std::string(R"({"t":"answer","id":1,"value":1.5})"),
          std::string(R"({"t":"answer","id":1,"value":{}})"), std::string(R"({"t":"answer","id":1,"value":[1,"x"]})"),
          "{\"t\":\"answer\",\"id\":1,\"value\":\"" + std::string(300, 'x') + "\"}"}) {
        m = parseBrowserMessage(unreadable);
        EXPECT_EQ(m.type, BrowserMessage::Answer) << unreadable;
        for (PromptKind kind : {PromptKind::Text, PromptKind::Command, PromptKind::Number, PromptKind::YesNo,
                                PromptKind::Order, PromptKind::Pause})
            EXPECT_FALSE(answerLine(m, Prompt{kind, 0, 9}, line)) << unreadable;
    }
}

// A spectator's view carries no hand and no own role; a seat's view carries its own.
TEST(BrowserMessages, ViewsCarryOnlyWhatTheSeatMayKnow) {
    Options opt;
    opt.seed = 3;
    opt.autoPlay = true;
    Game game(Identity, opt, nullptr);
    game.setup();
    nlohmann::json spectator = nlohmann::json::parse(viewMessage(game.publicView(), -1))["view"];
    EXPECT_FALSE(spectator.contains("hand"));
    EXPECT_FALSE(spectator.contains("role"));
    int lord = 0, hidden = 0;
    for (const auto& s : spectator["seats"])
        (s["role"] == "主公" ? ++lord : 0), hidden += s["role"].is_null();
    EXPECT_EQ(lord, 1);
    EXPECT_EQ(hidden, 5);
    nlohmann::json seat = nlohmann::json::parse(viewMessage(game.viewFor(2), 2))["view"];
    EXPECT_EQ(seat["self"], 2);
    EXPECT_EQ(seat["hand"].size(), 4u);
    EXPECT_FALSE(seat["seats"][2]["role"].is_null());
}

} // namespace
} // namespace kvr

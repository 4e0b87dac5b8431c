// The browser's side of the game without a network: the structure of every question the game asks, and
// the messages a browser may send.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include <nlohmann/json.hpp>

#include "model/game.hpp"
#include "net/web_protocol.hpp"

namespace kvr {
namespace {

// Every seat is a person's: each question's structure is checked against what the game then does with
// the answer, which is a seeded choice among its options, sometimes a wrong one.
class QueryCheckingTable : public TableIo {
  public:
    explicit QueryCheckingTable(std::uint32_t seed) : rng_(seed) {}
    const Game* game = nullptr;
    std::map<std::string, int> topics;
    std::vector<std::string> faults;
    int questions = 0;

    void showAll(std::string_view) override {}
    void show(int, std::string_view text) override {
        if (pendingCard_ && (text.find("不能当") != std::string_view::npos)) refused_ = true;
    }
    Answer ask(int p, std::string& line) override { return askFor(p, Prompt{}, line); }
    Answer askFor(int p, const Prompt& prompt, std::string& line) override {
        settle();
        if (++questions > 20000) return Answer::Closed;
        const Query* q = prompt.query;
        if (!q) {
            faults.push_back("a question without its structure");
            return Answer::Closed;
        }
        ++topics[q->topic];
        check(p, prompt, *q);
        line = answer(prompt, *q);
        return Answer::Line;
    }
    bool hosted() const override { return true; }
    int remotePlayers() const override { return 5; }
    bool seatRemote(int, int, std::string_view) override { return true; }
    // The last card answer's refusal is known once the game asks again or ends.
    void settle() {
        if (pendingCard_ && refused_ == pendingFits_)
            faults.push_back(std::string(pendingFits_ ? "a marked card was refused" : "a dimmed card was taken") +
                             " at " + pendingTopic_);
        pendingCard_ = false;
        refused_ = false;
    }

  private:
    void fault(const Query& q, const std::string& why) { faults.push_back(why + " at " + q.topic + " " + q.ask); }

    void check(int p, const Prompt& prompt, const Query& q) {
        if (q.ask.find("y/n") != std::string::npos || q.ask.find("输入") != std::string::npos ||
            q.ask.find("按 Enter") != std::string::npos)
            fault(q, "a console key in the question");
        std::size_t hand = game && p >= 0 ? game->viewFor(p).hand.size() : 0;
        std::size_t cards = 0;
        for (const QueryOption& o : q.options) {
            if (o.label.empty()) fault(q, "no label for " + o.value);
            if (o.card >= 0) ++cards;
            if (o.seat >= 0 && o.label.find(std::to_string(o.seat + 1) + "号 ") != 0)
                fault(q, "a seat not named by its number: " + o.label);
        }
        if (q.handAnswers && cards != hand) fault(q, "hand cards missing");
        if (prompt.kind == PromptKind::Number && !q.count &&
            static_cast<int>(q.options.size()) != prompt.hi - prompt.lo + 1)
            fault(q, "options missing");
        if (prompt.kind == PromptKind::Command) {
            std::set<std::string> keys;
            for (const QueryOption& o : q.options) keys.insert(o.value);
            for (const char* k : {"s", "v", "i", "h", "e"})
                if (!keys.count(k)) fault(q, std::string("no command ") + k);
        }
        if (prompt.kind == PromptKind::Order && q.options.size() > 5)
            fault(q, "an order without its cards");
        if ((q.topic == "dodge" || q.topic == "slash") && q.about.empty()) fault(q, "nothing said of what is answered");
    }

    std::string answer(const Prompt& prompt, const Query& q) {
        switch (prompt.kind) {
        case PromptKind::Number: {
            if (rng_() % 25 == 0) return std::to_string(prompt.hi + 1);
            int n = prompt.lo + static_cast<int>(rng_() % static_cast<unsigned>(prompt.hi - prompt.lo + 1));
            // A dodge or slash answered with card n: the game's own check must agree with the mark.
            if ((q.topic == "dodge" || q.topic == "slash") && n >= 1) {
                pendingCard_ = true;
                pendingFits_ = (q.fits >> (n - 1)) & 1;
                pendingTopic_ = q.topic;
            }
            return std::to_string(n);
        }
        case PromptKind::YesNo:
            return rng_() % 2 ? "y" : "n";
        case PromptKind::Command:
            return rng_() % 3 == 0 ? "e" : q.options[rng_() % q.options.size()].value;
        case PromptKind::Order:
            return "2 1 3 4 5";
        default:
            return "";
        }
    }
    std::mt19937 rng_;
    bool pendingCard_ = false;
    bool pendingFits_ = false;
    bool refused_ = false;
    std::string pendingTopic_;
};

// Seeded games in both modes where every seat is a person's: every question carries its structure, a
// numbered one names each of its numbers (a count names none), the play phase every card and command,
// seats by their number, and a dodge or slash marks exactly the cards the game then accepts.
TEST(Questions, EveryQuestionTheGameAsksCarriesItsStructure) {
    std::map<std::string, int> seen;
    int questions = 0;
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        Options opt;
        opt.seed = seed;
        opt.fast = true;
        opt.color = seed % 2 == 0;
        opt.maxRounds = 30;
        QueryCheckingTable table(seed);
        Game game(seed % 3 == 0 ? Normal3v3 : Identity, opt, &table);
        table.game = &game;
        game.setup();
        game.run();
        table.settle();
        EXPECT_TRUE(game.ended()) << seed;
        ASSERT_TRUE(table.faults.empty()) << "seed " << seed << ": " << table.faults.front();
        for (auto& [topic, n] : table.topics) seen[topic] += n;
        questions += table.questions;
    }
    EXPECT_GT(questions, 3000);
    for (const char* topic : {"play", "dodge", "slash", "target", "discard", "yesno", "hero", "role"})
        EXPECT_GT(seen[topic], 0) << topic;
}

// Every remote seat lets its time run out on every question: its computer answers each one, so the seats
// dodge, slash, nullify, save and play their phases as a computer would, and the game ends. Taking the
// fallback instead (no card, no play) would leave every one of these counts at zero.
class TimingOutTable : public TableIo {
  public:
    std::string shown;
    int timeouts = 0;
    void showAll(std::string_view text) override { shown.append(text); }
    void show(int, std::string_view) override {}
    Answer ask(int p, std::string& line) override { return askFor(p, Prompt{}, line); }
    Answer askFor(int p, const Prompt&, std::string&) override {
        if (p < 0 || p == 0 || ++timeouts > 50000) return Answer::Closed;
        return Answer::TimedOut;
    }
    bool hosted() const override { return true; }
    int remotePlayers() const override { return 5; }
    bool seatRemote(int, int, std::string_view) override { return true; }
};

TEST(Questions, ASeatOutOfTimeIsAnsweredByItsComputer) {
    std::map<std::string, int> seen;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        Options opt;
        opt.seed = seed;
        opt.fast = true;
        opt.maxRounds = 30;
        TimingOutTable table;
        Game game(seed % 2 ? Identity : Normal3v3, opt, &table);
        game.setup();
        game.run();
        EXPECT_TRUE(game.ended()) << seed;
        EXPECT_GT(table.timeouts, 0);
        for (const char* what : {"打出【闪】", "打出【杀】", "使用【无懈可击】", "救援", "使用【", "座位超时，本次由AI代答"})
            for (std::size_t at = 0; (at = table.shown.find(what, at)) != std::string::npos; ++at) ++seen[what];
    }
    for (const char* what : {"打出【闪】", "打出【杀】", "使用【无懈可击】", "救援", "使用【"})
        EXPECT_GT(seen[what], 0) << what;
    EXPECT_GT(seen["座位超时，本次由AI代答"], 100);
}

// The ask message carries the structure: seats by number, hand cards by their number from 1, the cards
// that fit, and what the question is about; a question without one carries its kind and range alone.
TEST(BrowserMessages, AQuestionCarriesItsStructure) {
    Query q;
    q.topic = "dodge";
    q.about = "Valessa 对你使用【杀 梅花10】";
    q.ask = "出闪";
    q.handAnswers = true;
    q.options = {{"0", "放弃", -1, -1}, {"1", "【闪 红桃2】", -1, 0}, {"2", "【杀 黑桃7】", -1, 1}};
    q.fits = 1;
    nlohmann::json m = nlohmann::json::parse(askMessage(4, Prompt{PromptKind::Number, 0, 2, &q}));
    EXPECT_EQ(m["about"], q.about);
    EXPECT_EQ(m["fits"], nlohmann::json::array({1}));
    EXPECT_EQ(m["options"][1]["card"], 1);
    EXPECT_FALSE(m["options"][0].contains("card"));
    q.handAnswers = false;
    q.options = {{"1", "2号 Corvane", 1, -1}};
    m = nlohmann::json::parse(askMessage(5, Prompt{PromptKind::Number, 1, 1, &q}));
    EXPECT_EQ(m["options"][0]["seat"], 1);
    EXPECT_FALSE(m.contains("fits"));
    m = nlohmann::json::parse(askMessage(6, Prompt{PromptKind::Pause, 0, 0}));
    EXPECT_EQ(m["kind"], "pause");
    EXPECT_FALSE(m.contains("about"));
    EXPECT_TRUE(m["options"].empty());
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

// Many seeded games, automatic and with hostile human answers. After every action each deck card must
// be in exactly one place, living seats within their hit points, dead seats empty-handed; every game
// must end with a result text of its mode, and the first result must stand. The log shows which card types
// and skills were exercised.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>

#include "tests/support/checked_game.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

// Hands every complete output line to a callback.
class LineSink : public std::streambuf {
  public:
    explicit LineSink(std::function<void(const std::string&)> onLine) : onLine_(std::move(onLine)) {}

  protected:
    int overflow(int ch) override {
        if (ch == traits_type::eof()) return 0;
        if (ch == '\n') {
            onLine_(line_);
            line_.clear();
        } else {
            line_ += static_cast<char>(ch);
        }
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) overflow(static_cast<unsigned char>(s[i]));
        return n;
    }

  private:
    std::function<void(const std::string&)> onLine_;
    std::string line_;
};

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// Tallies exercised card types and skills from the log lines of one game, looking at the table where a
// line alone cannot tell (which card was paid, whether a skill changed the outcome).
class Coverage {
  public:
    std::map<std::string, int> cards;
    std::map<std::string, int> skills;
    std::set<std::string> heroes;

    Coverage() {
        for (int t = 0; t < CARD_TYPE_COUNT; ++t) cards[cardName(static_cast<CardType>(t))] = 0;
        for (const Hero& h : heroBook()) {
            std::string names = h.skills;
            for (std::size_t at; (at = names.find("、")) != std::string::npos;) {
                skills[h.name + ":" + names.substr(0, at)] = 0;
                names = names.substr(at + std::string("、").size());
            }
            skills[h.name + ":" + names] = 0;
        }
    }

    void see(GameProbe& g, const std::string& raw) {
        if (raw.rfind("  -> ", 0) != 0) return;
        const std::string line = raw.substr(5);
        const Card* top = g.discard().empty() ? nullptr : &g.discard().back();
        for (const char* verb : {"使用【", "装备【"}) {
            std::size_t at = line.find(verb);
            if (at == std::string::npos) continue;
            at += std::string(verb).size();
            std::size_t end = std::min(line.find(' ', at), line.find("】", at));
            if (end != std::string::npos) {
                auto it = cards.find(line.substr(at, end - at));
                if (it != cards.end()) ++it->second;
            }
        }
        if (top && (contains(line, "打出【闪】") || contains(line, "救援")) && top->type <= Wine)
            ++cards[cardName(top->type)];

        std::size_t nameEnd = 0;
        while (nameEnd < line.size() && std::isalpha(static_cast<unsigned char>(line[nameEnd]))) ++nameEnd;
        const std::string hero = line.substr(0, nameEnd);
        for (const auto& marker : MARKERS)
            if (marker.second.rfind(hero, 0) == 0 && contains(line, marker.second)) ++skills[marker.first];
        if (!top) return;
        if (line == "Seluna打出【闪】。" && top->type != Dodge) ++skills["Seluna:倾国"];
        if (line == "Jorvane打出【闪】。" && isSlash(top->type)) ++skills["Jorvane:龙胆"];
        if (line == "Jorvane打出【杀】。" && top->type == Dodge) ++skills["Jorvane:龙胆"];
        if (line == "Keldar打出【杀】。" && !isSlash(top->type)) ++skills["Keldar:武圣"];
        if (line.rfind("Mendrel救援", 0) == 0 && top->type != Peach && top->type != Wine)
            ++skills["Mendrel:急救"];
        seeSlash(g, line);
    }

  private:
    int seatOf(GameProbe& g, const std::string& name) {
        for (int p = 0; p < 6; ++p)
            if (g.seat(p).hero.name == name) return p;
        return -1;
    }

    // Silent skills of the attacker: 咆哮 (a second slash), 马术 (reach), 奇才 (a trick beyond reach),
    // 无双 (a second dodge demanded).
    void seeSlash(GameProbe& g, const std::string& line) {
        std::size_t at = line.find("对");
        std::size_t use = line.find("使用【");
        if (line.rfind("的回合 ━━") != std::string::npos) grathosTarget_.clear();
        if (!grathosTarget_.empty() &&
            (line == grathosTarget_ + "打出【闪】。" ||
             line == grathosTarget_ + "的八卦阵判定成功，视为闪。") &&
            ++grathosDodges_ == 2)
            ++skills["Grathos:无双"];
        if (line.rfind("Miravel使用【顺手牵羊 ", 0) == 0 || line.rfind("Miravel使用【兵粮寸断 ", 0) == 0) {
            int m = seatOf(g, "Miravel");
            int q = g.aiEnemy(m, false, line.find("顺手") != std::string::npos);
            if (q >= 0 && g.distance(m, q) > 1) ++skills["Miravel:奇才"];
        }
        if (at == std::string::npos || use == std::string::npos || at > use) return;
        int from = seatOf(g, line.substr(0, at));
        int to = seatOf(g, line.substr(at + std::string("对").size(), use - at - std::string("对").size()));
        if (from < 0 || to < 0) return;
        Player& a = g.seat(from);
        if (a.hero.id == Rhoskan && a.slashCount >= 2 && !(a.weapon && a.weapon->type == Crossbow))
            ++skills["Rhoskan:咆哮"];
        if (a.hero.id == Feyrin) {
            a.hero.id = Varnok;
            bool needed = g.distance(from, to) > g.range(from);
            a.hero.id = Feyrin;
            if (needed) ++skills["Feyrin:马术"];
        }
        if (a.hero.id == Grathos) {
            grathosTarget_ = g.seat(to).hero.name;
            grathosDodges_ = 0;
        }
    }

    std::string grathosTarget_;
    int grathosDodges_ = 0;

    static const std::vector<std::pair<std::string, std::string>> MARKERS;
};

const std::vector<std::pair<std::string, std::string>> Coverage::MARKERS = {
    {"Varnok:奸雄", "Varnok触发【奸雄】"},
    {"Thessil:反馈", "Thessil触发【反馈】"},
    {"Thessil:鬼才", "Thessil发动【鬼才】"},
    {"Korveth:刚烈", "Korveth触发【刚烈】"},
    {"Dravin:突袭", "Dravin发动【突袭】"},
    {"Bruhald:裸衣", "Bruhald发动【裸衣】"},
    {"Lirren:天妒", "Lirren发动【天妒】"},
    {"Lirren:遗计", "Lirren触发【遗计】"},
    {"Seluna:洛神", "Seluna获得黑色洛神牌"},
    {"Ormaen:仁德", "Ormaen发动【仁德】"},
    {"Keldar:武圣", "Keldar发动转化技能"},
    {"Velisar:观星", "Velisar发动【观星】"},
    {"Velisar:空城", "空城令决斗不能指定Velisar"},
    {"Jorvane:龙胆", "Jorvane发动转化技能"},
    {"Feyrin:铁骑", "Feyrin【铁骑】成功"},
    {"Miravel:集智", "Miravel触发【集智】"},
    {"Corvane:制衡", "Corvane发动【制衡】"},
    {"Ranvik:奇袭", "Ranvik发动【奇袭】"},
    {"Ostrel:克己", "Ostrel发动【克己】"},
    {"Brannoc:苦肉", "Brannoc发动【苦肉】"},
    {"Elthar:英姿", "Elthar摸了3张牌"},
    {"Elthar:反间", "反间牌为"},
    {"Nimeri:国色", "Nimeri发动【国色、流离】"},
    {"Nimeri:流离", "Nimeri发动【流离】"},
    {"Kaspen:谦逊", "Kaspen【谦逊】令乐不思蜀无效"},
    {"Kaspen:连营", "Kaspen触发【连营】"},
    {"Valessa:结姻", "Valessa发动【结姻、枭姬】"},
    {"Valessa:枭姬", "Valessa触发【枭姬】"},
    {"Mendrel:青囊", "Mendrel发动【急救、青囊】"},
    {"Serafae:离间", "Serafae发动【离间】"},
    {"Serafae:闭月", "Serafae触发【闭月】"},
};

struct Outcome {
    int games = 0;
    std::map<std::string, int> results;
    Coverage coverage;
};

// Plays one game and reports the first fault, if any.
std::string playOne(Mode mode, std::uint32_t seed, bool humanSeat, Outcome& outcome) {
    Game game(mode, checkedOptions(seed, humanSeat), &standardConsole());
    GameProbe g{game};
    std::string fault;
    // Sampled at every output line and after every action: once decided, the game stays decided
    // with the same result.
    bool decided = false;
    std::string firstResult;
    auto watchResult = [&] {
        if (!decided && g.ended()) {
            decided = true;
            firstResult = g.result();
        } else if (decided && fault.empty() && (!g.ended() || g.result() != firstResult)) {
            fault = "result \"" + firstResult + "\" changed to \"" + g.result() + "\"";
        }
    };
    LineSink sink([&](const std::string& line) {
        watchResult();
        outcome.coverage.see(g, line);
    });
    std::istringstream in(humanSeat ? hostileInput(seed * 7919u + 1u, 400) : "");
    StreamSwap outSwap(std::cout, &sink);
    StreamSwap inSwap(std::cin, in.rdbuf());
    std::cin.clear();
    g.actionHook() = [&] {
        watchResult();
        if (fault.empty()) fault = tableFault(g);
    };
    try {
        game.setup();
        for (const Player& x : g.ps()) outcome.coverage.heroes.insert(x.hero.name);
        game.run();
    } catch (const std::exception& e) {
        fault = std::string("exception: ") + e.what();
    }
    std::cin.clear();
    ++outcome.games;
    ++outcome.results[g.result()];
    if (!fault.empty()) return fault;
    if (!validResult(mode, g.result())) return "result \"" + g.result() + "\"";
    return "";
}

void playMany(Mode mode, bool humanSeat, std::uint32_t firstSeed, int games, Outcome& outcome) {
    for (int i = 0; i < games; ++i) {
        std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(i);
        std::string fault = playOne(mode, seed, humanSeat, outcome);
        ASSERT_TRUE(fault.empty()) << (mode == Identity ? "identity" : "normal")
                                   << (humanSeat ? " human" : "") << " seed " << seed << ": " << fault;
    }
}

std::string zeros(const std::map<std::string, int>& counts) {
    std::string out;
    for (const auto& kv : counts)
        if (kv.second == 0) out += kv.first + " ";
    return out;
}

TEST(Simulation, AutomaticNormalGames) {
    Outcome o;
    playMany(Normal3v3, false, 1, 2000, o);
    EXPECT_GT(o.results["汉军获胜！"], 0);
    EXPECT_GT(o.results["楚军获胜！"], 0);
}

TEST(Simulation, AutomaticIdentityGames) {
    Outcome o;
    playMany(Identity, false, 1, 2000, o);
    EXPECT_GT(o.results["反贼与内奸全部阵亡，主公/忠臣获胜！"], 0);
    EXPECT_GT(o.results["主公阵亡，反贼获胜！"], 0);
    EXPECT_GT(o.results["内奸成为最后生还者，内奸获胜！"], 0);
}

TEST(Simulation, HostileHumanGames) {
    Outcome o;
    playMany(Normal3v3, true, 5001, 300, o);
    playMany(Identity, true, 6001, 300, o);
}

// Every card type and every hero's skills come up in automatic play of both modes.
TEST(Simulation, EveryCardTypeAndSkillIsExercised) {
    Outcome o;
    playMany(Normal3v3, false, 20001, 1500, o);
    playMany(Identity, false, 30001, 1500, o);
    EXPECT_EQ(o.coverage.heroes.size(), 25u);
    EXPECT_EQ(zeros(o.coverage.cards), "") << "card types never played";
    EXPECT_EQ(zeros(o.coverage.skills), "") << "skills never used";
}

} // namespace
} // namespace kvr

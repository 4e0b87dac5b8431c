// The replay viewer: a kept game's steps are what a browser watching the live game got, in the same
// order, and nothing a spectator could not see reaches a step before the game is over or without the
// toggle.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <random>
#include <sstream>

#include "console/console_io.hpp"
#include "console/recording_io.hpp"
#include "model/game.hpp"
#include "net/hosted_table.hpp"
#include "net/hub.hpp"
#include "net/web_table.hpp"
#include "store/replay_view.hpp"
#include "store/sqlite_store.hpp"
#include "tests/support/checked_game.hpp"

namespace kvr {
namespace {

using Json = nlohmann::json;

// What a spectator got, as a list: "T" and a public text, or "V" and a view message.
using Events = std::vector<std::pair<char, std::string>>;

// Takes what waits for the spectator after every call of the game, so its queue never fills.
class Draining : public TableIo {
  public:
    Draining(TableIo& inner, WebTable& web, int spectator, Events& into)
        : inner_(inner), web_(web), spectator_(spectator), into_(into) {}
    void showAll(std::string_view text) override {
        inner_.showAll(text);
        drain();
    }
    void show(int p, std::string_view text) override {
        inner_.show(p, text);
        drain();
    }
    Answer ask(int p, std::string& line) override { return askFor(p, Prompt{}, line); }
    Answer askFor(int p, const Prompt& prompt, std::string& line) override {
        Answer a = inner_.askFor(p, prompt, line);
        drain();
        return a;
    }
    bool hosted() const override { return inner_.hosted(); }
    int remotePlayers() const override { return inner_.remotePlayers(); }
    void farewell(std::string_view text) override {
        inner_.farewell(text);
        drain();
    }
    void drain() {
        std::vector<std::string> got;
        web_.take(spectator_, got);
        for (const std::string& m : got) {
            Json j = Json::parse(m);
            if (j["t"] == "view") into_.emplace_back('V', m);
            if (j["t"] == "text" && j["public"] == true)
                into_.emplace_back('T', j["text"].get<std::string>());
        }
    }

  private:
    TableIo& inner_;
    WebTable& web_;
    int spectator_;
    Events& into_;
};

struct Live {
    Events seen;
    std::string record;
    std::string result;
};

// A hosted game with the host at this console and a browser watching from its first line.
Live playWatched(Mode mode, const Options& opt, const std::string& input) {
    LanHub hub;
    WebTable web(hub);
    hub.attachWeb(&web);
    std::istringstream in(input);
    std::ostringstream out, record;
    ConsoleIo console(in, out);
    HostedTable host(hub, console);
    int spectator = web.connect();
    BrowserMessage hello;
    hello.type = BrowserMessage::Hello;
    web.receive(spectator, hello);
    Live live;
    RecordWriter writer(record);
    writer.head(RecordHead{RecordedGame::Hosted, mode, opt, host.remotePlayers()});
    RecordingIo recording(host, writer);
    Draining table(recording, web, spectator, live.seen);
    Game game(mode, opt, &table);
    host.showViews([&game](int p, SeatView& v) {
        v = p < 0 ? game.publicView() : game.viewFor(p);
        return true;
    });
    try {
        game.setup();
        game.run();
    } catch (const std::runtime_error&) {
    }
    table.drain();
    live.record = record.str();
    live.result = game.result();
    return live;
}

Events stepsSeen(const ReplayView& v) {
    Events out;
    int log = 0;
    std::string view;
    for (int n = 0; n < v.steps(); ++n) {
        for (; log < v.logAt(n); ++log) out.emplace_back('T', v.log()[static_cast<std::size_t>(log)]);
        if (v.viewAt(n) != view) out.emplace_back('V', view = v.viewAt(n));
    }
    return out;
}

std::string answers(std::uint32_t seed, int lines) {
    static const char* const words[] = {"1", "2", "3", "e", "0", "y", "n", "s", "v", "3 1 2 5 4", "", "4"};
    std::mt19937 rng(seed);
    std::string out;
    for (int i = 0; i < lines; ++i) out += std::string(words[rng() % 12]) + "\n";
    return out;
}

// Every step, in order, is what the watching browser got at the same point of the live game: the same
// public texts, the same view messages; and the record of a game cut short gives the first steps of the
// whole game.
TEST(ReplayViewer, StepsAreWhatTheSpectatorSaw) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        Mode mode = seed % 2 ? Identity : Normal3v3;
        Options opt = checkedOptions(seed, true);
        opt.color = seed % 3 == 0;
        Live live = playWatched(mode, opt, seed % 4 ? answers(seed, 400) : hostileInput(seed, 300));
        ASSERT_GT(live.seen.size(), 20u);
        ReplayView view(live.record, "game");
        EXPECT_TRUE(view.stopped().empty()) << view.stopped();
        EXPECT_TRUE(view.finished());
        EXPECT_EQ(view.result(), live.result);
        Events steps = stepsSeen(view);
        for (std::size_t k = 0; k < std::min(steps.size(), live.seen.size()); ++k)
            ASSERT_EQ(steps[k], live.seen[k]) << "seed " << seed << " at " << k;
        ASSERT_EQ(steps.size(), live.seen.size()) << "seed " << seed;

        std::size_t cut = live.record.find("\nanswer ", live.record.size() / 2);
        ASSERT_NE(cut, std::string::npos);
        ReplayView part(live.record.substr(0, cut + 1), "part");
        EXPECT_FALSE(part.finished());
        EXPECT_FALSE(part.stopped().empty());
        Events first = stepsSeen(part);
        ASSERT_LT(first.size(), steps.size());
        EXPECT_TRUE(std::equal(first.begin(), first.end(), steps.begin())) << "seed " << seed;
    }
}

// A step shows no hand and no role a spectator could not know (a hidden-role game's living seats but the
// Lord) until the game is over; hands and roles come only with the toggle, only for a finished game, and
// then as they were at that step.
TEST(ReplayViewer, NothingHiddenWithoutTheToggle) {
    for (std::uint32_t seed = 3; seed <= 9; seed += 2) {
        Options opt = checkedOptions(seed, true);
        Live live = playWatched(Identity, opt, answers(seed, 400));
        ReplayView view(live.record, "game");
        ASSERT_TRUE(view.finished());
        // The game is decided by its last death before the end: from then on every role is public.
        int decided = 0;
        for (int k = 0; k < static_cast<int>(view.log().size()); ++k) {
            const std::string& line = view.log()[static_cast<std::size_t>(k)];
            if (line.find("对局结束") != std::string::npos) break;
            if (line.find("阵亡：") != std::string::npos) decided = k;
        }
        int hiddenSeen = 0;
        for (int n = 0; n < view.steps(); ++n) {
            Json step = Json::parse(view.stepJson(n));
            EXPECT_FALSE(step.contains("reveal"));
            const Json& v = step["view"]["view"];
            EXPECT_EQ(v["self"], -1);
            EXPECT_FALSE(v.contains("hand") || v.contains("role"));
            bool over = view.logAt(n) > decided;
            for (const Json& s : v["seats"]) {
                if (s["role"].is_null()) continue;
                bool open = s["role"] == "主公" || s["alive"] == false || over;
                EXPECT_TRUE(open) << "seed " << seed << " step " << n;
            }
            Json shown = Json::parse(view.stepJson(n, true));
            ASSERT_TRUE(shown.contains("reveal"));
            ASSERT_EQ(shown["reveal"].size(), 6u);
            for (const Json& s : shown["reveal"]) hiddenSeen += s["role"] == "内奸";
        }
        EXPECT_GT(hiddenSeen, 0);

        std::size_t cut = live.record.find("\nanswer ", live.record.size() / 2);
        ReplayView part(live.record.substr(0, cut + 1), "part");
        for (int n = 0; n < part.steps(); ++n)
            EXPECT_FALSE(Json::parse(part.stepJson(n, true)).contains("reveal"));
    }
}

// The last step's hands and roles are the game's at its end; the log can be fetched from any point; the
// index gives each round's first step, in order.
TEST(ReplayViewer, StepsAndIndexFitTogether) {
    Options opt = checkedOptions(5, false);
    std::ostringstream out, record;
    std::istringstream in("");
    ConsoleIo console(in, out);
    RecordWriter writer(record);
    writer.head(RecordHead{RecordedGame::Automatic, Normal3v3, opt, 0});
    RecordingIo recording(console, writer);
    Game game(Normal3v3, opt, &recording);
    game.setup();
    game.run();
    ReplayView view(record.str(), "auto");
    ASSERT_TRUE(view.finished());
    Json last = Json::parse(view.stepJson(view.steps() + 5, true));
    EXPECT_EQ(last["step"], view.steps() - 1);
    for (int p = 0; p < 6; ++p) {
        const Player& x = game.players()[static_cast<std::size_t>(p)];
        EXPECT_EQ(last["reveal"][p]["role"], std::string(roleName(x.role)));
        EXPECT_EQ(last["reveal"][p]["hand"].size(), x.hand.size());
    }
    Json tail = Json::parse(view.stepJson(view.steps() - 1, false, 3));
    EXPECT_EQ(tail["logFrom"], 3);
    EXPECT_EQ(tail["log"].size(), view.log().size() - 3);
    EXPECT_EQ(tail["log"][0], view.log()[3]);

    Json index = Json::parse(view.indexJson());
    EXPECT_EQ(index["steps"], view.steps());
    EXPECT_EQ(index["result"], game.result());
    ASSERT_GE(index["rounds"].size(), 2u);
    EXPECT_EQ(index["rounds"][0]["step"], 0);
    int lastRound = 0;
    for (const Json& r : index["rounds"]) {
        EXPECT_GT(r["round"].get<int>(), lastRound);
        lastRound = r["round"];
        EXPECT_EQ(Json::parse(view.stepJson(r["step"]))["round"], lastRound);
    }
    EXPECT_EQ(lastRound, game.publicView().round);
    EXPECT_THROW(ReplayView("not a record\n", "junk"), RecordError);
}

// The cache answers from the stored record, replays a game still being played at every request (its
// record grows), and knows no game the store does not have.
TEST(ReplayViewer, CacheFollowsTheStore) {
    char name[] = "/tmp/kvr_replayXXXXXX";
    std::string dir = mkdtemp(name);
    {
        SqliteStore store(dir);
        Live live = playWatched(Normal3v3, checkedOptions(4, true), answers(4, 300));
        std::int64_t done = store.begin(GameStart{"t", true, 1, Normal3v3, 4, ClassicAi, 0});
        store.append(done, live.record);
        store.finish(done, GameEnd{2, live.result, 3, {}, true});
        ReplayCache cache(store, 1);
        ReplayView direct(live.record, "x");
        EXPECT_EQ(cache.step(done, 7, true), direct.stepJson(7, true));
        EXPECT_EQ(cache.index(done), direct.indexJson());
        EXPECT_FALSE(cache.step(done + 1, 0, false));

        std::size_t cut = live.record.find("\nanswer ", live.record.size() / 2);
        std::int64_t playing = store.begin(GameStart{"t", true, 1, Normal3v3, 4, ClassicAi, 0});
        store.append(playing, live.record.substr(0, cut + 1));
        int before = Json::parse(*cache.index(playing))["steps"];
        store.append(playing, live.record.substr(cut + 1));
        EXPECT_GT(Json::parse(*cache.index(playing))["steps"].get<int>(), before);
        EXPECT_EQ(cache.step(done, 7, true), direct.stepJson(7, true));
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace kvr

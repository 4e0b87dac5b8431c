// A room keeps every table's game in its database: killed mid-game it loses no answer it read, a
// database it cannot have stops it at its start, and a disk that fills mid-game stops no game.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "console/record.hpp"
#include "console/replay_io.hpp"
#include "model/game.hpp"
#include "model/text.hpp"
#include "room/room.hpp"
#include "store/sqlite_store.hpp"
#include "tests/support/hosting.hpp"
#include "tests/support/room_clients.hpp"

namespace kvr {
namespace {

using namespace room_clients;
namespace fs = std::filesystem;

struct Scratch {
    std::string path;
    explicit Scratch(const char* name) : path(tempDir(name)) {
        std::error_code ignored;
        fs::remove_all(path, ignored);
        fs::create_directories(path);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

std::size_t answersIn(const std::string& record) {
    std::size_t n = 0;
    for (std::size_t at = record.find("\nanswer "); at != std::string::npos; at = record.find("\nanswer ", at + 1))
        ++n;
    return n;
}

// Waits until the file has stopped growing for a while; its bytes then.
std::string settled(const std::string& path) {
    std::string last = slurp(path);
    for (int quiet = 0; quiet < 10;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::string now = slurp(path);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
    return last;
}


Json json(const Reply& r) { return Json::parse(r.body, nullptr, false); }

// A hero's name as a query carries it.
std::string escaped(const std::string& text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += HEX[c >> 4];
            out += HEX[c & 15];
        }
    }
    return out;
}

// Killed with SIGKILL while its table waits for the opener, the room has kept every answer it read: the
// database holds the record file's bytes. The next start marks the game unfinished, and its record replays
// every answer it holds before it runs out.
TEST(RoomStore, KilledMidGameLosesNoAnswer) {
    Scratch dir("killed");
    std::string id;
    std::string file;
    {
        RoomProcess room({}, dir.path);
        Opened t = openTable(room.port, "mode=identity&people=1");
        ASSERT_FALSE(t.id.empty());
        id = t.id;
        Browser opener(room.port, t.code, true, 17, -1, t.ws());
        auto deadline = Clock::now() + std::chrono::seconds(30);
        while (answersIn(slurp(room.record(id))) < 6 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        opener.hold();
        file = settled(room.record(id));
        ASSERT_GE(answersIn(file), 6u) << room.host.out();
        room.host.signal(SIGKILL);
        EXPECT_EQ(room.host.finish(5), -1);
    }
    {
        RoomProcess again({}, dir.path);
        again.host.signal(SIGTERM);
        EXPECT_EQ(again.host.finish(5), 0) << again.host.out();
    }
    SqliteStore store(dir.path);
    GameFilter one;
    one.table = id;
    GamePage page = store.list(one);
    ASSERT_EQ(page.total, 1);
    std::optional<StoredGame> g = store.get(page.games[0].id);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->summary.state, GameState::Unfinished);
    EXPECT_EQ(g->summary.table, id);
    EXPECT_EQ(g->summary.mode, Identity);
    EXPECT_EQ(g->summary.seats.size(), 6u);
    EXPECT_EQ(g->record, file);

    std::istringstream in(g->record);
    Record record = parseRecord(in, "db");
    int replies = 0;
    for (const RecordEvent& e : record.events) replies += e.type == RecordEvent::Reply;
    EXPECT_GE(replies, 6);
    ReplayIo replay(record, nullptr);
    Game game(record.head.mode, record.head.opt, &replay);
    EXPECT_THROW(
        {
            game.setup();
            game.run();
        },
        RecordStop);
    EXPECT_EQ(replay.used(), replies);
}

// A finished table's game is kept with its facts: its table, its listing, the opener's seat as a
// person's, who won, and a record that replays to its end.
TEST(RoomStore, FinishedGameIsKeptWithItsFacts) {
    Scratch dir("finished");
    std::string id;
    {
        RoomProcess room({}, dir.path);
        Opened t = openTable(room.port, "mode=normal&people=1&listed=0");
        ASSERT_FALSE(t.id.empty());
        id = t.id;
        Browser opener(room.port, t.code, true, 5, -1, t.ws());
        ASSERT_TRUE(opener.waitFor(isEnd(), 120)) << room.host.out();
        EXPECT_TRUE(room.host.waitFor("牌桌 " + id + " 已结束", 10));
        room.host.signal(SIGTERM);
        EXPECT_EQ(room.host.finish(5), 0);
    }
    SqliteStore store(dir.path);
    EXPECT_EQ(store.recovered(), 0);
    EXPECT_EQ(store.list(GameFilter{}).total, 0);
    GameFilter one;
    one.table = id;
    GamePage page = store.list(one);
    ASSERT_EQ(page.total, 1);
    const GameSummary& s = page.games[0];
    EXPECT_EQ(s.state, GameState::Finished);
    EXPECT_FALSE(s.listed);
    EXPECT_EQ(s.mode, Normal3v3);
    EXPECT_GT(s.ended, s.started);
    EXPECT_FALSE(s.result.empty());
    int people = 0, won = 0;
    for (const StoredSeat& seat : s.seats) {
        people += seat.player == PlayedBy::Person;
        won += seat.won.value_or(false);
    }
    EXPECT_EQ(people, 1);
    EXPECT_TRUE(won == 3 || won == 0) << s.result;
    std::optional<StoredGame> g = store.get(s.id);
    ASSERT_TRUE(g);
    std::string path = dir.path + "/kept.txt";
    std::ofstream(path, std::ios::binary) << g->record;
    EXPECT_EQ(g->record, slurp(dir.path + "/" + id + ".txt"));
    EXPECT_EQ(replays(path), 0);
}

// The viewer's steps of an unlisted table's game reach only its link holders; a step shows hands and
// roles only when asked; a record file opened from a disk gets a link of its own.
TEST(RoomStore, ReplaysReachOnlyWhoMaySeeThem) {
    Scratch dir("replays");
    std::string id;
    std::int64_t game = -1;
    {
        RoomProcess room({}, dir.path);
        Opened t = openTable(room.port, "mode=identity&people=1&listed=0");
        ASSERT_FALSE(t.id.empty());
        id = t.id;
        Browser opener(room.port, t.code, true, 3, -1, t.ws());
        ASSERT_TRUE(opener.waitFor(isEnd(), 120)) << room.host.out();
        ASSERT_TRUE(room.host.waitFor("牌桌 " + id + " 已结束", 10));

        Json mine = json(get(room.port, "/t/" + id + "/history.json"));
        ASSERT_EQ(mine["total"], 1) << mine.dump();
        game = mine["games"][0]["id"].get<std::int64_t>();
        EXPECT_EQ(mine["games"][0]["table"], id);
        EXPECT_EQ(json(get(room.port, "/history.json"))["total"], 0);
        std::string at = "/replay/" + std::to_string(game);
        std::string linked = "/t/" + id + at;
        EXPECT_EQ(get(room.port, at + "/index.json").status, 404);
        EXPECT_EQ(get(room.port, "/t/0123456789abcdef" + at + "/index.json").status, 404);
        Json index = json(get(room.port, linked + "/index.json"));
        EXPECT_TRUE(index["finished"].get<bool>());
        int steps = index["steps"];
        ASSERT_GT(steps, 10);
        Json first = json(get(room.port, linked + "/step.json?n=0"));
        EXPECT_EQ(first["step"], 0);
        EXPECT_FALSE(first.contains("reveal"));
        Json last = json(get(room.port, linked + "/step.json?n=" + std::to_string(steps + 50) + "&reveal=1"));
        EXPECT_EQ(last["step"], steps - 1);
        ASSERT_TRUE(last.contains("reveal"));
        EXPECT_EQ(last["reveal"].size(), 6u);
        Json part = json(get(room.port, linked + "/step.json?n=" + std::to_string(steps - 1) + "&since=3"));
        EXPECT_EQ(part["logFrom"], 3);
        EXPECT_EQ(part["log"].size(), last["log"].size() - 3);
        for (const char* bad : {"?n=-1", "?n=x", "?reveal=2", "?since=", "?n=1&n=2", "?step=1", "?n=%zz"})
            EXPECT_EQ(get(room.port, linked + "/step.json" + bad).status, 400) << bad;
        EXPECT_EQ(get(room.port, linked).status, 200);
        EXPECT_EQ(get(room.port, linked + "/other.json").status, 404);

        std::string record = slurp(room.record(id));
        Reply opened = post(room.port, "/replay/upload", record);
        ASSERT_EQ(opened.status, 200) << opened.body;
        std::string link = json(opened)["link"];
        EXPECT_EQ(link.rfind("/replay/u/", 0), 0u);
        EXPECT_EQ(json(get(room.port, link + "/index.json"))["steps"], steps);
        EXPECT_EQ(get(room.port, link).status, 200);
        EXPECT_EQ(get(room.port, "/replay/u/0123456789abcdef/index.json").status, 404);
        EXPECT_EQ(post(room.port, "/replay/upload", "no record\n").status, 422);
        std::string greedy = record;
        greedy.replace(greedy.find("max-rounds 150"), 14, "max-rounds 9999");
        EXPECT_EQ(post(room.port, "/replay/upload", greedy).status, 422);
        EXPECT_EQ(post(room.port, "/history.json", "x").status, -1);
    }
}

// Games kept by hand, some at an unlisted table: the history pages them newest first, filters them by
// mode and hero, and shows the unlisted table's only at its link; a query it cannot read is a 400.
TEST(RoomStore, HistoryPagesAndFilters) {
    Scratch dir("history");
    const std::vector<Hero>& roster = heroRoster();
    {
        SqliteStore store(dir.path);
        for (int k = 0; k < 45; ++k) {
            bool hidden = k % 9 == 0;
            GameStart start{hidden ? "feedbeef" : "match", !hidden, 1000 + k, k % 2 ? Identity : Normal3v3,
                            static_cast<std::uint32_t>(k), ClassicAi, 0};
            std::int64_t game = store.begin(start);
            std::array<StoredSeat, 6> seats;
            for (int p = 0; p < 6; ++p) {
                seats[static_cast<std::size_t>(p)].hero = roster[static_cast<std::size_t>((k + p) % 12)].id;
                seats[static_cast<std::size_t>(p)].role = p % 2 ? TeamChu : TeamHan;
            }
            store.seated(game, seats);
            GameEnd end;
            end.ended = 2000 + k;
            end.result = "汉军获胜！";
            store.finish(game, end);
        }
    }
    RoomProcess room({}, dir.path);
    Json all = json(get(room.port, "/history.json"));
    EXPECT_EQ(all["total"], 40);
    ASSERT_EQ(all["games"].size(), 20u);
    EXPECT_EQ(all["games"][0]["id"], 45);
    EXPECT_EQ(all["games"][1]["id"], 44);
    Json third = json(get(room.port, "/history.json?page=3"));
    EXPECT_EQ(third["games"].size(), 0u);
    Json second = json(get(room.port, "/history.json?page=2"));
    ASSERT_EQ(second["games"].size(), 20u);
    EXPECT_EQ(second["games"][19]["id"], 2);
    for (const Json& g : second["games"]) EXPECT_NE(g["table"], "feedbeef");

    Json identity = json(get(room.port, "/history.json?mode=identity"));
    EXPECT_EQ(identity["total"], 20);
    for (const Json& g : identity["games"]) EXPECT_EQ(g["mode"], "identity");
    // Hero 0 sits in games 0, 6, 7, ..., 11 of every twelve: at seat (12 - k % 12) % 12.
    std::string hero = roster[0].name;
    Json withHero = json(get(room.port, "/history.json?hero=" + escaped(hero) + "&mode=normal"));
    int expected = 0;
    for (int k = 0; k < 45; ++k)
        expected += k % 9 != 0 && k % 2 == 0 && (k % 12 == 0 || k % 12 >= 7);
    EXPECT_EQ(withHero["total"], expected);
    for (const Json& g : withHero["games"]) {
        bool seated = false;
        for (const Json& s : g["seats"]) seated = seated || s["hero"] == hero;
        EXPECT_TRUE(seated);
    }

    Json hidden = json(get(room.port, "/t/feedbeef/history.json"));
    EXPECT_EQ(hidden["total"], 5);
    EXPECT_EQ(get(room.port, "/t/feedbeef/history").status, 200);
    EXPECT_EQ(get(room.port, "/t/0000000000000000/history.json").status, 404);
    for (const char* bad : {"?mode=x", "?hero=nobody", "?page=0", "?page=abc", "?page=", "?foo=1", "?hero=%zz",
                            "?hero=%E4", "?page=99999999999"})
        EXPECT_EQ(get(room.port, std::string("/history.json") + bad).status, 400) << bad;
    EXPECT_EQ(get(room.port, "/stats.json?x=1").status, 400);
    Json stats = json(get(room.port, "/stats.json"));
    EXPECT_EQ(stats["modes"][0]["games"], 23);
    EXPECT_EQ(stats["modes"][1]["games"], 22);
    for (const char* page : {"/history", "/stats", "/replay/3", "/history.js", "/replay.js", "/stats.js", "/table.js"})
        EXPECT_EQ(get(room.port, page).status, 200) << page;
    for (const char* missing : {"/replay/3x", "/replay/999/index.json", "/replay/abc/index.json", "/replay/3/x.json",
                                "/replay/u/x/y/index.json", "/t/ABC/history.json"})
        EXPECT_EQ(get(room.port, missing).status, 404) << missing;
}

// What a room that cannot have its database says: one line on standard error that names the file, and
// exit code 1, before it takes anyone.
std::string refusal(const std::string& data, int& code) {
    Host room({"--serve", "--port", std::to_string(freePort()), "--data", data}, false);
    code = room.finish(10);
    return room.out();
}

TEST(RoomStore, DatabaseItCannotHaveStopsTheRoom) {
    Scratch held("held");
    RoomProcess first({}, held.path);
    int code = 0;
    std::string said = refusal(held.path, code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(said.find(held.path + "/games.db"), std::string::npos) << said;
    EXPECT_NE(said.find("另一个房间"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.find("房间已开启"), std::string::npos);

    Scratch junk("junk");
    std::ofstream(junk.path + "/games.db") << std::string(5000, 'x');
    said = refusal(junk.path, code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(said.find(junk.path + "/games.db"), std::string::npos) << said;
    EXPECT_NE(said.find("不是SQLite数据库"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // A folder nobody may write, root included; and one its owner may only read.
    said = refusal("/proc/kavrin-room-test", code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(said.find("/proc/kavrin-room-test/games.db"), std::string::npos) << said;
    if (geteuid() != 0) {
        Scratch readOnly("readonly");
        fs::permissions(readOnly.path, fs::perms::owner_read | fs::perms::owner_exec);
        said = refusal(readOnly.path, code);
        EXPECT_EQ(code, 1);
        EXPECT_NE(said.find(readOnly.path + "/games.db"), std::string::npos) << said;
        fs::permissions(readOnly.path, fs::perms::owner_all);
    }
}

// The disk fills while two tables play: both play to their end, and the room's console says so once.
TEST(RoomStore, FullDiskMidGameStopsNoGame) {
    Scratch dir("full");
    SqliteStore store(dir.path);
    RoomOptions o;
    o.base.fast = true;
    o.base.color = false;
    o.base.seed = 3;
    o.webPort = 0;
    o.store = &store;
    testing::internal::CaptureStdout();
    std::string said;
    {
        Room room(o);
        ASSERT_TRUE(room.start());
        Opened a = openTable(room.port(), "mode=identity&people=1&listed=1");
        Opened b = openTable(room.port(), "mode=normal&people=1&listed=1");
        // The file may not grow, and what room its pages had left is taken.
        store.limitPages(1);
        std::int64_t filler = store.begin(GameStart{});
        for (int k = 0; k < 1000 && store.append(filler, std::string(200, 'x') + "\n"); ++k) {
        }
        Browser first(room.port(), a.code, true, 8, -1, a.ws());
        Browser second(room.port(), b.code, true, 9, -1, b.ws());
        EXPECT_TRUE(first.waitFor(isEnd(), 120));
        EXPECT_TRUE(second.waitFor(isEnd(), 120));
    }
    said = testing::internal::GetCapturedStdout();
    std::size_t told = 0;
    for (std::size_t at = said.find("[记录]"); at != std::string::npos; at = said.find("[记录]", at + 1)) ++told;
    EXPECT_EQ(told, 1u) << said;
}

} // namespace
} // namespace kvr

// A room (`kavrin --serve`) against WebSocket and HTTP clients (Beast) over 127.0.0.1: tables that play
// at once and never reach each other, the room page, its limits, tables whose people leave, and
// SIGTERM in the middle of games.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <boost/beast/http.hpp>

#include "net/web_guard.hpp"
#include "room/room.hpp"
#include "tests/support/hosting.hpp"
#include "tests/support/room_clients.hpp"
#include "tests/support/web_clients.hpp"

namespace kvr {
namespace {

using namespace web_clients;
using namespace room_clients;

// Two tables play whole games at once, one of each mode, each with its opener and a friend: both seats
// of a table see the same public lines, and none of the other table's. A seat code of one table opens
// nothing at the other, the unlisted table is not on the room page, and both records replay.
TEST(Room, TwoTablesPlayAtOnceAndNeverMeet) {
    RoomProcess room({}, tempDir("two"));
    Opened a = openTable(room.port, "mode=normal&people=2&ai=classic&listed=1");
    Opened b = openTable(room.port, "mode=identity&people=2&ai=classic&listed=0");
    ASSERT_FALSE(a.id.empty());
    ASSERT_FALSE(b.id.empty());
    EXPECT_GE(a.id.size(), 16u);
    std::string list = get(room.port, "/tables.json").body;
    EXPECT_NE(list.find(a.id), std::string::npos);
    EXPECT_EQ(list.find(b.id), std::string::npos);
    EXPECT_EQ(get(room.port, "/").body.find(b.id), std::string::npos);
    EXPECT_EQ(get(room.port, "/t/" + b.id).status, 200);
    EXPECT_EQ(get(room.port, "/t/0123456789abcdef").status, 404);

    // The friends wait in each lobby; the opener's arrival fills the table, and it starts.
    Browser friendA(room.port, "", true, 12, -1, a.ws());
    Browser friendB(room.port, "", true, 22, -1, b.ws());
    EXPECT_TRUE(friendA.waitFor(isState("lobby"), 5));
    EXPECT_TRUE(friendB.waitFor(isState("lobby"), 5));
    Browser openerA(room.port, a.code, true, 11, -1, a.ws());
    Browser openerB(room.port, b.code, true, 21, -1, b.ws());
    for (Browser* br : {&openerA, &friendA, &openerB, &friendB})
        EXPECT_TRUE(br->waitFor(isEnd(), 120)) << room.host.out();
    EXPECT_GE(openerA.seat(), 0);
    EXPECT_GE(friendA.seat(), 0);
    EXPECT_NE(openerA.seat(), friendA.seat());
    EXPECT_EQ(openerA.texts(true), friendA.texts(true));
    EXPECT_EQ(openerB.texts(true), friendB.texts(true));
    EXPECT_NE(openerA.texts(true), openerB.texts(true));
    // Another table's lines would bring a second start and a second end.
    for (Browser* br : {&openerA, &friendA, &openerB, &friendB}) {
        std::string seen = br->texts(true);
        int starts = 0, ends = 0;
        for (std::size_t at = seen.find("[大厅] 已开局"); at != std::string::npos; at = seen.find("[大厅] 已开局", at + 1))
            ++starts;
        for (std::size_t at = seen.find("[对局结束]"); at != std::string::npos; at = seen.find("[对局结束]", at + 1))
            ++ends;
        EXPECT_EQ(starts, 1);
        EXPECT_EQ(ends, 1);
    }

    EXPECT_EQ(get(room.port, "/t/" + a.id + "/record").status, 200);
    EXPECT_EQ(replays(room.record(a.id)), 0);
    EXPECT_EQ(replays(room.record(b.id)), 0);
}

// Past each limit the room says no and goes on: open tables, tables per address a minute, connections
// from one address.
TEST(Room, LimitsRefuseAndTheRoomGoesOn) {
    RoomProcess room({"--tables", "2", "--opens-per-minute", "3", "--max-per-address", "3"}, tempDir("limits"));
    int status = 0;
    EXPECT_FALSE(openTable(room.port, "people=2", &status).id.empty());
    Opened second = openTable(room.port, "people=2&listed=0", &status);
    EXPECT_FALSE(second.id.empty());
    EXPECT_TRUE(openTable(room.port, "people=2", &status).id.empty());
    EXPECT_EQ(status, 429);
    EXPECT_TRUE(openTable(room.port, "people=9", &status).id.empty());
    EXPECT_EQ(status, 400);

    std::vector<std::unique_ptr<Browser>> pages;
    for (int k = 0; k < 3; ++k) pages.push_back(std::make_unique<Browser>(room.port, "", false, 1, -1, second.ws()));
    for (auto& p : pages) EXPECT_TRUE(p->waitFor(isState("lobby"), 5) || p->waitFor(isState("waiting"), 1));
    Browser fourth(room.port, "", false, 1, -1, second.ws());
    EXPECT_TRUE(fourth.waitClosed(5));
    for (auto& p : pages) EXPECT_FALSE(p->closed());
}

// A table whose people have all gone is played to its end by the computer, and its record replays.
TEST(Room, TableWhosePeopleLeaveIsPlayedOut) {
    RoomProcess room({}, tempDir("leave"));
    Opened t = openTable(room.port, "mode=identity&people=2");
    ASSERT_FALSE(t.id.empty());
    {
        Browser opener(room.port, t.code, true, 5, 6, t.ws());
        Browser friendly(room.port, "", true, 6, 4, t.ws());
        EXPECT_TRUE(opener.waitClosed(30));
        EXPECT_TRUE(friendly.waitClosed(30));
    }
    EXPECT_TRUE(room.host.waitFor("牌桌 " + t.id + " 已结束", 60)) << room.host.out();
    std::string record = slurp(room.record(t.id));
    EXPECT_NE(record.find("\nend "), std::string::npos);
    EXPECT_EQ(replays(room.record(t.id)), 0);
}

// Answers the start and the opener's choices with their first option until the opener holds its seat;
// the game then waits on its next question.
bool answerUntilSeated(Browser& b) {
    long answered = 0;
    for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
        for (const Json& m : b.messages()) {
            if (m["t"] == "state" && m["state"] == "player") return true;
            if (m["t"] != "ask" || m["id"].get<long>() <= answered) continue;
            answered = m["id"].get<long>();
            Json value = m["kind"] == "number" ? Json(m["lo"].get<int>()) : Json("");
            b.send(Json{{"t", "answer"}, {"id", answered}, {"value", value}}.dump());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The opener's page comes and goes around the start. A second page with the opener's code takes the
// opener's place over in the lobby; the offer to start is withdrawn when the friend fills the table and
// it starts by itself; and a page that reloads while the host's first choice is asked, before the game
// named its seat, gets that seat back with the same code instead of watching.
TEST(Room, OpenerKeepsItsPlaceAroundTheStart) {
    RoomProcess room({}, tempDir("opener"));
    Opened t = openTable(room.port, "mode=identity&people=2");
    ASSERT_FALSE(t.id.empty());
    auto asked = [](long after) { return [after](const Json& m) { return m["t"] == "ask" && m["id"].get<long>() > after; }; };
    Browser first(room.port, t.code, false, 1, -1, t.ws());
    ASSERT_TRUE(first.waitFor(asked(0), 5));
    auto opener = std::make_unique<Browser>(room.port, t.code, false, 2, -1, t.ws());
    EXPECT_TRUE(first.waitFor(isState("replaced"), 5));
    ASSERT_TRUE(opener->waitFor(asked(0), 5));
    long offer = 0;
    for (const Json& m : opener->messages())
        if (m["t"] == "ask") offer = m["id"].get<long>();

    // The friend holds its first question, so that the game waits there.
    Browser friendly(room.port, "", false, 3, -1, t.ws());
    auto withdrawn = [offer](const Json& m) { return m["t"] == "expired" && m["id"] == offer; };
    EXPECT_TRUE(opener->waitFor(withdrawn, 10)) << room.host.out();
    ASSERT_TRUE(opener->waitFor(asked(offer), 10));
    EXPECT_EQ(opener->seat(), -1);
    opener.reset();

    Browser back(room.port, t.code, true, 4, -1, t.ws());
    auto seated = [](const Json& m) {
        return m["t"] == "state" && (m["state"] == "player" || m["state"] == "waiting") && m["seat"].get<int>() >= 0;
    };
    EXPECT_TRUE(back.waitFor(seated, 10)) << room.host.out();
    EXPECT_FALSE(back.waitFor(isState("watching"), 0));
}

// SIGTERM while two games wait on their players: every page is told, the room is gone within 5 s, and
// both records replay as far as they go. Before that, a seat code of one table opens nothing at the
// other.
TEST(Room, SigtermEndsEveryTableWithinFiveSeconds) {
    RoomProcess room({}, tempDir("term"));
    Opened a = openTable(room.port, "mode=normal&people=1");
    Opened b = openTable(room.port, "mode=identity&people=1");
    Browser openerA(room.port, a.code, false, 1, -1, a.ws());
    Browser openerB(room.port, b.code, false, 2, -1, b.ws());
    ASSERT_TRUE(answerUntilSeated(openerA));
    ASSERT_TRUE(answerUntilSeated(openerB));

    Browser stranger(room.port, openerA.code(), false, 1, -1, b.ws());
    EXPECT_TRUE(stranger.waitFor(isState("watching"), 5));
    EXPECT_EQ(stranger.seat(), -1);
    EXPECT_FALSE(stranger.waitFor(isState("waiting"), 1));

    auto sent = Clock::now();
    room.host.signal(SIGTERM);
    EXPECT_EQ(room.host.finish(5), 0);
    EXPECT_LT(Clock::now() - sent, std::chrono::seconds(5));
    for (Browser* br : {&openerA, &openerB}) {
        EXPECT_TRUE(br->waitClosed(3));
        EXPECT_NE(br->texts(true).find("房间即将关闭"), std::string::npos);
    }
    EXPECT_EQ(replays(room.record(a.id)), 0);
    EXPECT_EQ(replays(room.record(b.id)), 0);
}

// Reads from a line connection until `text` has come; false after `seconds` or when it ends first.
bool readUntil(SocketHandle s, const std::string& text, std::string& got, int seconds = 10) {
    for (auto end = Clock::now() + std::chrono::seconds(seconds); got.find(text) == std::string::npos;) {
        if (Clock::now() >= end) return false;
        if (!waitReadable(s, 50)) continue;
        char buf[4096];
        long n = receiveSome(s, buf, sizeof buf);
        if (n <= 0) return false;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

SocketHandle lineClient(std::uint16_t port) {
    std::uint32_t loopback = 0;
    parseIpv4("127.0.0.1", loopback);
    int error = 0;
    return connectTcp(loopback, port, error);
}

// The line port greets with the listed tables and takes a table's ID: that line client sits at the table
// beside the browsers, gets its seat and code as at a hosted game, and its seat goes to the computer when
// it leaves. A wrong ID is told so.
TEST(Room, LineClientsJoinByTableId) {
    std::uint16_t linePort = freePort();
    RoomProcess room({"--line-port", std::to_string(linePort)}, tempDir("line"));
    Opened t = openTable(room.port, "mode=normal&people=2&listed=1");
    ASSERT_FALSE(t.id.empty());

    SocketHandle wrong = lineClient(linePort);
    std::string said;
    ASSERT_TRUE(readUntil(wrong, "输入牌桌ID加入：", said));
    EXPECT_NE(said.find(t.id), std::string::npos);
    sendSocketText(wrong, "ffffffffffffffff\n");
    EXPECT_TRUE(readUntil(wrong, "[房间] 没有这个牌桌。", said));
    closeSocket(wrong);

    SocketHandle line = lineClient(linePort);
    std::string got;
    ASSERT_TRUE(readUntil(line, "输入牌桌ID加入：", got));
    sendSocketText(line, t.id + "\r\n");
    EXPECT_TRUE(readUntil(line, "[大厅] 已连接主机", got));
    Browser opener(room.port, t.code, true, 3, -1, t.ws());
    EXPECT_TRUE(readUntil(line, "[开局] 座位码：", got));
    EXPECT_NE(got.find("[开局] 你是"), std::string::npos);
    closeSocket(line);
    EXPECT_TRUE(opener.waitFor(isEnd(), 60)) << room.host.out();
    EXPECT_NE(opener.texts(true).find("断线，已由AI接管"), std::string::npos);
}

// Behind a reverse proxy the page comes from the proxy's https origin, and its Host is the proxy's name;
// a page from anywhere else, or the proxy's name over another scheme, is still refused.
TEST(RoomGuard, ProxiedPagesMayConnect) {
    std::string name;
    EXPECT_EQ(publicOrigin("HTTPS://Cards.Example.org/room", &name), "https://cards.example.org");
    EXPECT_EQ(name, "cards.example.org");
    EXPECT_EQ(publicOrigin("http://cards.example.org:8080"), "http://cards.example.org:8080");
    EXPECT_EQ(publicOrigin("cards.example.org"), "");
    EXPECT_EQ(publicOrigin("https://user@cards.example.org/"), "");
    const std::vector<std::string> names{"localhost", "127.0.0.1"};
    const std::string proxied = publicOrigin("https://cards.example.org/");
    EXPECT_TRUE(proxiedUpgradeAllowed("cards.example.org", true, "https://cards.example.org", names, 9528, proxied));
    EXPECT_TRUE(proxiedUpgradeAllowed("localhost:9528", true, "http://localhost:9528", names, 9528, proxied));
    EXPECT_FALSE(proxiedUpgradeAllowed("cards.example.org", true, "http://cards.example.org", names, 9528, proxied));
    EXPECT_FALSE(proxiedUpgradeAllowed("cards.example.org", true, "https://evil.example", names, 9528, proxied));
    EXPECT_FALSE(proxiedUpgradeAllowed("evil.example", true, "https://cards.example.org", names, 9528, proxied));
    EXPECT_FALSE(proxiedUpgradeAllowed("cards.example.org", true, "https://cards.example.org", names, 9528, ""));
}

// What a line client types at the greeting: two IDs in one packet are two answers, a line end from
// Windows or trailing blanks are no part of the ID, and a line longer than any ID ends the talk whether or
// not its end has come.
TEST(RoomLine, TypedLinesAreCutClean) {
    std::string typed = "abc \r\ndef\npart";
    std::string line;
    EXPECT_EQ(takeTypedLine(typed, line), TypedLine::Line);
    EXPECT_EQ(line, "abc");
    EXPECT_EQ(takeTypedLine(typed, line), TypedLine::Line);
    EXPECT_EQ(line, "def");
    EXPECT_EQ(takeTypedLine(typed, line), TypedLine::None);
    EXPECT_EQ(typed, "part");
    std::string longer(MAX_TYPED_LINE + 1, 'a');
    EXPECT_EQ(takeTypedLine(longer, line), TypedLine::TooLong);
    longer += "\n";
    EXPECT_EQ(takeTypedLine(longer, line), TypedLine::TooLong);
}

// The open-a-table form: every field has a default, and anything else is no request.
TEST(RoomPage, TableRequestsAndListing) {
    TableRequest r;
    ASSERT_TRUE(parseTableRequest("mode=identity&people=3&ai=strong&listed=1", r));
    EXPECT_TRUE(r.mode == Identity && r.people == 3 && r.ai == StrongAi && r.listed);
    ASSERT_TRUE(parseTableRequest("mode=normal&people=1", r));
    EXPECT_TRUE(r.mode == Normal3v3 && r.people == 1 && r.ai == ClassicAi && !r.listed);
    for (const char* bad : {"people=0", "people=7", "people=12", "mode=x", "ai=", "listed=yes", "seed=1"})
        EXPECT_FALSE(parseTableRequest(bad, r)) << bad;
    TableListing t;
    t.id = "00ff00ff00ff00ff";
    t.mode = Identity;
    t.people = 2;
    t.computer = 4;
    EXPECT_EQ(roomJson({t}),
              R"({"tables":[{"begun":false,"computer":4,"ended":false,"id":"00ff00ff00ff00ff","mode":"identity","people":2}]})");
    EXPECT_NE(roomPage({t}).find("href=\"/t/00ff00ff00ff00ff\""), std::string::npos);
}

} // namespace
} // namespace kvr

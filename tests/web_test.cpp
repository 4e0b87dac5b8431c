// Browsers at a hosted game, between a real kavrin host and WebSocket clients (Beast) over 127.0.0.1:
// seats played to the end in both modes, a reload that takes the seat back, spectators, and every
// kind of bad input, each of which closes only its own connection while the game goes on.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "net/hub.hpp"
#include "net/socket.hpp"
#include "net/web_guard.hpp"
#include "net/web_host.hpp"
#include "net/web_protocol.hpp"
#include "net/web_table.hpp"
#include "tests/support/hosting.hpp"
#include "tests/support/table.hpp"
#include "tests/support/web_clients.hpp"

namespace kvr {
namespace {

using namespace web_clients;

// What a seat may know and nothing more: every view is its own seat's, with its hand; the seat's hand
// count matches the hand; no other seat's hand is there.
void expectOwnViews(Browser& b, int seat) {
    int views = 0;
    for (const Json& m : b.messages()) {
        if (m["t"] != "view") continue;
        const Json& v = m["view"];
        if (v["self"] != seat) continue;
        ++views;
        ASSERT_TRUE(v.contains("hand"));
        EXPECT_EQ(v["hand"].size(), v["seats"][static_cast<std::size_t>(seat)]["hand"].get<std::size_t>());
        for (const Json& s : v["seats"]) EXPECT_FALSE(s.contains("cards"));
    }
    EXPECT_GT(views, 0);
    for (const Json& m : b.messages())
        if (m["t"] == "view" && m["view"]["self"] != seat) {
            EXPECT_EQ(m["view"]["self"], -1) << "another seat's view reached seat " << seat;
            EXPECT_FALSE(m["view"].contains("hand"));
        }
}

// Two browsers play a whole game with the host, in both modes: each gets its seat, its start text and
// code (the same bytes a --join client gets), every public line exactly as the host shows it, its own
// views only, questions with a label for every option, and the end. The host's record replays.
// When a page waits in vain: the host's last lines and the page's last messages.
void tellWhy(Host& host, Browser& page) {
    std::string o = host.out();
    std::cerr << o.substr(o.size() > 3000 ? o.size() - 3000 : 0) << "\n----\n";
    std::vector<Json> ms = page.messages();
    for (std::size_t k = ms.size() > 10 ? ms.size() - 10 : 0; k < ms.size(); ++k)
        std::cerr << ms[k].dump().substr(0, 300) << "\n";
    std::cerr << "closed " << page.closed() << "\n";
}

TEST(WebSeats, BrowsersPlayWholeGamesInBothModes) {
    for (const char* mode : {"normal", "identity"}) {
        SCOPED_TRACE(mode);
        std::uint16_t port = freePort();
        const std::string record = "/tmp/kvr_web_record_" + std::to_string(getpid()) + mode;
        Host host(hostArgs(port, 3, mode, 41, record), false);
        ASSERT_TRUE(host.waitFor("目标真人", 10));
        Browser first(static_cast<std::uint16_t>(port + 1), "", true, 1);
        ASSERT_TRUE(first.waitFor(isState("lobby"), 10));
        Browser second(static_cast<std::uint16_t>(port + 1), "", true, 2);
        bool ended = first.waitFor(isEnd(), 20);
        if (!ended) tellWhy(host, first);
        ASSERT_TRUE(ended);
        ASSERT_TRUE(second.waitFor(isEnd(), 10));
        EXPECT_EQ(host.finish(30), 0);
        std::string h = host.out();
        EXPECT_NE(h.find("客户端已加入，目前远程玩家：2人。"), std::string::npos);
        EXPECT_NE(h.find("浏览器打开以下地址"), std::string::npos);
        for (Browser* b : {&first, &second}) {
            int seat = b->seat();
            ASSERT_GE(seat, 0);
            std::string mine = b->texts(false);
            EXPECT_NE(mine.find("\n[开局] 你是" + std::to_string(seat + 1) + "号位，武将【"),
                      std::string::npos);
            EXPECT_NE(mine.find("[开局] 座位码：" + b->code() + "。"), std::string::npos);
            EXPECT_EQ(publicLines(b->texts(true)), publicLines(h));
            EXPECT_NE(b->texts(true).find("\n[对局结束] " + resultOf(h) + "\n"), std::string::npos);
            expectOwnViews(*b, seat);
            int asks = 0;
            for (const Json& m : b->messages()) {
                if (m["t"] != "ask") continue;
                ++asks;
                if (m["kind"] == "number" && m["options"].size() > 0) {
                    EXPECT_EQ(m["options"].size(),
                              static_cast<std::size_t>(m["hi"].get<int>() - m["lo"].get<int>() + 1));
                }
            }
            EXPECT_GT(asks, 0);
        }
        EXPECT_NE(first.seat(), second.seat());
        // The end view shows every role.
        std::vector<Json> all = first.messages();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if ((*it)["t"] != "view") continue;
            for (const Json& s : (*it)["view"]["seats"]) EXPECT_FALSE(s["role"].is_null());
            break;
        }
        // A browser's answers are kept like a line client's: the record replays to the host's screen.
        EXPECT_NE(slurp(record).find("\nremote-players 2\n"), std::string::npos);
        // Each page was sent the record, byte for byte as the host keeps it, and told whether it won.
        for (Browser* b : {&first, &second}) {
            ASSERT_TRUE(b->waitFor([](const Json& m) { return m["t"] == "record"; }, 10));
            for (const Json& m : b->messages()) {
                if (m["t"] == "record") {
                    EXPECT_EQ(m["text"].get<std::string>(), slurp(record));
                }
                if (m["t"] == "end") {
                    EXPECT_TRUE(m["won"].is_boolean());
                }
            }
        }
        Host replay({"--replay", record}, false);
        EXPECT_EQ(replay.finish(30), 0);
        std::string shown = replay.out();
        for (std::size_t at; (at = h.find("[观战] 有观众")) != std::string::npos;)
            h.erase(at, h.find('\n', at) + 1 - at);
        ASSERT_GE(h.size(), shown.size());
        EXPECT_EQ(h.substr(h.size() - shown.size()), shown);
        EXPECT_NE(shown.find("================ 对局结束 ================"), std::string::npos);
        unlink(record.c_str());
    }
}

// With --answer-time, a seat whose page stays silent is answered for by the computer, one question at a
// time: everybody is told, the page keeps its seat and plays on, and the record replays to the host's
// screen.
TEST(WebSeats, SilentSeatIsAnsweredForInTime) {
    std::uint16_t port = freePort(), web = static_cast<std::uint16_t>(port + 1);
    const std::string record = "/tmp/kvr_web_timeout_" + std::to_string(getpid());
    std::vector<std::string> args = hostArgs(port, 2, "normal", 43, record);
    args.insert(args.end(), {"--answer-time", "1"});
    Host host(args, false);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    Browser player(web, "", false, 4);
    ASSERT_TRUE(player.waitFor(isState("player"), 20));
    ASSERT_TRUE(host.waitFor("号座位超时，本次由AI代答。\n", 20));
    player.play();
    bool ended = player.waitFor(isEnd(), 60);
    if (!ended) tellWhy(host, player);
    ASSERT_TRUE(ended);
    EXPECT_EQ(host.finish(30), 0);
    std::string h = host.out();
    std::string told = "[网络] " + std::to_string(player.seat() + 1) + "号座位超时，本次由AI代答。\n";
    EXPECT_NE(h.find(told), std::string::npos);
    EXPECT_NE(player.texts(true).find(told), std::string::npos);
    // messages() is a copy: one copy for both ends of the range.
    const std::vector<Json> got = player.messages();
    EXPECT_FALSE(std::any_of(got.begin(), got.end(),
                             [](const Json& m) { return isState("replaced")(m) || isState("watching")(m); }));
    EXPECT_NE(slurp(record).find("\ntimeout " + std::to_string(player.seat() + 1) + " "), std::string::npos);
    Host replay({"--replay", record}, false);
    EXPECT_EQ(replay.finish(30), 0);
    std::string shown = replay.out();
    ASSERT_GE(h.size(), shown.size());
    EXPECT_EQ(h.substr(h.size() - shown.size()), shown);
    unlink(record.c_str());
}

// A raw connection to the page's port: what it sends, and everything it gets until the host closes it
// (or `seconds` pass: then "" and `closed` false).
std::string exchange(std::uint16_t port, const std::string& bytes, bool& closed, int seconds = 5) {
    std::uint32_t address = 0;
    parseIpv4("127.0.0.1", address);
    int error = 0;
    SocketHandle s = connectTcp(address, port, error);
    EXPECT_TRUE(socketValid(s));
    sendSocketText(s, bytes);
    std::string got;
    char buf[4096];
    closed = false;
    for (auto end = Clock::now() + std::chrono::seconds(seconds); Clock::now() < end;) {
        if (!waitReadable(s, 50)) continue;
        long n = receiveSome(s, buf, sizeof buf);
        if (n <= 0) {
            closed = true;
            break;
        }
        got.append(buf, static_cast<std::size_t>(n));
    }
    closeSocket(s);
    return got;
}

// A player reloads its page: the old connection vanishes at a question, the seat goes to the computer,
// and the new page (the code it kept) takes the seat back at the seat's next decision, with a fresh
// table and hand, and plays to the end. A third browser that holds its first question keeps the game
// from ending meanwhile.
TEST(WebSeats, ReloadTakesTheSeatBack) {
    std::uint16_t port = freePort(), web = static_cast<std::uint16_t>(port + 1);
    Host host(hostArgs(port, 3, "normal", 52), false);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    Browser leaves(web, "", true, 5, 2);
    ASSERT_TRUE(leaves.waitFor(isState("lobby"), 10));
    Browser holds(web, "", false, 6);
    ASSERT_TRUE(leaves.waitFor(isState("player"), 10));
    ASSERT_TRUE(holds.waitFor([](const Json& m) { return m["t"] == "ask"; }, 20));
    leaves.waitClosed(10);
    int seat = leaves.seat();
    std::string code = leaves.code();
    ASSERT_FALSE(code.empty());
    Browser back(web, code, true, 7);
    ASSERT_TRUE(back.waitFor(isState("deciding"), 10));
    ASSERT_TRUE(back.waitFor(
        [seat](const Json& m) { return m["t"] == "state" && m["state"] == "waiting" && m["seat"] == seat; },
        10));
    holds.play();
    ASSERT_TRUE(back.waitFor(
        [seat](const Json& m) { return m["t"] == "state" && m["state"] == "player" && m["seat"] == seat; },
        30));
    ASSERT_TRUE(back.waitFor(isEnd(), 60));
    EXPECT_EQ(host.finish(30), 0);
    std::string h = host.out();
    std::size_t hero = leaves.texts(false).find("武将【") + 9;
    std::string name = leaves.texts(false).substr(hero, leaves.texts(false).find("】", hero) - hero);
    EXPECT_EQ(occurrences(h, "[网络] " + name + "断线，已由AI接管。\n"), 1u);
    EXPECT_EQ(occurrences(h, "[网络] " + name + "重新连线，已取回座位。\n"), 1u);
    std::string mine = back.texts(false);
    EXPECT_NE(mine.find("座位码正确：轮到" + std::to_string(seat + 1) + "号座位决定时交还给你"),
              std::string::npos);
    EXPECT_NE(mine.find("\x1b[2J"), std::string::npos);
    EXPECT_NE(mine.find("手牌："), std::string::npos);
    expectOwnViews(back, seat);
    EXPECT_NE(back.texts(true).find("[对局结束] " + resultOf(h)), std::string::npos);
}

// Spectators who open the page once the game has begun: one without a code watches at once, one with a
// wrong code watches after its guess; both see every public line once and in order, and public views
// only. Eight places in all: the ninth is told the room is full.
TEST(WebSeats, SpectatorsSeePublicLinesOnly) {
    std::uint16_t port = freePort(), web = static_cast<std::uint16_t>(port + 1);
    Host host(hostArgs(port, 2, "identity", 63), true);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    Browser player(web, "", true, 8);
    ASSERT_TRUE(player.waitFor(isState("lobby"), 10));
    ASSERT_TRUE(host.waitFor("选择身份", 10));
    Browser plain(web, "", false), guessing(web, "zzzzzz", false);
    ASSERT_TRUE(plain.waitFor(isState("watching"), 10));
    ASSERT_TRUE(guessing.waitFor([](const Json& m) { return m["t"] == "badcode"; }, 10));
    ASSERT_TRUE(guessing.waitFor(isState("watching"), 10));
    std::vector<std::unique_ptr<Browser>> crowd;
    for (int k = 0; k < 7; ++k) crowd.push_back(std::make_unique<Browser>(web, "", false));
    int full = 0;
    for (auto& b : crowd) {
        ASSERT_TRUE(
            b->waitFor([](const Json& m) { return m["t"] == "state" && m["state"] != "waiting"; }, 10));
        full += b->waitFor(isState("full"), 0);
    }
    EXPECT_EQ(full, 1);
    EXPECT_TRUE(host.waitFor("[观战] 有观众加入，现有8人。", 10));
    crowd.clear();
    host.release();
    ASSERT_TRUE(player.waitFor(isEnd(), 60));
    ASSERT_TRUE(plain.waitFor(isEnd(), 10));
    EXPECT_EQ(host.finish(30), 0);
    std::vector<std::string> lines = publicLines(host.out());
    for (Browser* b : {&plain, &guessing}) {
        EXPECT_EQ(publicLines(b->texts(true)), lines);
        for (const Json& m : b->messages()) {
            EXPECT_NE(m["t"], "ask");
            if (m["t"] != "view") continue;
            EXPECT_EQ(m["view"]["self"], -1);
            EXPECT_FALSE(m["view"].contains("hand"));
            EXPECT_FALSE(m["view"].contains("role"));
        }
    }
    EXPECT_EQ(plain.texts(false), "");
    EXPECT_EQ(guessing.texts(false), "[网络] 座位码不对。\n");
}

// Bad input of every kind closes its own connection and nothing else: the game goes on to its end for
// the player, and the page is still served.
TEST(WebSeats, BadInputClosesOnlyItsConnection) {
    std::uint16_t port = freePort(), web = static_cast<std::uint16_t>(port + 1);
    Host host(hostArgs(port, 2, "normal", 74), true);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    Browser player(web, "", true, 9);
    ASSERT_TRUE(player.waitFor(isState("lobby"), 10));
    ASSERT_TRUE(host.waitFor("选择武将", 10));
    bool closed = false;
    // HTTP: malformed, unknown path, oversized header, a method that is not GET.
    exchange(web, "GARBAGE\r\n\r\n", closed);
    EXPECT_TRUE(closed);
    std::string got = exchange(web, "GET /nope HTTP/1.1\r\nHost: x\r\n\r\n", closed);
    EXPECT_EQ(got.rfind("HTTP/1.1 404", 0), 0u) << got;
    EXPECT_TRUE(closed);
    exchange(web, "GET / HTTP/1.1\r\nX: " + std::string(20000, 'a') + "\r\n\r\n", closed);
    EXPECT_TRUE(closed);
    got = exchange(web, "POST / HTTP/1.1\r\nHost: x\r\n\r\n", closed);
    EXPECT_EQ(got.rfind("HTTP/1.1 405", 0), 0u) << got;
    exchange(web, "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc", closed);
    EXPECT_TRUE(closed);
    got = exchange(web, "GET /record HTTP/1.1\r\nHost: x\r\n\r\n", closed);
    EXPECT_EQ(got.rfind("HTTP/1.1 404", 0), 0u) << got;
    // WebSocket: too large, binary, not UTF-8, not JSON, JSON that is no message, a second hello, an
    // answer from a spectator, a flood of codes.
    const std::vector<std::pair<std::string, bool>> bad = {
        {std::string(MAX_BROWSER_MESSAGE + 1, ' '), false},
        {"{\"t\":\"hello\"}", true},
        {"{\"t\":\"code\",\"code\":\"\xff\xfe\"}", false},
        {"not json", false},
        {"[1,2,3]", false},
        {"{\"t\":\"answer\",\"id\":1,\"value\":{}}", false},
        {"{\"t\":\"hello\",\"code\":\"\"}", false},
        {"{\"t\":\"answer\",\"id\":1,\"value\":1}", false}};
    for (const auto& [text, binary] : bad) {
        Browser b(web, "", false);
        ASSERT_TRUE(b.waitFor(isState("watching"), 10));
        b.send(text, binary);
        EXPECT_TRUE(b.waitClosed(10)) << text.substr(0, 40);
    }
    Browser flood(web, "", false);
    ASSERT_TRUE(flood.waitFor(isState("watching"), 10));
    for (int k = 0; k < 100; ++k) flood.send("{\"t\":\"code\",\"code\":\"AAAAAA\"}");
    EXPECT_TRUE(flood.waitClosed(10));
    // Many connections at once: those past the limit are closed as they come.
    std::vector<SocketHandle> many;
    std::uint32_t address = 0;
    parseIpv4("127.0.0.1", address);
    for (int k = 0; k < MAX_WEB_CONNECTIONS + 20; ++k) {
        int error = 0;
        many.push_back(connectTcp(address, web, error));
    }
    sleepMilliseconds(300);
    int cut = 0;
    char byte = 0;
    for (SocketHandle s : many) cut += waitReadable(s, 0) && receiveSome(s, &byte, 1) <= 0;
    EXPECT_GE(cut, 20);
    for (SocketHandle s : many) closeSocket(s);
    // A spectator that never reads, behind a tiny receive buffer.
    int slow = socket(AF_INET, SOCK_STREAM, 0);
    int tiny = 1024;
    setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(web);
    at.sin_addr.s_addr = address;
    ASSERT_EQ(connect(slow, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    std::string hello = "{\"t\":\"hello\",\"code\":\"\"}";
    std::string frame =
        "\x81" + std::string(1, static_cast<char>(0x80 | hello.size())) + std::string(4, '\0') + hello;
    sendSocketText(static_cast<SocketHandle>(slow),
                   "GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n" +
                       frame);
    sleepMilliseconds(300);
    host.release();
    ASSERT_TRUE(player.waitFor(isEnd(), 60));
    EXPECT_EQ(host.finish(30), 0);
    close(slow);
    EXPECT_NE(host.out().find("================ 对局结束 ================"), std::string::npos);
}

// A browser that reads nothing is let go once a megabyte waits for it: a spectator frees its place, and
// a seat's next question ends at once instead of waiting on it. A browser that reads is kept.
TEST(WebSeats, BrowserThatNeverReadsIsLetGo) {
    LanHub hub;
    WebTable table(hub);
    table.lobby(0, 1);
    BrowserMessage hello;
    hello.type = BrowserMessage::Hello;
    int player = table.connect();
    ASSERT_EQ(table.receive(player, hello), WebTable::Received::Taken);
    table.seat(player, 0, "开局\n", "code");
    table.openDoor();
    int reader = table.connect(), idle = table.connect();
    table.receive(reader, hello);
    table.receive(idle, hello);
    std::vector<std::string> got;
    ASSERT_FALSE(table.take(reader, got));
    ASSERT_TRUE(table.present(idle));

    std::string line(1000, 'x');
    line += '\n';
    int lines = 0;
    for (; lines < 2000 && table.present(idle); ++lines) {
        table.showAll(line);
        got.clear();
        ASSERT_FALSE(table.take(reader, got));
        ASSERT_EQ(got.size(), 1u);
    }
    EXPECT_GT(static_cast<std::size_t>(lines) * line.size(), MAX_BROWSER_BACKLOG / 2);
    // Asserted: with either still present, the question below would wait for ever.
    ASSERT_FALSE(table.present(idle));
    ASSERT_FALSE(table.present(player));
    EXPECT_TRUE(table.present(reader));
    got.clear();
    EXPECT_TRUE(table.take(idle, got));
    EXPECT_TRUE(got.empty());

    std::string answer;
    EXPECT_EQ(table.ask(0, Prompt{PromptKind::YesNo, 0, 0}, answer), Answer::Dropped);
    EXPECT_FALSE(table.holds(0));

    // The idle spectator's place is free again once its connection ends: eight more fit beside the reader
    // only if it is.
    table.disconnect(idle);
    int placed = 0;
    for (int k = 0; k < 7; ++k) placed += hub.takeSpectatorPlace();
    EXPECT_EQ(placed, 7);
    EXPECT_FALSE(hub.takeSpectatorPlace());
}

// What a browser at the web table has been sent since last asked.
std::vector<Json> sent(WebTable& table, int id) {
    std::vector<std::string> raw;
    table.take(id, raw);
    std::vector<Json> out;
    for (const std::string& r : raw) out.push_back(Json::parse(r));
    return out;
}

const Json* first(const std::vector<Json>& ms, const char* type) {
    for (const Json& m : ms)
        if (m["t"] == type) return &m;
    return nullptr;
}

// A spectator who arrives mid-game gets the public log so far, once and bounded, cut at a line; the end
// tells each seat whether it won and a spectator nothing of the kind; every browser, one that arrives
// after the end too, is sent the host's record byte for byte.
TEST(WebSeats, LateSpectatorsLogAndTheEndsRecord) {
    const std::string record = "/tmp/kvr_web_end_record_" + std::to_string(getpid());
    std::string kept = "kavrin-record 1\nseed 7\nanswers\nanswer 1 number 0 5 3\nend 汉军获胜！\n";
    {
        std::ofstream out(record, std::ios::binary);
        out << kept;
    }
    LanHub hub;
    WebTable table(hub);
    table.recordAt(record);
    table.lobby(0, 2);
    BrowserMessage hello;
    hello.type = BrowserMessage::Hello;
    int han = table.connect(), chu = table.connect();
    table.receive(han, hello);
    table.receive(chu, hello);
    table.seat(han, 0, "开局\n", "code0");
    table.seat(chu, 1, "开局\n", "code1");
    table.openDoor();
    Options opt;
    opt.seed = 5;
    opt.autoPlay = true;
    Game game(Normal3v3, opt, nullptr);
    game.setup();
    table.refresh([&game](int p, SeatView& v) {
        v = p < 0 ? game.publicView() : game.viewFor(p);
        return true;
    });

    // Far more than the bound, in lines that each name their number.
    for (int k = 0; k < 4000; ++k) table.showAll("第" + std::to_string(k) + "行：汉军出牌。\n");
    int late = table.connect();
    table.receive(late, hello);
    std::vector<Json> got = sent(table, late);
    const Json* log = first(got, "log");
    ASSERT_NE(log, nullptr);
    std::string text = log->at("text");
    EXPECT_LE(text.size(), MAX_PUBLIC_LOG);
    EXPECT_GT(text.size(), MAX_PUBLIC_LOG / 4);
    EXPECT_EQ(text.rfind("第3999行：汉军出牌。\n"),
              text.size() - std::string("第3999行：汉军出牌。\n").size());
    EXPECT_EQ(text.find("第"), 0u);
    EXPECT_FALSE(Json::parse(logMessage(text)).is_discarded());
    table.showAll("第4000行\n");
    EXPECT_EQ(first(sent(table, late), "log"), nullptr);

    table.farewell("\n[对局结束] 汉军获胜！\n");
    for (int id : {han, chu, late}) {
        got = sent(table, id);
        const Json* end = first(got, "end");
        ASSERT_NE(end, nullptr);
        EXPECT_EQ((*end)["record"], true);
        if (id == late) {
            EXPECT_TRUE((*end)["won"].is_null());
        } else {
            EXPECT_EQ((*end)["won"], id == han);
        }
        const Json* sent = first(got, "record");
        ASSERT_NE(sent, nullptr);
        EXPECT_EQ(sent->at("text").get<std::string>(), kept);
    }
    int after = table.connect();
    table.receive(after, hello);
    got = sent(table, after);
    ASSERT_NE(first(got, "record"), nullptr);
    ASSERT_NE(first(got, "log"), nullptr);
    unlink(record.c_str());

    // No record kept: the end says so and nothing follows it.
    LanHub otherHub;
    WebTable none(otherHub);
    int only = none.connect();
    none.receive(only, hello);
    none.farewell("\n[对局结束] 楚军获胜！\n");
    got = sent(none, only);
    ASSERT_NE(first(got, "end"), nullptr);
    EXPECT_EQ((*first(got, "end"))["record"], false);
    EXPECT_EQ(first(got, "record"), nullptr);
}

// Only the host's own page opens the game's WebSocket: a foreign or null Origin, a foreign Host, the
// wrong scheme or port are refused; no Origin at all is no browser and may come in.
TEST(WebGuard, OnlyTheHostsOwnPageMayUpgrade) {
    const std::vector<std::string> names{"localhost", "127.0.0.1", "192.168.1.10", "kavrin-box"};
    for (auto [host, origin] : std::vector<std::pair<const char*, const char*>>{
             {"127.0.0.1:9528", "http://127.0.0.1:9528"},
             {"localhost:9528", "http://localhost:9528"},
             {"192.168.1.10:9528", "http://192.168.1.10:9528"},
             {"KAVRIN-BOX:9528", "http://kavrin-box:9528"},
             {"127.0.0.1", "http://localhost:9528"}})
        EXPECT_TRUE(upgradeAllowed(host, true, origin, names, 9528)) << host << " " << origin;
    EXPECT_TRUE(upgradeAllowed("127.0.0.1:9528", false, "", names, 9528));
    for (const char* origin : {"null", "", "http://evil.example", "http://evil.example:9528", "https://127.0.0.1:9528",
                               "http://127.0.0.1:9529", "http://127.0.0.1", "http://127.0.0.1:9528/x",
                               "http://me@127.0.0.1:9528", "ws://127.0.0.1:9528", "http://127.0.0.1.evil.example:9528",
                               "http://[::1]:9528"})
        EXPECT_FALSE(upgradeAllowed("127.0.0.1:9528", true, origin, names, 9528)) << origin;
    for (const char* host : {"evil.example:9528", "evil.example", "127.0.0.1:80", "", "[::1]:9528", "127.0.0.1:x",
                             "127.0.0.1:9528 "})
        EXPECT_FALSE(upgradeAllowed(host, false, "", names, 9528)) << host;
    EXPECT_TRUE(originAllowed("http://localhost", names, 80));

    auto policy = [](const std::string& host) {
        for (const auto& [name, value] : pageHeaders(host))
            if (name == "Content-Security-Policy") return value;
        return std::string();
    };
    EXPECT_NE(policy("127.0.0.1:9528").find("connect-src 'self' ws://127.0.0.1:9528;"), std::string::npos);
    EXPECT_NE(policy("").find("connect-src 'self';"), std::string::npos);
    EXPECT_NE(policy("").find("frame-ancestors 'none'"), std::string::npos);
    EXPECT_EQ(policy("").find("ws: "), std::string::npos);
}

// An upgrade request to the page's port, with the Host and (when not null) Origin given.
std::string upgrade(std::uint16_t port, const std::string& host, const char* origin, bool& closed) {
    std::string request = "GET /ws HTTP/1.1\r\nHost: " + host +
                          "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";
    if (origin) request += std::string("Origin: ") + origin + "\r\n";
    return exchange(port, request + "\r\n", closed, 2);
}

// A stranger's page is refused with 403 and nothing else, in the lobby and during the game alike; the
// page's own origin gets its WebSocket. Every page response carries the headers that keep the page to
// itself, a 405 says what is allowed, and /record is not found until the game is over, record or none.
TEST(WebSeats, ForeignPagesAreRefusedInLobbyAndGame) {
    std::uint16_t port = freePort(), web = static_cast<std::uint16_t>(port + 1);
    Host host(hostArgs(port, 2, "normal", 75), true);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    const std::string own = "127.0.0.1:" + std::to_string(web), ownOrigin = "http://" + own;
    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        bool closed = false;
        for (auto [h, origin] : std::vector<std::pair<std::string, const char*>>{
                 {own, "http://evil.example"}, {own, "null"}, {"evil.example:" + std::to_string(web), nullptr},
                 {"evil.example:" + std::to_string(web), ownOrigin.c_str()}}) {
            std::string got = upgrade(web, h, origin, closed);
            EXPECT_EQ(got.rfind("HTTP/1.1 403", 0), 0u) << got;
            EXPECT_TRUE(closed);
            EXPECT_EQ(got.substr(got.size() - 4), "\r\n\r\n") << got;
            EXPECT_EQ(got.find("Upgrade"), std::string::npos) << got;
        }
        EXPECT_EQ(upgrade(web, own, ownOrigin.c_str(), closed).rfind("HTTP/1.1 101", 0), 0u);
        std::string page = exchange(web, "GET / HTTP/1.1\r\nHost: " + own + "\r\nConnection: close\r\n\r\n", closed);
        EXPECT_EQ(page.rfind("HTTP/1.1 200", 0), 0u);
        for (const std::string& header :
             {"Content-Security-Policy: default-src 'self'; connect-src 'self' ws://" + own + ";",
              std::string("frame-ancestors 'none'"), std::string("X-Content-Type-Options: nosniff"),
              std::string("Referrer-Policy: no-referrer")})
            EXPECT_NE(page.find(header), std::string::npos) << header;
        std::string refused = exchange(web, "DELETE / HTTP/1.1\r\nHost: " + own + "\r\n\r\n", closed);
        EXPECT_EQ(refused.rfind("HTTP/1.1 405", 0), 0u);
        EXPECT_NE(refused.find("Allow: GET, HEAD"), std::string::npos);
        EXPECT_EQ(exchange(web, "GET /record HTTP/1.1\r\nHost: " + own + "\r\n\r\n", closed).rfind("HTTP/1.1 404", 0),
                  0u);
    };
    check("lobby");
    Browser player(web, "", true, 3);
    ASSERT_TRUE(player.waitFor(isState("lobby"), 10));
    ASSERT_TRUE(host.waitFor("选择武将", 10));
    check("game");
    host.release();
    ASSERT_TRUE(player.waitFor(isEnd(), 60));
    EXPECT_EQ(host.finish(30), 0);
}

// /record is the game's record once the game is over, and not before; a host that keeps none has none.
TEST(WebSeats, RecordOnlyOnceTheGameIsOver) {
    const std::string path = "/tmp/kvr_web_record_only_" + std::to_string(getpid());
    std::ofstream(path) << "kavrin-record 1\n";
    for (bool kept : {true, false}) {
        LanHub hub;
        WebHost host(hub, kept ? path : "");
        ASSERT_TRUE(host.start(0));
        bool closed = false;
        auto get = [&] {
            return exchange(host.port(), "GET /record HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", closed);
        };
        EXPECT_EQ(get().rfind("HTTP/1.1 404", 0), 0u);
        host.table().openDoor();
        EXPECT_EQ(get().rfind("HTTP/1.1 404", 0), 0u);
        host.table().farewell("结束\n");
        std::string got = get();
        EXPECT_EQ(got.rfind(kept ? "HTTP/1.1 200" : "HTTP/1.1 404", 0), 0u) << got;
        EXPECT_EQ(got.find("kavrin-record 1") != std::string::npos, kept);
    }
    unlink(path.c_str());
}

// A host that goes right after its game (nobody at its keyboard) still sends each page its end and record
// first: stopping the server at once had lost them whenever the server's thread had not yet written them.
TEST(WebSeats, EndReachesThePagesOfAHostThatGoesAtOnce) {
    const std::string path = "/tmp/kvr_web_goes_" + std::to_string(getpid());
    std::ofstream(path) << "kavrin-record 1\n" << std::string(200000, 'x') << "\n";
    for (int round = 0; round < 5; ++round) {
        LanHub hub;
        auto web = std::make_unique<WebHost>(hub, path);
        ASSERT_TRUE(web->start(0));
        web->table().openDoor();
        Browser page(web->port(), "", false);
        ASSERT_TRUE(page.waitFor([](const Json& m) { return m["t"] == "state"; }, 5));
        web->table().farewell("结束\n");
        web.reset();
        EXPECT_TRUE(page.waitFor([](const Json& m) { return m["t"] == "record"; }, 5));
        EXPECT_TRUE(page.waitFor(isEnd(), 0));
    }
    unlink(path.c_str());
}


bool hasState(const std::vector<Json>& ms, const char* state) {
    return std::any_of(ms.begin(), ms.end(), [state](const Json& m) { return isState(state)(m); });
}

BrowserMessage hello(const std::string& code) {
    return parseBrowserMessage(Json{{"t", "hello"}, {"code", code}}.dump());
}

// A hub with its door open, a web table attached, and the codes of seats 0 and 1.
struct Door {
    LanHub hub;
    WebTable table{hub};
    std::string code0, code1;
    Door() {
        hub.attachWeb(&table);
        code0 = hub.seatPlayer(0, INVALID_NET_SOCKET);
        code1 = hub.seatPlayer(1, INVALID_NET_SOCKET);
        table.openDoor();
    }
    ~Door() { hub.attachWeb(nullptr); }
    int open(const std::string& from, const std::string& code) {
        int id = table.connect(from);
        EXPECT_EQ(table.receive(id, hello(code)), WebTable::Received::Taken);
        return id;
    }
};

// A seat code from a page: in lower case and with blanks it is the same code; typed again by the page
// that waits for that seat it keeps the place; a waiting player is no spectator; a newer page with the
// code replaces the older, which is told; guesses from one address wait a second each, however many
// connections they come over.
TEST(WebDoor, SeatCodesFromPages) {
    Door d;
    std::string typed;
    for (char c : d.code0) typed += std::string(1, static_cast<char>(std::tolower(c))) + " ";
    int watcher = d.open("10.0.0.1", "");
    EXPECT_EQ(d.hub.spectatorCount(), 1);
    d.table.receive(watcher, parseBrowserMessage(Json{{"t", "code"}, {"code", " " + typed}}.dump()));
    d.table.tick();
    std::vector<Json> got = sent(d.table, watcher);
    ASSERT_TRUE(hasState(got, "waiting")) << got.back().dump();
    EXPECT_EQ(d.hub.spectatorCount(), 0);

    // Its own code again: it keeps waiting, and takes the seat.
    sleepMilliseconds(CODE_TRY_MS + 50);
    d.table.receive(watcher, parseBrowserMessage(Json{{"t", "code"}, {"code", d.code0}}.dump()));
    d.table.tick();
    got = sent(d.table, watcher);
    EXPECT_FALSE(hasState(got, "replaced"));
    EXPECT_TRUE(d.table.present(watcher));

    // A newer page from elsewhere takes the seat's place; the older one is told.
    int newer = d.open("10.0.0.2", d.code0);
    EXPECT_TRUE(hasState(sent(d.table, newer), "waiting"));
    EXPECT_TRUE(hasState(sent(d.table, watcher), "replaced"));
    EXPECT_FALSE(d.table.present(watcher));
    EXPECT_TRUE(d.hub.takeReturned(0));
    EXPECT_EQ(d.hub.spectatorCount(), 0);

    // Guesses: a wrong code from 10.0.0.3, then the right one over a new connection from there waits
    // its second; from another address it is tried at once.
    auto badCode = [](const std::vector<Json>& ms) {
        return std::any_of(ms.begin(), ms.end(), [](const Json& m) { return m["t"] == "badcode"; });
    };
    int guesser = d.open("10.0.0.3", "ZZZZZZ");
    EXPECT_TRUE(badCode(sent(d.table, guesser)));
    int again = d.open("10.0.0.3", d.code1);
    d.table.tick();
    EXPECT_FALSE(hasState(sent(d.table, again), "waiting"));
    int elsewhere = d.open("10.0.0.4", "YYYYYY");
    EXPECT_TRUE(badCode(sent(d.table, elsewhere)));
    sleepMilliseconds(CODE_TRY_MS + 50);
    d.table.tick();
    EXPECT_TRUE(hasState(sent(d.table, again), "waiting"));
}

// A seated page's answers: one to an earlier question is never taken for the current one; one the
// console could not have read is refused as the console refuses it and asked again, the page kept; a
// question nobody answers in time ends TimedOut, the seat still the page's, and the late answer is
// ignored.
TEST(WebDoor, AnswersBelongToTheirQuestion) {
    Door d;
    int id = d.table.connect("10.0.0.1");
    std::string line;
    Answer result = Answer::Closed;
    auto answer = [&](long question, const Json& value) {
        return d.table.receive(id, parseBrowserMessage(Json{{"t", "answer"}, {"id", question}, {"value", value}}.dump()));
    };
    auto lastAsk = [&](std::vector<Json>& ms) {
        long q = 0;
        for (const Json& m : ms)
            if (m["t"] == "ask") q = m["id"].get<long>();
        return q;
    };
    d.table.seat(id, 0, "开局\n", d.code0);
    std::thread first([&] { result = d.table.ask(0, Prompt{PromptKind::Number, 1, 3}, line); });
    long q1 = 0;
    for (int k = 0; k < 200 && q1 == 0; ++k, sleepMilliseconds(5)) {
        std::vector<Json> ms = sent(d.table, id);
        q1 = lastAsk(ms);
    }
    ASSERT_GT(q1, 0);
    // Wrong kind, control character, too long: told, asked again, still seated.
    for (const Json& bad : {Json(true), Json("1\x01"), Json(std::string(300, '1')), Json::object()}) {
        EXPECT_EQ(answer(q1, bad), WebTable::Received::Taken) << bad.dump();
        std::vector<Json> ms = sent(d.table, id);
        ASSERT_EQ(ms.size(), 2u);
        EXPECT_EQ(ms[0]["text"], "输入无效。\n");
        EXPECT_EQ(ms[1]["t"], "ask");
        EXPECT_EQ(ms[1]["id"], q1);
    }
    EXPECT_EQ(answer(q1, 2), WebTable::Received::Answered);
    first.join();
    EXPECT_EQ(result, Answer::Line);
    EXPECT_EQ(line, "2");

    std::thread second([&] { result = d.table.ask(0, Prompt{PromptKind::Number, 1, 3}, line, 1); });
    long q2 = 0;
    for (int k = 0; k < 200 && q2 <= q1; ++k, sleepMilliseconds(5)) {
        std::vector<Json> ms = sent(d.table, id);
        q2 = std::max(q2, lastAsk(ms));
    }
    ASSERT_GT(q2, q1);
    EXPECT_EQ(answer(q1, 3), WebTable::Received::Taken);
    second.join();
    EXPECT_EQ(result, Answer::TimedOut);
    EXPECT_TRUE(d.table.holds(0));
    std::vector<Json> expired = sent(d.table, id);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired[0], (Json{{"t", "expired"}, {"id", q2}}));
    EXPECT_EQ(answer(q2, 3), WebTable::Received::Taken);

    std::thread third([&] { result = d.table.ask(0, Prompt{PromptKind::Number, 1, 3}, line, 5); });
    long q3 = 0;
    for (int k = 0; k < 200 && q3 <= q2; ++k, sleepMilliseconds(5)) {
        std::vector<Json> ms = sent(d.table, id);
        q3 = std::max(q3, lastAsk(ms));
    }
    EXPECT_EQ(answer(q2, 1), WebTable::Received::Taken);
    EXPECT_EQ(answer(q3, 3), WebTable::Received::Answered);
    third.join();
    EXPECT_EQ(result, Answer::Line);
    EXPECT_EQ(line, "3");
}

// A page opened after the end is told the result and takes no spectator's place, nor gives one back.
TEST(WebDoor, PageAfterTheEndHoldsNoPlace) {
    Door d;
    int watcher = d.open("10.0.0.1", "");
    EXPECT_EQ(d.hub.spectatorCount(), 1);
    d.table.farewell("结束\n");
    int late = d.open("10.0.0.2", "");
    std::vector<Json> got = sent(d.table, late);
    EXPECT_TRUE(std::any_of(got.begin(), got.end(), [](const Json& m) { return m["t"] == "end"; }));
    d.table.disconnect(late);
    EXPECT_EQ(d.hub.spectatorCount(), 1);
    d.table.disconnect(watcher);
    EXPECT_EQ(d.hub.spectatorCount(), 0);
}

// Idle connections, from one address or many, cannot keep a player out: the page that brings its seat
// code gets its seat back. A WebSocket that sends no hello is let go.
TEST(WebDoor, IdleConnectionsCannotLockPlayersOut) {
    LanHub hub;
    WebHost web(hub, "");
    ASSERT_TRUE(web.start(0));
    std::string code = hub.seatPlayer(2, INVALID_NET_SOCKET);
    web.table().openDoor();
    std::uint32_t address = 0;
    parseIpv4("127.0.0.1", address);
    std::vector<SocketHandle> idle;
    for (int k = 0; k < MAX_WEB_CONNECTIONS + 10; ++k) {
        int error = 0;
        idle.push_back(connectTcp(address, web.port(), error));
    }
    sleepMilliseconds(200);
    Browser back(web.port(), code, false);
    EXPECT_TRUE(back.waitFor(isState("waiting"), 5));
    for (SocketHandle s : idle) closeSocket(s);

    bool closed = false;
    std::string request = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    std::string got = exchange(web.port(), request, closed, HELLO_WAIT_MS / 1000 + 3);
    EXPECT_EQ(got.rfind("HTTP/1.1 101", 0), 0u);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(back.waitFor(isState("waiting"), 0));
    EXPECT_FALSE(back.closed());
}

} // namespace
} // namespace kvr

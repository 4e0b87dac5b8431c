// The hub, the line protocol and remote seats over real loopback sockets, inside one process.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "net/hub.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

std::uint32_t loopbackAddress() {
    std::uint32_t a = 0;
    parseIpv4("127.0.0.1", a);
    return a;
}

// A hub listening on a free port with `n` clients connected; `far` holds the clients' ends.
struct Lobby {
    Console con;
    LanHub hub;
    std::vector<SocketHandle> far;
    std::vector<std::string> greetings;

    explicit Lobby(int n) {
        EXPECT_TRUE(hub.start(0));
        for (int k = 0; k < n; ++k) {
            int error = 0;
            far.push_back(connectTcp(loopbackAddress(), hub.port(), error));
        }
        hub.waitForClients(n, 5);
        EXPECT_EQ(static_cast<int>(hub.clients().size()), n);
        for (int k = 0; k < n; ++k) greetings.push_back(received(k, "等待开局...\n"));
    }
    ~Lobby() {
        for (SocketHandle s : far) closeSocket(s);
    }
    void hangUp(int k) {
        closeSocket(far[static_cast<std::size_t>(k)]);
        far[static_cast<std::size_t>(k)] = INVALID_NET_SOCKET;
    }
    // What client k has been sent, read until `needle` shows up or `ms` milliseconds pass.
    std::string received(int k, const std::string& needle, int ms = 1000) {
        SocketHandle s = far[static_cast<std::size_t>(k)];
        setSocketBlocking(s, false);
        std::string got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        char buf[4096];
        while (got.find(needle) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            long n = receiveSome(s, buf, sizeof buf);
            if (n > 0)
                got.append(buf, static_cast<std::size_t>(n));
            else
                sleepMilliseconds(5);
        }
        return got;
    }
};

// Lines arrive however the bytes were cut: "\r" dropped, long lines cut at 4096 bytes without
// spilling into the next line, NUL bytes kept, a closed connection reported.
TEST(LineProtocol, ReceiveLine) {
    Lobby lobby(2);
    EXPECT_EQ(lobby.greetings[0], "[大厅] 已连接主机，你将占据第2个真人座位。等待开局...\n");
    EXPECT_EQ(lobby.greetings[1], "[大厅] 已连接主机，你将占据第3个真人座位。等待开局...\n");
    EXPECT_NE(lobby.con.out().find("客户端已加入，目前远程玩家：2人。\n"), std::string::npos);

    SocketHandle s = lobby.hub.clients()[0];
    std::string flood(3 << 20, 'x');
    std::string nul("a\0b", 3);
    sendSocketText(lobby.far[0], "  3\r\n" + std::string(5000, 'y') + "\n4\n" + flood);
    sendSocketText(lobby.far[0], "\n\r\r5\r\r\n" + nul + "\nlast");
    std::string line;
    ASSERT_TRUE(lobby.hub.receiveLine(s, line));
    EXPECT_EQ(line, "  3");
    ASSERT_TRUE(lobby.hub.receiveLine(s, line));
    EXPECT_EQ(line, std::string(MAX_LINE_BYTES, 'y'));
    ASSERT_TRUE(lobby.hub.receiveLine(s, line));
    EXPECT_EQ(line, "4");
    ASSERT_TRUE(lobby.hub.receiveLine(s, line));
    EXPECT_EQ(line.size(), MAX_LINE_BYTES);
    ASSERT_TRUE(lobby.hub.receiveLine(s, line));
    EXPECT_EQ(line, "5");
    ASSERT_TRUE(lobby.hub.receiveLine(s, line));
    EXPECT_EQ(line, nul);
    lobby.hangUp(0);
    EXPECT_FALSE(lobby.hub.receiveLine(s, line));
    EXPECT_FALSE(lobby.hub.receiveLine(s, line));
    EXPECT_FALSE(lobby.hub.sendTo(s, "gone"));
}

// The client typed ahead and the game ended: closing over input nobody read must not reset the
// connection, or the client loses the end of the game that it has not read yet.
TEST(LineProtocol, EndReachesClientThatTypedAhead) {
    Console con("");
    // The client's own hold on the socket library: on Windows the hub's clean-up would close its socket.
    ASSERT_TRUE(startNetworking());
    auto hub = std::make_unique<LanHub>();
    ASSERT_TRUE(hub->start(0));
    int error = 0;
    SocketHandle far = connectTcp(loopbackAddress(), hub->port(), error);
    hub->waitForClients(1, 5);
    ASSERT_EQ(hub->clients().size(), 1u);
    sendSocketText(far, "e\n0\n1\n");
    sleepMilliseconds(100);
    // A slow reader, so that much of the text still waits at the host when the hub goes.
    std::string got;
    std::thread reader([&got, far] {
        char buf[4096];
        for (long n; (n = receiveSome(far, buf, sizeof buf)) > 0; sleepMilliseconds(1))
            got.append(buf, static_cast<std::size_t>(n));
    });
    hub->broadcast(std::string(2 << 20, 'z') + "[对局结束]\n");
    hub.reset();
    reader.join();
    closeSocket(far);
    stopNetworking();
    EXPECT_NE(got.find("[对局结束]\n"), std::string::npos);
}

// Nobody awaited, or no time: the wait returns at once without accepting.
TEST(LineProtocol, WaitWithoutWanting) {
    Lobby lobby(0);
    int error = 0;
    SocketHandle late = connectTcp(loopbackAddress(), lobby.hub.port(), error);
    auto start = std::chrono::steady_clock::now();
    lobby.hub.waitForClients(0, 5);
    lobby.hub.waitForClients(1, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(lobby.hub.clients().empty());
    closeSocket(late);
}

// Private text reaches only the addressed seat; public text reaches every client and the host
// console exactly once; a local or computer seat's text stays on the host console.
TEST(Routing, PrivateAndPublicText) {
    Lobby lobby(2);
    {
        Table t(Normal3v3, 1, &lobby.hub);
        t.remote(1, lobby.hub.clients()[0]);
        t.remote(2, lobby.hub.clients()[1]);
        t.g().activateSeat(1);
        t.g().show("只给二号7\n");
        t.g().log("公开一行", RED);
        t.g().activateSeat(0);
        t.g().show("主机屏幕\n");
        std::string one = lobby.received(0, "公开一行"), two = lobby.received(1, "公开一行");
        EXPECT_EQ(one, "只给二号7\n  -> 公开一行\n");
        EXPECT_EQ(two, "  -> 公开一行\n");
        EXPECT_EQ(occurrences(t.out(), "公开一行"), 1u);
        EXPECT_EQ(occurrences(t.out(), "只给二号"), 0u);
        EXPECT_NE(t.out().find("主机屏幕\n"), std::string::npos);
    }
}

// A wrong choice tells what the seat holds (another slash, a dodge, a nullification): its refusal reaches
// that seat alone, in the bytes a log line has, and neither the other client nor the host console sees it.
TEST(Routing, RefusalsReachOnlyTheSeatThatErred) {
    struct Case {
        const char* refusal;
        const char* typed;
        std::function<void(Table&)> act;
    };
    const Case cases[] = {
        {"杀的次数已达上限。", "",
         [](Table& t) { t.give(1, Slash), t.seat(1).slashCount = 1, t.g().useCard(1, 0, Optional<int>()); }},
        {"该牌只能响应时使用。", "", [](Table& t) { t.give(1, Dodge), t.g().useCard(1, 0, Optional<int>()); }},
        {"该牌不能当闪。", "1\n", [](Table& t) { t.give(1, Peach), t.g().respondDodge(1, "杀"); }},
        {"该牌不能当杀。", "1\n", [](Table& t) { t.give(1, Peach), t.g().respondSlash(1, "决斗", 1); }},
        {"没有合法目标。", "",
         [](Table& t) { t.g().chooseTarget(1, "选", [](int) { return false; }, true); }},
        {"本回合主动技能已使用。", "", [](Table& t) { t.seat(1).activeUsed = true, t.g().activeSkill(1); }},
        {"该武将技能为被动触发，无需主动发动。", "", [](Table& t) { t.hero(1, Varnok), t.g().activeSkill(1); }},
    };
    for (const Case& c : cases) {
        Lobby lobby(2);
        Table t(Identity, 1, &lobby.hub);
        t.remote(1, lobby.hub.clients()[0]);
        t.remote(2, lobby.hub.clients()[1]);
        sendSocketText(lobby.far[0], c.typed);
        t.g().activateSeat(1);
        c.act(t);
        t.g().log("公开一行", "");
        std::string line = std::string("  -> ") + c.refusal + "\n";
        EXPECT_NE(lobby.received(0, "公开一行").find(line + "  -> 公开一行\n"), std::string::npos) << c.refusal;
        EXPECT_EQ(lobby.received(1, "公开一行"), "  -> 公开一行\n") << c.refusal;
        EXPECT_EQ(t.out().find(c.refusal), std::string::npos) << c.refusal;
        EXPECT_TRUE(t.seat(1).human) << c.refusal;
    }
}

// A typed marker is only text: the seat stays remote and the range prompt goes to it.
TEST(Routing, TypedMarkerIsNotADisconnect) {
    Lobby lobby(1);
    Table t(Normal3v3, 1, &lobby.hub);
    t.remote(1, lobby.hub.clients()[0]);
    sendSocketText(lobby.far[0], "__NET_DISCONNECTED__\n 2 \n");
    t.g().activateSeat(1);
    EXPECT_EQ(t.g().number(1, 3, 1), 2);
    EXPECT_TRUE(t.seat(1).human);
    EXPECT_EQ(lobby.received(0, "："), "请输入1~3：");
}

// A client that drops while its seat is asked: the question takes its fallback, the seat goes to
// the computer with one public notice, and every card is still in one place.
TEST(Routing, DropMidPrompt) {
    struct Case {
        const char* prompt;
        std::function<void(Table&)> arrange, ask;
        std::function<bool(Table&)> after;
    };
    const Case cases[] = {
        {"play phase", [](Table& t) { t.give(1, Crossbow); }, [](Table& t) { t.g().humanPlay(1); },
         [](Table& t) { return static_cast<bool>(t.seat(1).weapon); }},
        {"dodge", [](Table& t) { t.give(1, Dodge); },
         [](Table& t) { EXPECT_FALSE(t.g().respondDodge(1, "万箭齐发")); },
         [](Table& t) { return t.seat(1).hand.size() == 1; }},
        {"rescue", [](Table& t) { t.give(1, Peach), t.hp(2, 0); },
         [](Table& t) { EXPECT_FALSE(t.g().offerSave(1, 2)); },
         [](Table& t) { return t.seat(2).hp == 0 && t.seat(1).hand.size() == 1; }},
        {"nullification", [](Table& t) { t.give(1, Nullification); },
         [](Table& t) { t.g().nullified(0, 3, "过河拆桥"); }, [](Table&) { return true; }},
        {"target", [](Table&) {},
         [](Table& t) {
             EXPECT_EQ(t.g().chooseTarget(
                           1, "选择目标", [](int) { return true; }, true),
                       -1);
         },
         [](Table&) { return true; }},
        {"discard", [](Table& t) { t.give(1, Slash), t.give(1, Dodge), t.give(1, Peach), t.hp(1, 1); },
         [](Table& t) { t.g().discardPhase(1); }, [](Table& t) { return t.seat(1).hand.size() == 1; }},
        {"harvest", [](Table&) {}, [](Table& t) { t.g().harvest(0); },
         [](Table& t) { return t.g().pool().empty() && t.seat(1).hand.size() == 1; }},
        {"guanxing", [](Table& t) { t.hero(1, Velisar); },
         [](Table& t) { t.g().activateSeat(1), t.g().startSkills(1); },
         [](Table& t) { return t.g().deck().size() == 166; }},
    };
    for (const Case& c : cases) {
        Lobby lobby(1);
        Table t(Normal3v3, 1, &lobby.hub);
        t.remote(1, lobby.hub.clients()[0]);
        c.arrange(t);
        lobby.hangUp(0);
        c.ask(t);
        EXPECT_FALSE(t.seat(1).human) << c.prompt;
        EXPECT_EQ(occurrences(t.out(), "[网络] " + t.seat(1).hero.name + "断线，已由AI接管。\n"), 1u)
            << c.prompt;
        EXPECT_TRUE(c.after(t)) << c.prompt;
        EXPECT_EQ(t.conservationFault(), "") << c.prompt;
    }
}

// A player who drops during the play phase's pause or at the first prompt of a two-step choice (铁索's
// targets, 离间's seats, the converted slash's card and target): nothing more of that seat reaches the
// host's console, the host's keyboard is not read for it, and the computer plays on.
TEST(Routing, DropLeavesNothingOfTheSeatOnTheHost) {
    struct Case {
        const char* what;
        HeroId hero;
        CardType card;
        Suit suit;
        const char* typed;
        const char* never;
    };
    const Case cases[] = {
        {"pause", Rhoskan, Slash, Spade, "i\n", "牌序号=使用"},
        {"iron chain", Rhoskan, IronChain, Spade, "1\n", "铁索第二个目标"},
        {"lijian", Serafae, Duel, Spade, "s\n", "离间第二名男性"},
        {"converted slash", Keldar, Peach, Heart, "v\n", "转化杀目标"},
    };
    for (const Case& c : cases) {
        Lobby lobby(1);
        Table t(Normal3v3, 1, &lobby.hub);
        t.remote(1, lobby.hub.clients()[0]);
        t.hero(1, c.hero);
        t.give(1, c.card, c.suit);
        t.g().opt().autoPlay = t.g().opt().fast = false;
        t.answers("3\n");
        // The client's end reaches the host after what it typed (a close with unread text would reset the
        // connection and lose the typing).
        sendSocketText(lobby.far[0], c.typed);
        shutdownSending(lobby.far[0]);
        t.g().humanPlay(1);
        EXPECT_FALSE(t.seat(1).human) << c.what;
        EXPECT_EQ(t.out().find(c.never), std::string::npos) << c.what << ":\n" << t.out();
        EXPECT_EQ(t.out().find("手牌："), std::string::npos) << c.what;
        t.g().activateSeat(-1);
        EXPECT_EQ(t.g().line(), "3") << c.what << ": the host's keyboard was read";
        EXPECT_EQ(t.conservationFault(), "") << c.what;
    }
}

// Four dotted decimal parts and nothing else.
// Seat codes come from no seed anybody could know: two hosts give different codes to the same seat,
// and one host gives each seat its own code, which stays the seat's while it is played.
TEST(SeatCodes, UnguessableAndDistinct) {
    LanHub first, second;
    std::set<std::string> codes;
    for (int p = 0; p < 6; ++p) {
        std::string code = first.seatPlayer(p, INVALID_NET_SOCKET);
        EXPECT_EQ(code.size(), 6u);
        EXPECT_EQ(code.find_first_not_of("ABCDEFGHJKLMNPQRSTUVWXYZ23456789"), std::string::npos) << code;
        EXPECT_EQ(first.seatPlayer(p, INVALID_NET_SOCKET), code);
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), 6u);
    EXPECT_NE(second.seatPlayer(0, INVALID_NET_SOCKET), first.seatPlayer(0, INVALID_NET_SOCKET));
}

// The game has begun with seat 1 played from afar; a new connection comes to the door. Seat 1's code.
std::string visitTheDoor(Lobby& lobby) {
    lobby.hub.openDoor();
    std::string code = lobby.hub.seatPlayer(1, INVALID_NET_SOCKET);
    int error = 0;
    lobby.far.push_back(connectTcp(loopbackAddress(), lobby.hub.port(), error));
    return code;
}

// Seat 1 is back with the visitor's connection, and its next line is the seat's answer.
void expectSeatBack(Lobby& lobby) {
    ASSERT_TRUE(lobby.hub.takeReturned(1));
    sendSocketText(lobby.far[0], "8\n");
    std::string answer;
    ASSERT_TRUE(lobby.hub.receiveLine(lobby.hub.seatSocket(1), answer));
    EXPECT_EQ(answer, "8");
}

// A guesser gets one code a second: three wrong codes sent at once hold the right one back for three
// seconds more. The right one then seats the connection; what it typed before it had the seat back is
// no answer.
TEST(SeatCodes, GuessesAreSlow) {
    Lobby lobby(0);
    std::string code = visitTheDoor(lobby);
    EXPECT_NE(lobby.received(0, "对局已经开始").find("对局已经开始"), std::string::npos);
    sendSocketText(lobby.far[0], "AAAAAA\nBBBBBB\nCCCCCC\n" + code + "\n7\n");
    std::string seen = lobby.received(0, "座位码正确", 2500);
    EXPECT_NE(seen.find("[网络] 座位码不对。"), std::string::npos);
    EXPECT_EQ(seen.find("座位码正确"), std::string::npos);
    EXPECT_FALSE(lobby.hub.takeReturned(1));
    seen = lobby.received(0, "座位码正确", 6000);
    ASSERT_NE(seen.find("[网络] 座位码正确"), std::string::npos);
    expectSeatBack(lobby);
}

// Each seat's code is a draw of its own from the secure source: a test's source sees one draw per code,
// and the code is made of that draw alone, so no code tells anything of another.
TEST(SeatCodes, OneDrawEach) {
    std::vector<std::vector<unsigned char>> draws;
    LanHub hub([&draws](unsigned char* bytes, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) bytes[k] = static_cast<unsigned char>(draws.size() * 7 + k * 33);
        draws.emplace_back(bytes, bytes + n);
    });
    for (int p = 0; p < 6; ++p) {
        std::string code = hub.seatPlayer(p, INVALID_NET_SOCKET);
        ASSERT_EQ(draws.size(), static_cast<std::size_t>(p + 1));
        ASSERT_EQ(code.size(), draws.back().size());
        const char* letters = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
        for (std::size_t k = 0; k < code.size(); ++k) EXPECT_EQ(code[k], letters[draws.back()[k] % 32]);
    }
    hub.seatPlayer(3, INVALID_NET_SOCKET);
    EXPECT_EQ(draws.size(), 6u);
}

// A returning player who types its code again while it waits keeps its place, and so does one who types
// it in lower case with blanks; the seat comes back to that connection.
TEST(SeatCodes, RetypingKeepsTheSeat) {
    Lobby lobby(0);
    std::string code = visitTheDoor(lobby);
    std::string typed;
    for (char c : code) typed += std::string(" ") + static_cast<char>(std::tolower(c));
    sendSocketText(lobby.far[0], typed + "\n");
    ASSERT_NE(lobby.received(0, "座位码正确", 2500).find("座位码正确"), std::string::npos);
    sendSocketText(lobby.far[0], code + "\n");
    std::string seen = lobby.received(0, "另一个连接", 1500);
    EXPECT_EQ(seen.find("另一个连接"), std::string::npos) << seen;
    expectSeatBack(lobby);
}

// A line client that does not answer in time: the question ends TimedOut and the connection stays; what
// it typed for that question before the next one is dropped, and the next answer is its own.
TEST(LineProtocol, AnswerTime) {
    Lobby lobby(1);
    SocketHandle s = lobby.hub.clients()[0];
    std::string line;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lobby.hub.receiveAnswer(s, line, 1), Answer::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    sendSocketText(lobby.far[0], "late\nlate too\nhal");
    sleepMilliseconds(100);
    std::thread typist([&lobby] {
        sleepMilliseconds(200);
        sendSocketText(lobby.far[0], "f\n5\n");
    });
    EXPECT_EQ(lobby.hub.receiveAnswer(s, line, 2), Answer::Line);
    EXPECT_EQ(line, "half");
    EXPECT_EQ(lobby.hub.receiveAnswer(s, line, 2), Answer::Line);
    EXPECT_EQ(line, "5");
    typist.join();
    lobby.hangUp(0);
    EXPECT_EQ(lobby.hub.receiveAnswer(s, line, 2), Answer::Dropped);
}

TEST(Client, AddressCheck) {
    std::uint32_t a = 0;
    for (const char* good : {"127.0.0.1", "192.168.1.10", "0.0.0.0", "255.255.255.255"})
        EXPECT_TRUE(parseIpv4(good, a)) << good;
    for (const char* bad : {"", "192.168.1", "192.168.1.1.1", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4",
                            "localhost", "1..2.3", "1.2.3.", "0x7f.0.0.1", "1.2.3.4444", "-1.2.3.4"})
        EXPECT_FALSE(parseIpv4(bad, a)) << bad;
}

} // namespace
} // namespace kvr

// A game is a value: a copy shares nothing with its original, plays on silently, and a copy of the start
// plays the same game.
#include <gtest/gtest.h>

#include <sstream>

#include "ai/players.hpp"
#include "net/hub.hpp"
#include "tests/support/checked_game.hpp"
#include "tests/support/printed_game.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

// The options of an automatic game of the given seed, with a short search for the strong player.
Options copyOptions(std::uint32_t seed, AiKind ai = ClassicAi) {
    Options opt = checkedOptions(seed, false);
    opt.ai = ai;
    opt.searchPlays = 40;
    return opt;
}

// Plays a copy to its end with the classic player on every seat, the table checked after each action.
std::string playCopyChecked(const Game& original) {
    Game copy(original);
    copy.simulateWith(classicPlayer());
    GameProbe c{copy};
    std::string fault;
    c.actionHook() = [&] {
        if (fault.empty()) fault = tableFault(c);
    };
    copy.playOn(-1);
    if (fault.empty() && !copy.ended()) fault = "the copy did not end";
    if (fault.empty() && !validResult(c.mode(), copy.result())) fault = "result \"" + copy.result() + "\"";
    return fault;
}

// Copies taken at decision points all through seeded games of both modes, classic and strong, and played
// to their end: the original's transcript is the one it prints alone, and both tables stay whole.
TEST(GameCopy, CopiesPlayedOnLeaveTheOriginalAlone) {
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        Mode mode = seed % 2 == 0 ? Normal3v3 : Identity;
        AiKind ai = seed % 3 == 0 ? StrongAi : ClassicAi;
        PrintedGame alone(mode, copyOptions(seed, ai));
        alone.game.setup();
        alone.game.run();

        PrintedGame copied(mode, copyOptions(seed, ai));
        std::string fault;
        int copies = 0;
        copied.g.actionHook() = [&] {
            if (fault.empty()) fault = tableFault(copied.g);
            if (copied.game.counts().actions % 7 != 0 || !fault.empty()) return;
            ++copies;
            fault = playCopyChecked(copied.game);
        };
        copied.game.setup();
        copied.game.run();
        ASSERT_EQ(fault, "") << "seed " << seed;
        EXPECT_GT(copies, 3) << "seed " << seed;
        ASSERT_EQ(copied.out.str(), alone.out.str()) << "seed " << seed;
    }
}

// A copy of the start position with the same seats plays the same game to the same end; so does one
// halted every few actions and resumed.
TEST(GameCopy, CopyOfTheStartPlaysTheSameGame) {
    for (std::uint32_t seed = 100; seed < 160; ++seed) {
        Mode mode = seed % 2 == 0 ? Normal3v3 : Identity;
        PrintedGame original(mode, copyOptions(seed));
        original.game.setup();
        Game copy(original.game);
        Game stepped(original.game);
        original.game.run();
        copy.playOn(-1);
        while (!stepped.ended()) stepped.playOn(1 + seed % 5);
        for (const Game* g : {&copy, &stepped}) {
            EXPECT_EQ(g->result(), original.game.result()) << "seed " << seed;
            EXPECT_EQ(g->roundsPlayed(), original.game.roundsPlayed()) << "seed " << seed;
            EXPECT_EQ(g->counts().turns, original.game.counts().turns) << "seed " << seed;
        }
    }
}

// A silent copy of a hosted game with a local and a remote human writes no byte to the console or the
// socket and reads no answer; its seats are all computer seats, the original's stay human.
TEST(GameCopy, SilentCopyTouchesNoConsoleNorSocket) {
    LanHub hub;
    ASSERT_TRUE(hub.start(0));
    std::uint32_t loopback = 0;
    parseIpv4("127.0.0.1", loopback);
    int error = 0;
    SocketHandle far = connectTcp(loopback, hub.port(), error);
    hub.waitForClients(1, 5);
    ASSERT_EQ(hub.clients().size(), 1u);
    {
        Table t(Identity, 3, &hub);
        t.human(0);
        t.remote(2, hub.clients()[0]);
        t.answers("1\n2\n3\n");
        for (CardType c : {Slash, Dodge, Peach, Duel}) t.give(0, c), t.give(2, c), t.give(4, c);
        t.clearOut();
        Game copy(t.game());
        copy.simulateWith(strongPlayer());
        copy.playOn(-1);
        EXPECT_TRUE(copy.ended());
        EXPECT_EQ(t.out(), "");
        EXPECT_EQ(t.g().line(), "1");
        EXPECT_TRUE(t.seat(0).human && t.seat(2).human);
        for (const Player& x : copy.players()) EXPECT_FALSE(x.human);
    }
    setSocketBlocking(far, false);
    char buf[256];
    long got = receiveSome(far, buf, sizeof buf);
    std::string greeting = got > 0 ? std::string(buf, static_cast<std::size_t>(got)) : "";
    EXPECT_EQ(greeting.find("\n"), greeting.size() - 1) << "only the lobby greeting: " << greeting;
    closeSocket(far);
}

} // namespace
} // namespace kvr

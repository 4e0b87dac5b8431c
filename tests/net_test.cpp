// Hosted games between real kavrin processes over 127.0.0.1: a host, kavrin clients whose players
// type seeded random answers, plain socket clients, clients that vanish or send garbage.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "console/keyboard.hpp"
#include "net/socket.hpp"
#include "tests/support/hosting.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

// A typist whose reader has gone must not kill the test with SIGPIPE.
const bool NETWORKING = startNetworking();

std::uint16_t freePort() {
    EXPECT_TRUE(NETWORKING);
    SocketHandle s = listenTcp(0);
    std::uint16_t port = boundPort(s);
    closeSocket(s);
    return port;
}

// Types seeded random answers into a pipe, a line at a time, for as long as the reader wants them.
// A paced typist answers only when the program's output (in `screen`) stops at a prompt, as a
// player does; otherwise it types ahead as fast as the pipe takes it.
class Typist {
  public:
    Typist(int fd, std::uint32_t seed, std::string screen)
        : fd_(fd), screen_(std::move(screen)), thread_([this, seed] { type(seed); }) {}
    ~Typist() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }

  private:
    void type(std::uint32_t seed) {
        static const char* const words[] = {"1", "2", "3",   "e", "0", "y", "n",
                                            "s", "v", "1 2", "",  "h", "4", "e"};
        std::mt19937 rng(seed);
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
        std::string pending;
        std::size_t answeredAt = 0, lastSize = 0;
        auto lastChange = std::chrono::steady_clock::now();
        while (!stop_) {
            if (pending.empty() && !screen_.empty()) {
                std::string shown = slurp(screen_);
                auto now = std::chrono::steady_clock::now();
                if (shown.size() != lastSize) lastSize = shown.size(), lastChange = now;
                auto endsWith = [&shown](const std::string& tail) {
                    return shown.size() >= tail.size() &&
                           shown.compare(shown.size() - tail.size(), tail.size(), tail) == 0;
                };
                // A prompt, the end of the connection (the client leaves at the next line), or new text
                // that has stood still for a moment (some questions end in a hand listing).
                bool asked = shown.size() > answeredAt &&
                             (endsWith("> ") || endsWith("：") || endsWith("与主机的连接已结束。\n") ||
                              now - lastChange > std::chrono::milliseconds(40));
                if (!asked) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    continue;
                }
                answeredAt = shown.size();
            }
            if (pending.empty()) pending = std::string(words[rng() % 14]) + "\n";
            ssize_t n = write(fd_, pending.data(), pending.size());
            if (n > 0) {
                pending.erase(0, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, 20);
            } else {
                return;
            }
        }
    }
    int fd_;
    std::string screen_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A kavrin process with its output in files; its input is typed by a Typist or is empty.
class Kavrin {
  public:
    // Waiting: the keyboard stays open and nobody types, so the program waits at its first question.
    enum Input { Nothing, TypedAhead, Paced, Waiting };
    Kavrin(const std::vector<std::string>& args, Input input, std::uint32_t seed = 1) {
        bool typed = input != Nothing;
        static int serial = 0;
        out_ = "/tmp/kvr_net_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
        int in[2];
        EXPECT_EQ(pipe(in), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(typed ? in[0] : open("/dev/null", O_RDONLY), 0);
            dup2(open((out_ + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            dup2(open((out_ + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            close(in[0]), close(in[1]);
            std::vector<char*> argv{const_cast<char*>(KAVRIN_BIN)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(KAVRIN_BIN, argv.data());
            _exit(127);
        }
        close(in[0]);
        if (input == Waiting)
            idleInput_ = in[1];
        else if (typed)
            typist_ = std::make_unique<Typist>(in[1], seed, input == Paced ? out_ + ".out" : "");
        else
            close(in[1]);
    }
    ~Kavrin() {
        if (pid_ > 0) finish(0);
        unlink((out_ + ".out").c_str()), unlink((out_ + ".err").c_str());
    }
    std::string out() const { return slurp(out_ + ".out"); }
    std::string err() const { return slurp(out_ + ".err"); }
    // Waits until the output shows `text` after `after`; false after `seconds`.
    bool waitFor(const std::string& text, int seconds, const std::string& after = "") {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string o = out();
            std::size_t from = after.empty() ? 0 : o.find(after);
            if (from != std::string::npos && o.find(text, from) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void kill() { ::kill(pid_, SIGKILL); }
    // For a Waiting program: types `text` now, or hands the keyboard to a paced typist.
    void type(const std::string& text) {
        EXPECT_EQ(write(idleInput_, text.data(), text.size()), ssize_t(text.size()));
    }
    void startTyping(std::uint32_t seed) {
        typist_ = std::make_unique<Typist>(idleInput_, seed, out_ + ".out");
        idleInput_ = -1;
    }
    // The exit code, or -1 when the process had to be killed after `seconds`.
    int finish(int seconds) {
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        typist_.reset();
        if (idleInput_ >= 0) close(idleInput_);
        idleInput_ = -1;
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int idleInput_ = -1;
    std::string out_;
    std::unique_ptr<Typist> typist_;
};

std::vector<std::string> joinArgs(std::uint16_t port) {
    return {"--join", "127.0.0.1", "--port", std::to_string(port)};
}

std::string recordPath(const char* name) {
    return "/tmp/kvr_net_record_" + std::to_string(getpid()) + "_" + name + ".txt";
}

// The host's console without the door's notices, which the record does not keep. A notice has a line of its
// own: when it interrupted an open prompt, a newline comes before it and the prompt is drawn again after it.
std::string withoutNotices(std::string out) {
    for (const char* head : {"[观战] 有观众", "号座位的座位码在新连接上输入"}) {
        for (std::size_t at; (at = out.find(head)) != std::string::npos;) {
            at = out.rfind('\n', at) + 1;
            std::size_t end = out.find('\n', at) + 1;
            if (at >= 2) {
                std::size_t open = out.rfind('\n', at - 2) + 1;
                std::string prompt = out.substr(open, at - 1 - open);
                if (!prompt.empty() && out.compare(end, prompt.size(), prompt) == 0) {
                    out.erase(at - 1, end + prompt.size() - (at - 1));
                    continue;
                }
            }
            out.erase(at, end - at);
        }
    }
    return out;
}

// A host's record replays, with no network and nobody typing, to what the host's console showed from the
// game's first text on: the lobby's lines come before the game, and the door's notices are left out.
void expectReplayOf(const std::string& record, std::string hostOut) {
    hostOut = withoutNotices(hostOut);
    Kavrin replay({"--replay", record}, Kavrin::Nothing);
    EXPECT_EQ(replay.finish(30), 0);
    EXPECT_EQ(replay.err(), "");
    std::string shown = replay.out();
    ASSERT_GE(hostOut.size(), shown.size());
    std::string lobby = hostOut.substr(0, hostOut.size() - shown.size());
    EXPECT_TRUE(hostOut.compare(lobby.size(), shown.size(), shown) == 0);
    EXPECT_NE(shown.find("================ 对局结束 ================"), std::string::npos);
    EXPECT_NE(lobby.find("本机IPv4地址"), std::string::npos);
    EXPECT_EQ(lobby.find("  -> "), std::string::npos);
    unlink(record.c_str());
}

// A host with `remotes` kavrin clients plays a whole game; each client sees its own start message,
// every public line exactly as the host console does, the end and the closed connection.
void playHosted(int remotes, const char* mode, int seed, bool strict) {
    std::uint16_t port = freePort();
    Kavrin host(hostArgs(port, remotes + 1, mode, seed), Kavrin::TypedAhead, 100 + seed);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    std::vector<std::unique_ptr<Kavrin>> clients;
    for (int k = 0; k < remotes; ++k) {
        clients.push_back(std::make_unique<Kavrin>(joinArgs(port), Kavrin::Paced, 200 + seed * 10 + k));
        ASSERT_TRUE(clients.back()->waitFor("等待开局", 10));
    }
    EXPECT_EQ(host.finish(60), 0);
    std::string h = host.out(), result = resultOf(h);
    EXPECT_NE(result, "?");
    EXPECT_EQ(occurrences(h, "[开局]"), 0u);
    std::set<std::string> seats;
    for (int k = 0; k < remotes; ++k) {
        Kavrin& c = *clients[static_cast<std::size_t>(k)];
        EXPECT_EQ(c.finish(30), 0) << "client " << k;
        std::string o = c.out();
        EXPECT_NE(o.find("你将占据第" + std::to_string(k + 2) + "个真人座位"), std::string::npos);
        EXPECT_EQ(occurrences(o, "\n[开局] 你是"), 1u);
        std::size_t at = o.find("[开局] 你是");
        if (at != std::string::npos) seats.insert(o.substr(at, o.find("号位", at) - at));
        EXPECT_NE(o.find("\n[对局结束] " + result + "\n"), std::string::npos) << "client " << k;
        EXPECT_EQ(o.size() - o.rfind("\n与主机的连接已结束。\n"),
                  std::string("\n与主机的连接已结束。\n").size());
        if (strict) {
            EXPECT_EQ(publicLines(o), publicLines(h)) << "client " << k;
        }
    }
    EXPECT_EQ(static_cast<int>(seats.size()), remotes);
    EXPECT_EQ(occurrences(h, "[大厅] 已开局；空余座位均由AI补充。\n"), 1u);
}

TEST(HostedGame, TwoRemotePlayersBothModes) {
    playHosted(2, "normal", 3, true);
    playHosted(2, "identity", 4, true);
}

TEST(HostedGame, ZeroToFiveRemotePlayers) {
    for (int n : {0, 1, 3, 4, 5}) playHosted(n, n % 2 ? "identity" : "normal", n, n == 5);
}

// A player whose program dies at a prompt: the seat goes to the computer, everyone is told once. The host's
// record of the game replays to the host's bytes.
TEST(HostedGame, KilledClientIsReplaced) {
    std::uint16_t port = freePort();
    const std::string record = recordPath("killed");
    std::vector<std::string> args = hostArgs(port, 3, "normal", 11, record);
    Kavrin host(args, Kavrin::Nothing);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    Kavrin dies(joinArgs(port), Kavrin::Paced, 5), stays(joinArgs(port), Kavrin::Paced, 6);
    ASSERT_TRUE(dies.waitFor("> ", 20, "[开局]"));
    dies.kill();
    EXPECT_EQ(host.finish(60), 0);
    EXPECT_EQ(stays.finish(30), 0);
    std::string seat = dies.out().substr(dies.out().find("武将【") + 9);
    std::string notice = "[网络] " + seat.substr(0, seat.find("】")) + "断线，已由AI接管。\n";
    EXPECT_EQ(occurrences(host.out(), notice), 1u) << notice;
    EXPECT_EQ(occurrences(stays.out(), notice), 1u);
    EXPECT_NE(stays.out().find("[对局结束] "), std::string::npos);
    std::string kept = slurp(record);
    EXPECT_NE(kept.find("\ndrop "), std::string::npos);
    EXPECT_NE(kept.find("\nremote-players 2\n"), std::string::npos);
    expectReplayOf(record, host.out());
}

// A few lines of socket code can play: the protocol is plain lines. This one answers every prompt
// with something hostile now and then: a 3 MB line, NUL and binary bytes, bare carriage returns.
void rawClient(std::uint16_t port, bool hostile, bool hangUpAtOnce, std::string& seen) {
    std::uint32_t address = 0;
    parseIpv4("127.0.0.1", address);
    int error = 0;
    SocketHandle s = connectTcp(address, port, error);
    ASSERT_TRUE(socketValid(s));
    if (hangUpAtOnce) {
        closeSocket(s);
        return;
    }
    const std::string nasty[] = {std::string(3 << 20, '7') + "\n", std::string("\0\x01\xff\xfe", 4) + "\n",
                                 "\r\r\r1\n", "2\r\r\n", "\x1b[2J\n"};
    std::mt19937 rng(9);
    char buf[4096];
    bool fresh = false;
    for (;;) {
        // The host has asked once new text stands still for a moment.
        pollfd p{static_cast<int>(s), POLLIN, 0};
        if (poll(&p, 1, 30) == 0) {
            if (!fresh) continue;
            fresh = false;
            std::string answer = std::to_string(rng() % 4) + "\n";
            if (hostile && rng() % 3 == 0) answer = nasty[rng() % 5];
            if (rng() % 5 == 0) answer = "e\n";
            sendSocketText(s, answer);
            continue;
        }
        long n = receiveSome(s, buf, sizeof buf);
        if (n <= 0) break;
        seen.append(buf, static_cast<std::size_t>(n));
        fresh = true;
    }
    closeSocket(s);
}

TEST(HostedGame, PlainSocketClientsAndGarbage) {
    for (int variant = 0; variant < 3; ++variant) {
        std::uint16_t port = freePort();
        Kavrin host(hostArgs(port, 2, variant == 1 ? "identity" : "normal", 20 + variant), Kavrin::Nothing);
        ASSERT_TRUE(host.waitFor("目标真人", 10));
        std::string seen;
        std::thread client(rawClient, port, variant == 1, variant == 2, std::ref(seen));
        EXPECT_EQ(host.finish(60), 0) << variant;
        client.join();
        EXPECT_NE(host.out().find("================ 对局结束 ================"), std::string::npos);
        if (variant < 2) {
            EXPECT_NE(seen.find("\n[对局结束] "), std::string::npos) << variant;
        }
    }
}

// A plain line-protocol client on its own thread: keeps all it is sent and, when `answering`, answers
// with a seeded choice whenever the host's text stands still for a moment, as rawClient does.
class LineClient {
  public:
    explicit LineClient(std::uint16_t port, bool answering = false, std::uint32_t seed = 1)
        : answering_(answering), rng_(seed) {
        std::uint32_t address = 0;
        parseIpv4("127.0.0.1", address);
        int error = 0;
        socket_ = connectTcp(address, port, error);
        EXPECT_TRUE(socketValid(socket_));
        thread_ = std::thread([this] { run(); });
    }
    ~LineClient() { hangUp(); }
    void send(const std::string& line) { sendSocketText(socket_, line); }
    // Closes the connection at once; what it was sent is kept.
    void hangUp() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        closeSocket(socket_);
        socket_ = INVALID_NET_SOCKET;
    }
    std::string seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    bool ended() const { return ended_; }
    // Waits until `text` has come (false after `seconds`).
    bool waitFor(const std::string& text, int seconds) {
        for (int k = 0; k < seconds * 100; ++k) {
            if (seen().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

  private:
    void run() {
        char buf[4096];
        bool fresh = false;
        while (!stop_) {
            pollfd p{static_cast<int>(socket_), POLLIN, 0};
            if (poll(&p, 1, 30) == 0) {
                if (answering_ && fresh) sendSocketText(socket_, std::string(ANSWERS[rng_() % 5]) + "\n");
                fresh = false;
                continue;
            }
            long n = receiveSome(socket_, buf, sizeof buf);
            if (n <= 0) break;
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.append(buf, static_cast<std::size_t>(n));
            fresh = true;
        }
        ended_ = true;
    }
    static constexpr const char* ANSWERS[] = {"e", "0", "1", "2", "n"};

    SocketHandle socket_ = INVALID_NET_SOCKET;
    bool answering_;
    std::mt19937 rng_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    std::mutex mutex_;
    std::string seen_;
    std::thread thread_;
};

std::string seatCode(const std::string& seen) {
    const std::string head = "[开局] 座位码：";
    std::size_t at = seen.find(head);
    return at == std::string::npos ? "" : seen.substr(at + head.size(), 6);
}

// A player drops and comes back with its seat code (typed in lower case, with blanks) and plays on to
// the end; a spectator who pressed Enter and one who gave a wrong code see every public line from the
// moment they joined, in order and once, and nothing private. In both modes. The host holds the game at
// its first prompt until the player has come back, so the seat is still in play.
TEST(HostedGame, SeatTakenBackAndSpectators) {
    for (const char* mode : {"normal", "identity"}) {
        SCOPED_TRACE(mode);
        std::uint16_t port = freePort();
        const std::string record = recordPath(mode);
        std::vector<std::string> args = hostArgs(port, 3, mode, 31, record);
        Kavrin host(args, Kavrin::Waiting);
        ASSERT_TRUE(host.waitFor("目标真人", 10));
        Kavrin stays(joinArgs(port), Kavrin::Paced, 132);
        ASSERT_TRUE(stays.waitFor("等待开局", 10));
        auto drops = std::make_unique<LineClient>(port);
        ASSERT_TRUE(drops->waitFor("等待开局", 10));
        host.type(std::string(mode) == "identity" ? "2\n1\n" : "1\n");
        ASSERT_TRUE(drops->waitFor("。断线后重新加入本局", 20));
        std::string code = seatCode(drops->seen());
        ASSERT_EQ(code.size(), 6u);
        drops->hangUp();

        LineClient watches(port), wrong(port), back(port, true, 134);
        for (LineClient* c : {&watches, &wrong, &back}) ASSERT_TRUE(c->waitFor("对局已经开始", 15));
        watches.send("\n");
        wrong.send("ZZZZZZ\n");
        std::string lower = code;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        back.send("  " + lower + " \n");
        ASSERT_TRUE(back.waitFor("[网络] 座位码正确", 15));
        ASSERT_TRUE(watches.waitFor("你正在观战", 15) && wrong.waitFor("你正在观战", 15));
        host.startTyping(131);
        EXPECT_EQ(host.finish(90), 0);
        EXPECT_EQ(stays.finish(30), 0);
        std::string h = host.out();
        EXPECT_EQ(occurrences(h, "重新连线，已取回座位。\n"), 1u);
        EXPECT_TRUE(back.waitFor("[对局结束]", 10));
        std::string b = back.seen();
        for (const char* part : {"重新连线，已取回座位。\n", "手牌：", "> ", "\n[对局结束] "})
            EXPECT_NE(b.find(part), std::string::npos) << part;

        EXPECT_NE(wrong.seen().find("[网络] 座位码不对。\n[观战] 你正在观战"), std::string::npos);
        std::vector<std::string> all = publicLines(h);
        for (LineClient* c : {&watches, &wrong}) {
            EXPECT_TRUE(c->waitFor("[对局结束]", 10));
            std::string o = c->seen();
            for (const char* part : {"手牌：", "牌序号", "[开局]", "座位码："})
                EXPECT_EQ(o.find(part), std::string::npos) << part;
            for (const char* r : REFUSALS) EXPECT_EQ(o.find(r), std::string::npos) << r;
            std::vector<std::string> seen = publicLines(o.substr(o.find("[观战] 你正在观战")));
            ASSERT_FALSE(seen.empty());
            ASSERT_LE(seen.size(), all.size());
            EXPECT_TRUE(std::equal(seen.begin(), seen.end(), all.end() - static_cast<long>(seen.size())));
        }
        EXPECT_EQ(occurrences(h, "[观战] 有观众加入"), 2u);
        EXPECT_EQ(occurrences(slurp(record), "\nback "), 1u);
        expectReplayOf(record, h);
    }
}

// A player who leaves the lobby gives its place up: the next joiner takes it, and no seat is dealt to the
// connection that ended. One who leaves while the host still chooses its hero is dealt no seat either:
// the seat is the computer's from the start, the host's console says so, and the record replays it.
TEST(HostedGame, LobbyLeaversHoldNoSeat) {
    std::uint16_t port = freePort();
    const std::string record = recordPath("lobby");
    std::vector<std::string> args = hostArgs(port, 4, "identity", 51, record);
    Kavrin host(args, Kavrin::Waiting);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    LineClient first(port, true, 1);
    ASSERT_TRUE(first.waitFor("第2个真人座位", 5));
    auto leaves = std::make_unique<LineClient>(port);
    ASSERT_TRUE(leaves->waitFor("第3个真人座位", 5));
    leaves->hangUp();
    ASSERT_TRUE(host.waitFor("客户端已离开，目前远程玩家：1人。\n", 5));
    LineClient third(port, true, 3);
    ASSERT_TRUE(third.waitFor("第3个真人座位", 5));
    auto late = std::make_unique<LineClient>(port);
    ASSERT_TRUE(late->waitFor("第4个真人座位", 5));
    ASSERT_TRUE(host.waitFor("选择", 10));
    late->hangUp();
    sleepMilliseconds(200);
    host.startTyping(52);
    EXPECT_EQ(host.finish(90), 0);
    std::string h = host.out();
    EXPECT_EQ(occurrences(h, "客户端已离开"), 1u);
    EXPECT_EQ(occurrences(h, "在开局前已离开，"), 1u);
    EXPECT_NE(h.find("远程玩家3在开局前已离开，"), std::string::npos);
    for (LineClient* c : {&first, &third}) {
        EXPECT_TRUE(c->waitFor("[对局结束]", 10));
        EXPECT_EQ(occurrences(c->seen(), "[开局] 你是"), 1u);
    }
    EXPECT_EQ(occurrences(slurp(record), "\ngone "), 1u);
    EXPECT_NE(slurp(record).find("\nremote-players 3\n"), std::string::npos);
    expectReplayOf(record, h);
}

// A seat's code given from a new connection while its player is still connected (a phone that changed
// networks): the new connection takes the seat, and the old one is told why it ends before it ends. The
// host's console says so, and the game, which had not yet noticed the old connection go, shows the drop
// before the return.
TEST(HostedGame, SeatCodeFromAnotherConnection) {
    std::uint16_t port = freePort();
    Kavrin host(hostArgs(port, 2, "normal", 61), Kavrin::Waiting);
    ASSERT_TRUE(host.waitFor("目标真人", 10));
    LineClient old(port);
    ASSERT_TRUE(old.waitFor("等待开局", 10));
    host.type("1\n");
    ASSERT_TRUE(old.waitFor("。断线后重新加入本局", 20));
    std::string code = seatCode(old.seen());
    LineClient fresh(port, true, 62);
    ASSERT_TRUE(fresh.waitFor("对局已经开始", 5));
    fresh.send(code + "\n");
    ASSERT_TRUE(fresh.waitFor("[网络] 座位码正确", 5));
    ASSERT_TRUE(old.waitFor("[网络] 另一个连接用同一座位码取回了座位，本连接将关闭。\n", 5));
    for (int k = 0; k < 300 && !old.ended(); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(old.ended());
    ASSERT_TRUE(host.waitFor("号座位的座位码在新连接上输入：座位交给新连接，原连接已断开。\n", 5));
    host.startTyping(63);
    EXPECT_EQ(host.finish(90), 0);
    std::string h = host.out();
    std::size_t dropped = h.find("断线，已由AI接管。\n"), back = h.find("重新连线，已取回座位。\n");
    ASSERT_NE(back, std::string::npos);
    EXPECT_LT(dropped, back);
    EXPECT_TRUE(fresh.waitFor("[对局结束]", 10));
    EXPECT_NE(fresh.seen().find("手牌："), std::string::npos);
}

// A connection after the lobby has closed is greeted at once, even while the game waits for the host's
// keyboard; one that says nothing watches after a few seconds; past eight spectators the room is full.
TEST(HostedGame, LateJoinersAreNeverLeftWaiting) {
    std::uint16_t port = freePort();
    Kavrin host(hostArgs(port, 1, "normal", 41), Kavrin::Waiting);
    ASSERT_TRUE(host.waitFor("选择武将", 10));
    LineClient silent(port);
    EXPECT_TRUE(silent.waitFor("对局已经开始", 2));
    EXPECT_TRUE(silent.waitFor("[观战] 你正在观战", 10));
    // The host's prompt was open: the notice has a line of its own, and the prompt comes again after it.
    EXPECT_TRUE(host.waitFor("> \n[观战] 有观众加入，现有1人。\n> ", 5));
    std::vector<std::unique_ptr<LineClient>> crowd;
    for (int k = 0; k < 7; ++k) {
        crowd.push_back(std::make_unique<LineClient>(port));
        ASSERT_TRUE(crowd.back()->waitFor("对局已经开始", 5));
        crowd.back()->send("\n");
        ASSERT_TRUE(crowd.back()->waitFor("你正在观战", 5));
    }
    LineClient ninth(port);
    ASSERT_TRUE(ninth.waitFor("对局已经开始", 5));
    ninth.send("\n");
    EXPECT_TRUE(ninth.waitFor("[观战] 观战席已满（最多8人），连接将关闭。\n", 5));
    for (int k = 0; k < 300 && !ninth.ended(); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(ninth.ended());
    crowd.front()->hangUp();
    EXPECT_TRUE(host.waitFor("[观战] 有观众离开，现有7人。", 5));
    host.kill();
}

// A spectator that floods the door and then leaves frees its place as soon as it has gone, not once the
// door has read every byte it sent.
TEST(HostedGame, FloodingSpectatorLeavesAtOnce) {
    std::uint16_t port = freePort();
    Kavrin host(hostArgs(port, 1, "normal", 71), Kavrin::Waiting);
    ASSERT_TRUE(host.waitFor("选择武将", 10));
    std::uint32_t address = 0;
    parseIpv4("127.0.0.1", address);
    int error = 0;
    SocketHandle s = connectTcp(address, port, error);
    ASSERT_TRUE(socketValid(s));
    sendSocketText(s, "\n");
    ASSERT_TRUE(host.waitFor("[观战] 有观众加入，现有1人。", 5));
    setSocketBlocking(s, false);
    std::string flood(1 << 16, 'x');
    long sent = 0;
    for (long n; sent < (8L << 20) && (n = sendSome(s, flood.data(), flood.size())) > 0;) sent += n;
    EXPECT_GT(sent, 1L << 20);
    char buf[4096];
    while (receiveSome(s, buf, sizeof buf) > 0) {
    }
    shutdownSending(s);
    EXPECT_TRUE(host.waitFor("[观战] 有观众离开，现有0人。", 5)) << sent << " bytes sent";
    closeSocket(s);
    host.kill();
}

// The client's refusals: each has its message and exit code, and nothing is sent.
TEST(Client, ErrorPaths) {
    struct Case {
        std::vector<std::string> args;
        std::string out, err;
    };
    std::uint16_t closed = freePort();
    const Case cases[] = {
        {{"--join", "192.168.1"}, "", "IPv4 地址格式无效，请输入类似 192.168.1.10 的地址。\n"},
        {{"--join", "localhost"}, "", "IPv4 地址格式无效，请输入类似 192.168.1.10 的地址。\n"},
        {{"--join", "127.0.0.1", "--port", std::to_string(closed)},
         "正在连接 127.0.0.1:" + std::to_string(closed) + "，请稍候...\n",
         "连接失败，网络错误码：" + std::to_string(ECONNREFUSED) +
             "。\n请确认主机已建立大厅、两边端口相同、IPv4正确，并允许防火墙专用网络访问。\n"},
    };
    for (const Case& c : cases) {
        Kavrin k(c.args, Kavrin::Nothing);
        EXPECT_EQ(k.finish(20), 1) << c.err;
        EXPECT_EQ(k.out(), c.out);
        EXPECT_EQ(k.err(), c.err);
    }
    SocketHandle taken = listenTcp(0);
    Kavrin second(hostArgs(boundPort(taken), 2, "normal", 1), Kavrin::Nothing);
    EXPECT_EQ(second.finish(20), 1);
    EXPECT_EQ(second.err(), "无法监听端口，可能已被占用。\n");
    closeSocket(taken);
}

// A kavrin process whose standard input is a pipe the test writes to and keeps open until it closes it.
struct PipedKavrin {
    pid_t pid = -1;
    int in = -1;
    std::string out = "/tmp/kvr_piped_" + std::to_string(getpid());

    PipedKavrin(const std::vector<std::string>& args, const std::string& typedAhead) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(write(fds[1], typedAhead.data(), typedAhead.size()),
                  static_cast<ssize_t>(typedAhead.size()));
        pid = fork();
        if (pid == 0) {
            dup2(fds[0], 0);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            close(fds[0]), close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(KAVRIN_BIN)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(KAVRIN_BIN, argv.data());
            _exit(127);
        }
        close(fds[0]);
        in = fds[1];
    }
    ~PipedKavrin() {
        if (pid > 0) ::kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        if (in >= 0) close(in);
        unlink(out.c_str());
    }
    // Waits up to `ms` until the output shows `text` `times` times.
    bool shows(const std::string& text, std::size_t times, int ms) {
        for (int waited = 0; waited < ms; waited += 10) {
            if (occurrences(slurp(out), text) >= times) return true;
            sleepMilliseconds(10);
        }
        return false;
    }
    // The exit code once the process has ended by itself within `ms`, else -1 (it is left running).
    int exitWithin(int ms) {
        int status = 0;
        for (int waited = 0; waited < ms; waited += 5) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
};

// The host's end of one client: accepts it, then reads what it sends until `lines` lines or its end.
struct TestHost {
    SocketHandle listener = listenTcp(0), client = INVALID_NET_SOCKET;
    ~TestHost() { closeSocket(client), closeSocket(listener); }
    bool accept(int seconds) {
        for (int waited = 0; waited < seconds * 1000 && !socketValid(client); waited += 10) {
            client = acceptClient(listener);
            if (!socketValid(client)) sleepMilliseconds(10);
        }
        return socketValid(client);
    }
    // What arrived within `ms`; `ended` tells whether the client closed its end.
    std::string receive(std::size_t lines, int ms, bool& ended) {
        std::string got;
        ended = false;
        char buf[256];
        for (int waited = 0; waited < ms && occurrences(got, "\n") < lines; waited += 10) {
            pollfd p{static_cast<int>(client), POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            long n = receiveSome(client, buf, sizeof buf);
            if (n <= 0) {
                ended = true;
                break;
            }
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
};

// The connection ends while the player's input is still open: the client says so and ends by itself
// at once, without waiting for one more line. Lines typed ahead before it started, which an earlier
// read has already taken into std::cin's buffer, are sent all the same. When the player's input ends
// instead, the client hangs up at once.
TEST(Client, EndsWithTheConnection) {
    const std::string ended = "\n与主机的连接已结束。\n";
    {
        TestHost host;
        PipedKavrin client(joinArgs(boundPort(host.listener)), "first\n");
        ASSERT_TRUE(host.accept(10));
        bool closed = false;
        EXPECT_EQ(host.receive(1, 5000, closed), "first\n");
        sendSocketText(host.client, "请输入：");
        closeSocket(host.client);
        host.client = INVALID_NET_SOCKET;
        EXPECT_EQ(client.exitWithin(3000), 0);
        std::string out = slurp(client.out);
        EXPECT_EQ(out.substr(out.find("请输入：")), "请输入：" + ended);
    }
    {
        // From the menu: one Enter after the end leads back to it.
        TestHost host;
        std::string port = std::to_string(boundPort(host.listener));
        PipedKavrin client({}, "5\n127.0.0.1\n" + port + "\nfirst\nsecond\n");
        ASSERT_TRUE(host.accept(10));
        bool closed = false;
        EXPECT_EQ(host.receive(2, 5000, closed), "first\nsecond\n");
        closeSocket(host.client);
        host.client = INVALID_NET_SOCKET;
        EXPECT_TRUE(client.shows(ended + "已离开联机房间。\n按 Enter 返回主菜单...", 1, 3000));
        ASSERT_EQ(write(client.in, "\n", 1), 1);
        EXPECT_TRUE(client.shows("5.加入局域网", 2, 3000)) << slurp(client.out);
        ASSERT_EQ(write(client.in, "0\n", 2), 2);
        EXPECT_EQ(client.exitWithin(3000), 0);
    }
    {
        TestHost host;
        PipedKavrin client(joinArgs(boundPort(host.listener)), "");
        ASSERT_TRUE(host.accept(10));
        close(client.in);
        client.in = -1;
        bool closed = false;
        host.receive(1, 2000, closed);
        EXPECT_TRUE(closed);
        EXPECT_EQ(client.exitWithin(2000), 0);
        EXPECT_EQ(slurp(client.out).substr(slurp(client.out).find("Enter。\n")), "Enter。\n" + ended);
    }
}

// The line editing a Windows console gets from the client: the echo must match what is sent, a wide
// or four-byte character is taken back whole, and no control key reaches the screen.
TEST(Client, ConsoleLineEditing) {
    struct Case {
        std::u16string keys;
        std::string line, echo;
    };
    const Case cases[] = {
        {u"ab\bc\r", "ac", "ab\b \bc\n"},
        {u"\b\b1\r", "1", "1\n"},
        {u"中文\b\r", "中", "中文\b\b  \b\b\n"},
        {u"é\U0001F600\b\r", "é", "é\U0001F600\b\b  \b\b\n"},
        {u"x\U0001F600\r", "x\U0001F600", "x\U0001F600\n"},
        {u"\x1b[2J\t\x7f"
         u"2\r",
         "[2J2", "[2J2\n"},
        {std::u16string(1, char16_t(0xdc00)) + u"3" + char16_t(0xd83d) + u"4\r", "34", "34\n"},
        {u"\x1a\r", "\x1a", "^Z\n"},
    };
    for (const Case& c : cases) {
        LineEditor editor;
        std::string echo;
        bool ended = false;
        for (char16_t unit : c.keys) {
            EXPECT_FALSE(ended) << c.line;
            ended = editor.type(unit, echo);
        }
        EXPECT_TRUE(ended) << c.line;
        EXPECT_EQ(editor.take(), c.line);
        EXPECT_EQ(echo, c.echo) << c.line;
        EXPECT_EQ(editor.take(), "");
    }
}

// What a program on the other end of a terminal wrote, read until `needle` has come after `from`.
bool readTerminal(int master, std::string& screen, const std::string& needle, std::size_t from = 0) {
    char buf[4096];
    for (int k = 0; k < 500; ++k) {
        if (screen.find(needle, from) != std::string::npos) return true;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) return false;
        screen.append(buf, static_cast<std::size_t>(n));
    }
    return screen.find(needle, from) != std::string::npos;
}

// On a terminal the client edits the line itself. A line typed before the host's new prompt is drawn again
// after it, so Backspace takes back what was typed and not the prompt; the line sent is what was typed,
// arrow keys put nothing in it, and the terminal is given back as it was.
TEST(Client, TypedLineComesBackAfterHostText) {
    SocketHandle listener = listenTcp(0);
    ASSERT_TRUE(socketValid(listener));
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string name = ptsname(master);
    int slave = open(name.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    std::string port = std::to_string(boundPort(listener));
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int tty = open(name.c_str(), O_RDWR);
        dup2(tty, 0), dup2(tty, 1), dup2(tty, 2);
        execl(KAVRIN_BIN, KAVRIN_BIN, "--join", "127.0.0.1", "--port", port.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    SocketHandle host = INVALID_NET_SOCKET;
    for (int k = 0; k < 500 && !socketValid(host); ++k) {
        host = acceptClient(listener);
        if (!socketValid(host)) sleepMilliseconds(10);
    }
    ASSERT_TRUE(socketValid(host));
    std::string screen;
    ASSERT_TRUE(readTerminal(master, screen, "连接成功"));
    sendSocketText(host, "问题一> ");
    ASSERT_TRUE(readTerminal(master, screen, "问题一> "));
    ASSERT_EQ(write(master, "12\x1b[D", 5), 5);
    ASSERT_TRUE(readTerminal(master, screen, "12", screen.find("问题一> ")));
    sendSocketText(host, "\n新的提示> ");
    ASSERT_TRUE(readTerminal(master, screen, "新的提示> 12"));
    ASSERT_EQ(write(master, "\x7f\r", 2), 2);
    ASSERT_TRUE(readTerminal(master, screen, "新的提示> 12\b \b\r\n")) << screen;
    char got[16] = {};
    ASSERT_TRUE(waitReadable(host, 5000));
    EXPECT_EQ(std::string(got, static_cast<std::size_t>(receiveSome(host, got, sizeof got))), "1\n");
    closeSocket(host);
    EXPECT_TRUE(readTerminal(master, screen, "与主机的连接已结束。"));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
    close(slave), close(master);
    closeSocket(listener);
}

} // namespace
} // namespace kvr

// The host side of LAN play: the listening socket, the players' connections, and the line protocol.
// Host to client is the same UTF-8 text a console would show; client to host is one typed line at a time.
// Once the game has begun the door stays open: a player who dropped comes back with the seat code it
// was given, and anybody else may watch.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "model/table_io.hpp"
#include "net/socket.hpp"

namespace kvr {

class ConsoleIo;

// Longest line kept from a client; the rest of a longer line is dropped up to its newline.
constexpr std::size_t MAX_LINE_BYTES = 4096;
// Spectators at most; more are told the room is full.
constexpr int MAX_SPECTATORS = 8;
// How long a connection made during the game has to give a seat code before it watches.
constexpr int CODE_WAIT_MS = 5000;
// A connection's lines are read as seat codes at most one per this many milliseconds, the first one
// this long after it connected: a person typing a code never notices, a program guessing codes gets
// nowhere in the length of a game.
constexpr int CODE_TRY_MS = 1000;

// Fills `n` bytes from a source nobody outside this process can foresee. Seat codes are drawn from it.
using SecureSource = std::function<void(unsigned char* bytes, std::size_t n)>;
// Equal or not in a time that does not depend on where two secrets of one length first differ.
bool sameCode(const std::string& a, const std::string& b);
// The system's own: getrandom or /dev/urandom, BCryptGenRandom on Windows.
void systemRandom(unsigned char* bytes, std::size_t n);

// The order in which players joined a lobby, line clients and browsers alike: each joiner's ticket is
// larger than every earlier one's.
long nextJoinTicket();

class WebTable;

class LanHub {
  public:
    // Seat codes are drawn from `random` (the system's secure source unless a test gives another).
    explicit LanHub(SecureSource random = systemRandom);
    ~LanHub();
    LanHub(const LanHub&) = delete;
    LanHub& operator=(const LanHub&) = delete;

    // Listens on every local IPv4 address; false when the socket library or the port can't be had.
    bool start(std::uint16_t port);
    // Accepts clients until `wanted` have joined or `seconds` have passed, polling every 100 ms. A client
    // whose connection ends meanwhile gives its place up to the next.
    void waitForClients(int wanted, int seconds);
    // A room's lobby, which has no listener of its own: a line client the room's line port handed to this
    // table joins it as an accepted one would, and pollLobby does what waitForClients does each round,
    // quietly.
    void adopt(SocketHandle s);
    void pollLobby(int wanted);
    // Whether the client's connection has ended. What it sent meanwhile is kept for receiveLine, up to a
    // limit past which its end is noticed at the next read instead.
    bool connectionEnded(SocketHandle s);
    const std::vector<SocketHandle>& clients() const { return clients_; }
    // The port listened on (the one the system chose when started on port 0).
    std::uint16_t port() const { return boundPort(listener_); }

    // Sends to one client. A client whose send once failed gets nothing more: it is gone or never reads.
    bool sendTo(SocketHandle s, std::string_view text);
    // Sends to every player, seated or dropped, and to every spectator.
    void broadcast(std::string_view text);
    // The client's next line without "\r", at most MAX_LINE_BYTES kept; false when the connection ended.
    bool receiveLine(SocketHandle s, std::string& out);
    // The same as an answer to a question, waiting at most `seconds` (0: no limit): Line, Dropped when the
    // connection ended, TimedOut when the time passed. After a timeout, lines that were typed before the
    // next question are answers to the one that timed out, and are dropped.
    Answer receiveAnswer(SocketHandle s, std::string& out, int seconds);

    // The game has begun: from now on a connection is greeted, asked for a seat code, and then either
    // waits to take its seat back or watches. The door runs on a thread of its own until closeAll.
    void openDoor();
    // Seat p is played over connection s; the code that gives seat p back is returned.
    std::string seatPlayer(int p, SocketHandle s);
    // The connection of seat p, invalid when nobody plays it from afar.
    SocketHandle seatSocket(int p) const;
    // Seat p's connection failed: the seat has no remote player any more.
    void unseat(int p);
    // Whether somebody gave seat p's code since the seat was last taken; if so that connection plays it
    // from now on.
    bool takeReturned(int p);
    // Seat p is out of the game: its code takes nobody back any more, and whoever waits for it watches.
    void seatOut(int p);
    // Sends `text` to every player and spectator, then ends every connection and closes the door and the
    // listener. The clients get `ms` milliseconds in all to read their end.
    void closeAll(std::string_view text, int ms);
    int spectatorCount() const;

    // Held by whoever writes to the host's console while the door may announce visitors there.
    std::mutex& consoleLock() { return consoleLock_; }
    // The console a game shows on: the door's notices go there, on a line of their own, without breaking
    // a prompt that waits there. Null: standard output.
    void noticesTo(ConsoleIo* console);

    // Browsers join, come back and watch through a web table; the hub seats them beside its own clients
    // (first come, first seated), gives their seat codes, and counts them among the eight spectators.
    void attachWeb(WebTable* web);
    WebTable* web() const { return web_; }
    long ticketOf(SocketHandle s) const;
    // A seat code given by a browser: the seat it opens, whose connection is shut and whose earlier
    // claimants are let go, as at the door; -1 when no seat has that code, -2 when the seat is out. A
    // browser that already waits for that seat (`waitingFor`) keeps its place, and nobody is let go.
    int claimSeat(const std::string& code, int waitingFor);
    // A browser spectator's place; false when all eight are taken.
    bool takeSpectatorPlace();
    void leaveSpectatorPlace();

  private:
    // Bytes received after the end of the last line read from each client: at most one read's worth, or
    // what a client typed ahead in the lobby.
    struct Inbox {
        std::string rest;
        bool broken = false;
        bool late = false;
    };
    Inbox& inbox(SocketHandle s) { return inboxes_[s]; }

    using Clock = std::chrono::steady_clock;
    // A connection made during the game: deciding until it gives a code or the time is up, then
    // `watching` public lines, as a spectator or, with `seat` set, as a player waiting to take it back.
    struct Visitor {
        SocketHandle s = INVALID_NET_SOCKET;
        std::string in;
        std::string out;
        Clock::time_point deadline;
        Clock::time_point nextTry;
        bool watching = false;
        int seat = -1;
    };

    // Lets go of lobby clients whose connections ended.
    void dropLeavers();
    void doorLoop();
    void greet(SocketHandle s);
    // Handles what a visitor typed and sends what waits for it; false when it is gone.
    bool serve(Visitor& v);
    void lineFrom(Visitor& v, const std::string& line);
    void watch(Visitor& v, const char* why);
    void notice(const std::string& text);
    bool flush(Visitor& v);
    void closeVisitor(Visitor& v);
    int seatWithCode(const std::string& code) const;
    int spectatorsLocked() const;
    // Players in the lobby: line clients and browsers.
    int joined() const;
    // Seat p's code was given: its connection is shut so that a game waiting on it goes on at once, and
    // whoever else waits for it is let go.
    void yieldSeat(int p, const Visitor* claimant);
    int claimLocked(const std::string& typed, int waitingFor, const Visitor* claimant);

    SocketHandle listener_ = INVALID_NET_SOCKET;
    std::vector<SocketHandle> clients_;
    bool socketsReady_ = false;
    std::map<SocketHandle, Inbox> inboxes_;

    // The door's thread and what it shares with the game's: everything below is guarded by mutex_.
    std::thread door_;
    std::atomic<bool> doorOpen_{false};
    mutable std::mutex mutex_;
    std::mutex consoleLock_;
    ConsoleIo* console_ = nullptr;
    // Serialises sends to a player's connection: the game sends to it, and the door tells a connection
    // whose seat was taken back elsewhere.
    std::mutex sendLock_;
    // Connections whose seat a newer connection took back with its code: the door tells each, outside its
    // lock, and shuts it, so that a game waiting on it goes on at once.
    std::vector<SocketHandle> supplanted_;
    // Seat codes come from the system's secure source, never from the game's seed or random engine: a
    // seed is small, may be given on the command line and is written into records, so codes drawn from
    // it could be worked out by anybody who knows or guesses it.
    SecureSource random_;
    std::array<SocketHandle, 6> seats_;
    std::array<std::string, 6> codes_;
    std::array<bool, 6> out_{};
    // Players who came back: they get public lines too, and are closed at the end.
    std::vector<SocketHandle> returners_;
    std::vector<Visitor> visitors_;
    WebTable* web_ = nullptr;
    std::map<SocketHandle, long> tickets_;
    int webSpectators_ = 0;
};

} // namespace kvr

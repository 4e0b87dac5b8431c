// What travels between a hosted game's thread and the web server's thread: each browser's place (in
// the lobby, playing a seat, waiting for its seat, watching), what waits to be sent to it, and the
// question its seat is asked. One lock guards it all, and every queue is bounded: a browser that does
// not read is dropped when its queue is full, and the game thread never waits for a browser except
// for the answer it asked for.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "model/seat_view.hpp"
#include "model/table_io.hpp"
#include "net/web_protocol.hpp"

namespace kvr {

class LanHub;

// Bytes that may wait for one browser; past this it is dropped.
constexpr std::size_t MAX_BROWSER_BACKLOG = 1 << 20;
// The public log kept for browsers that arrive mid-game: its latest text, at most this.
constexpr std::size_t MAX_PUBLIC_LOG = 1 << 16;
// A record larger than this is not sent over the WebSocket (the page then says there is none).
constexpr std::size_t MAX_RECORD_BYTES = 1 << 23;

class WebTable {
  public:
    explicit WebTable(LanHub& hub);
    WebTable(const WebTable&) = delete;
    WebTable& operator=(const WebTable&) = delete;

    // Called, from any thread, when a browser has something to read or is to be closed. Set once,
    // before the first browser connects.
    void onWake(std::function<void()> wake) { wake_ = std::move(wake); }
    // The file of the record the host keeps (empty: none); each browser is sent it at the end.
    void recordAt(std::string path) { recordPath_ = std::move(path); }

    // The web thread's side. A new browser's id, connected from address `from`; its first message is a
    // hello.
    int connect(const std::string& from = "");
    // What became of a browser's message: it answered the question asked, it was taken or ignored, or it
    // is not one this browser may send now and its connection is to be closed.
    enum class Received { Answered, Taken, Refused };
    Received receive(int id, const BrowserMessage& m);
    void disconnect(int id);
    // Moves what waits for browser `id` into `out`; true when it is to be closed once that is sent.
    bool take(int id, std::vector<std::string>& out);
    // Deferred seat codes whose time has come are tried; called every 100 ms or so.
    void tick();

    // The lobby, from the host's waiting loop: line clients joined and players wanted in all.
    void lobby(int lineClients, int wanted);
    // Browsers in the lobby, and when each joined (by the hub's join tickets, in order).
    std::vector<std::pair<long, int>> lobbyJoiners() const;

    // A room's table. A hello in the lobby with `code` comes from the player who opened the table: it
    // holds the host's place, is asked whether to start, and answers the host's questions until its seat
    // is known (then seat() gives it that seat like any other).
    void hostCode(const std::string& code);
    // The opener's browser id, -1 until it first connects.
    int host() const;
    // Asks the opener whether to start now (its Enter starts the game), with `text` for its screen and
    // `question` for its page; true once it answered.
    void offerStart(std::string_view text, const Query& question);
    bool startWanted() const;
    // Text and questions for the host's place before its seat is known.
    void showHost(std::string_view text);
    Answer askHost(const Prompt& prompt, std::string& line, int seconds = 0);
    // Browsers connected, any place.
    int connected() const;
    // Tells every browser `text` and closes it, as at the end of a game, without a record offered.
    void closeWith(std::string_view text);

    // The game thread's side: the game has begun and the door is open.
    void openDoor();
    // Whether browser `id` is still connected.
    bool present(int id) const;
    // Browser `id` from the lobby plays seat p: it is sent the start text and its seat code.
    void seat(int id, int p, std::string_view start, const std::string& code);
    // The opener plays seat p, the host's: from now on the opener's code claims that seat.
    void seatOpener(int p, const std::string& code);
    // Whether a browser plays seat p.
    bool holds(int p) const;
    void showAll(std::string_view text);
    void show(int p, std::string_view text);
    // The seat the game waits on (-1: none), for the views.
    void asking(int p);
    // Where views come from: `views(p, v)` fills seat p's view, or with p = -1 the public one; false
    // while the game has no table yet.
    using Views = std::function<bool(int, SeatView&)>;
    // Sends every browser its view if it changed.
    void refresh(const Views& views);
    // Whether the game is over (its record may be downloaded).
    bool over() const;
    // Seat p's answer from its browser; Dropped when the browser is gone or its seat was taken over,
    // TimedOut when `seconds` (0: no limit) passed without one.
    Answer ask(int p, const Prompt& prompt, std::string& line, int seconds = 0);
    void farewell(std::string_view text);

    // The hub's side, called under the hub's lock: a seat code for seat p was accepted (its browser,
    // if any, and browsers waiting for it are let go); a browser waiting for p takes it; p is out.
    void seatClaimed(int p);
    bool takeReturned(int p);
    // Browsers that waited for seat p watch from now on: how many.
    int seatOut(int p);

  private:
    enum class Place { Hello, Lobby, Pending, Deciding, Seat, Waiting, Watching, Gone, Host };
    using Clock = std::chrono::steady_clock;
    struct Link {
        Place place = Place::Hello;
        int seat = -1;
        std::string from;
        // Whether it holds one of the eight spectators' places.
        bool placed = false;
        long ticket = 0;
        std::deque<std::string> out;
        std::size_t outBytes = 0;
        bool closing = false;
        // A seat code to try once `nextTry` has come: one guess a second, as at the door.
        std::string code;
        Clock::time_point nextTry;
        // The question asked of its seat (and its message, to ask again), and the answer once given.
        long question = 0;
        Prompt prompt;
        std::string askText;
        bool answered = false;
        std::string answer;
        std::string lastView;
        bool logSent = false;
    };

    void push(Link& l, std::string message, std::size_t limit = MAX_BROWSER_BACKLOG);
    void sendLog(Link& l);
    int wonBy(const Link& l) const;
    void close(Link& l);
    void wake();
    void helloLocked(int id, Link& l, const std::string& code, std::unique_lock<std::mutex>& lock);
    void tryCode(int id, const std::string& code, std::unique_lock<std::mutex>& lock);
    // Whether a code from this browser may be tried now; if so, the next waits a second, for it and
    // for every browser at its address.
    bool codeDue(Link& l, Clock::time_point now);
    void watch(int id, std::unique_lock<std::mutex>& lock);
    void takeHostPlace(int id, Link& l);
    void seatLocked(int id, int p, std::string_view start, const std::string& code);
    // Browsers in the lobby waiting for a seat.
    int joinersLocked() const;
    Link* find(int id);
    void showOn(Link& l, std::string_view text);
    // Asks browser `id`; Dropped when it is gone.
    Answer askOn(int id, const Prompt& prompt, std::string& line, int seconds,
                 std::unique_lock<std::mutex>& lock);
    // Whether the place sees public lines.
    static bool seesPublic(Place p) {
        return p == Place::Seat || p == Place::Waiting || p == Place::Watching || p == Place::Host;
    }

    LanHub& hub_;
    std::function<void()> wake_;
    std::string recordPath_;
    bool recordSent_ = false;
    std::string record_;
    // The public text so far (bounded), and each seat's role and the mode as the last public view showed.
    std::string publicLog_;
    Mode mode_ = Identity;
    std::array<int, 6> roles_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::map<int, Link> links_;
    // When the next seat code from each address may be tried: reconnecting gains a guesser nothing.
    std::map<std::string, Clock::time_point> nextTryFrom_;
    int nextId_ = 0;
    long nextQuestion_ = 0;
    int lineClients_ = 0;
    int wanted_ = -1;
    bool doorOpen_ = false;
    bool ended_ = false;
    std::string endText_;
    int asked_ = -1;
    std::array<int, 6> seats_;
    std::array<std::string, 6> codes_;
    std::string lastPublicView_;
    std::string hostCode_;
    int host_ = -1;
    long startQuestion_ = 0;
    // The seat the game gave the opener, -1 until it names one.
    int openerSeat_ = -1;
};

} // namespace kvr

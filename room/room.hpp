// A card room: many tables at once in one process, each found by an unguessable ID, each what a hosted
// game is (a Game on a thread of its own, its web table, its door and its record), with nobody at the
// console. The room owns the tables, their IDs and lifetimes, and its own pages; the web server is the
// hosted game's, serving the room as its site.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/types.hpp"
#include "net/hub.hpp"

namespace kvr {

class GameStore;
class WebSite;

struct RoomOptions {
    // The defaults of every table; a table's opener picks mode, people and the computer's strength.
    Options base;
    std::uint16_t webPort = 9528;
    // The line protocol's port, where netcat and --join name a table to join; 0 for none.
    std::uint16_t linePort = 0;
    // Open tables at most (a finished one still on its link counts until it goes).
    int tables = 100;
    // Tables one remote address may open per minute.
    int opensPerMinute = 6;
    // WebSockets and HTTP connections at most, in all and from one address.
    int connections = 3000;
    int connectionsFromOne = 64;
    // Seconds a person has for each answer before the computer answers it once (0: no limit).
    int answerSeconds = 90;
    // Where each table's record goes, one file per table named by its ID; empty for none.
    std::string recordsDir;
    // Where every table's game is kept as it is played, and the history and statistics pages read from;
    // null for none. The room does not own it.
    GameStore* store = nullptr;
    // The address a reverse proxy serves the room at (https://name/), whose pages may connect as well.
    std::string publicUrl;
    // How long a finished table stays on its link, and how long a table that never starts stays open.
    int keepEndedSeconds = 600;
    int unstartedSeconds = 1800;
    // Where the table IDs, opener codes and seat codes come from.
    SecureSource random = systemRandom;
};

// What an opener asks for.
struct TableRequest {
    Mode mode = Normal3v3;
    int people = 1;
    AiKind ai = ClassicAi;
    bool listed = true;
};

// A table as the room page lists it.
struct TableListing {
    std::string id;
    Mode mode = Normal3v3;
    int people = 0;
    int computer = 0;
    bool begun = false;
    bool ended = false;
};

class Room {
  public:
    explicit Room(RoomOptions options);
    ~Room();
    Room(const Room&) = delete;
    Room& operator=(const Room&) = delete;

    // Serves the web port; false when it cannot be had.
    bool start();
    std::uint16_t port() const;
    // The room's pages as the web server asks for them; a room never started answers them too, with no
    // socket (the fuzzer's way in).
    WebSite& site();
    // Stops taking tables and connections, tells every page the room closes, and stops every table's
    // record where it stands. Returns within about a second; table threads still playing are left to
    // the process's exit.
    void stop();

    // Opens a table for remote address `from`: its ID and the opener's code, or an empty ID with the
    // reason, when a limit is reached.
    struct Opened {
        std::string id;
        std::string openerCode;
        std::string refusal;
    };
    Opened open(const TableRequest& request, const std::string& from);
    // Listed tables still open, oldest first.
    std::vector<TableListing> listed() const;
    // Open tables in all.
    int openTables() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// The line port's greeting: the listed tables, and the question for a table's ID.
std::string lineGreeting(const std::vector<TableListing>& tables);
// What a line client typed at the greeting: each whole line in turn, taken out of `typed` with its line
// end and trailing blanks cut; TooLong when a line runs past what a table's ID could be.
constexpr std::size_t MAX_TYPED_LINE = 256;
enum class TypedLine { None, Line, TooLong };
TypedLine takeTypedLine(std::string& typed, std::string& line);

// The room page and its list as JSON (room_page.cpp).
// With `kept`, the page links to the history and the statistics of the games the room keeps.
std::string roomPage(const std::vector<TableListing>& tables, bool kept = false);
std::string roomJson(const std::vector<TableListing>& tables);
// The open-a-table form's query, e.g. "mode=identity&people=2&ai=strong&listed=0"; false when it is
// not one.
bool parseTableRequest(const std::string& query, TableRequest& out);
// A query's pairs, percent-decoded; false for a broken escape or a key given twice.
bool queryPairs(const std::string& query, std::map<std::string, std::string>& out);

} // namespace kvr

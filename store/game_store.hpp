// The games a room keeps: each game's facts (its table, times, mode, seed, computer players, seats and
// result) and its record, line by line as it was written. One small interface, so that another database
// can stand behind it; sqlite_store.hpp is the one this program has.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/types.hpp"

namespace kvr {

// What a game is known by before it is played.
struct GameStart {
    // The table it was played at (a room's table ID; "local", "host" or "match" outside a room).
    std::string table;
    // A listed table's games are in the room's history; an unlisted one's only in its table's.
    bool listed = true;
    // Milliseconds since 1970 (UTC).
    std::int64_t started = 0;
    Mode mode = Normal3v3;
    std::uint32_t seed = 0;
    AiKind ai = ClassicAi;
    // Roles the strong player plays whatever `ai` says (bit 1 << role).
    unsigned strongRoles = 0;
};

// Who plays a seat: a person, or the classic or the strong computer player.
enum class PlayedBy { Person, Classic, Strong };

struct StoredSeat {
    HeroId hero = Varnok;
    Role role = TeamHan;
    PlayedBy player = PlayedBy::Classic;
    // Unknown until the game is finished.
    std::optional<bool> won;
};

// A game's state: being played, played to its result, or left unfinished (its room died, or its record
// could not all be kept).
enum class GameState { Playing, Finished, Unfinished };

// How a game ended.
struct GameEnd {
    std::int64_t ended = 0;
    std::string result;
    int rounds = 0;
    // Whether every seat won or lost.
    std::array<bool, 6> won{};
    // False when a line of the record could not be kept: the game is then kept as unfinished.
    bool complete = true;
};

// A game as the history lists it.
struct GameSummary {
    std::int64_t id = 0;
    std::string table;
    bool listed = true;
    std::int64_t started = 0;
    // 0 while unknown.
    std::int64_t ended = 0;
    GameState state = GameState::Playing;
    Mode mode = Normal3v3;
    std::uint32_t seed = 0;
    AiKind ai = ClassicAi;
    unsigned strongRoles = 0;
    std::string result;
    int rounds = 0;
    // Empty until the seats are dealt.
    std::vector<StoredSeat> seats;
};

// A game with its record: the bytes its record file would hold.
struct StoredGame {
    GameSummary summary;
    std::string record;
};

// Which games a history page lists: newest first, `limit` of them after skipping `offset`.
struct GameFilter {
    std::optional<Mode> mode;
    std::optional<HeroId> hero;
    // One table's games, listed or not; without it, the listed tables' games only.
    std::optional<std::string> table;
    int offset = 0;
    int limit = 20;
};

struct GamePage {
    std::vector<GameSummary> games;
    // Games that fit the filter, on every page.
    std::int64_t total = 0;
};

// Games and wins of a group of seats.
struct SeatTally {
    std::int64_t games = 0;
    std::int64_t wins = 0;
};

// What the statistics page draws, over the finished games of each mode.
struct GameStats {
    struct ByMode {
        std::int64_t games = 0;
        // Games each result text ended with, in the order first seen.
        std::vector<std::pair<std::string, std::int64_t>> results;
        // Seats of each role (TeamHan .. Renegade), of each hero, of each kind of player.
        std::array<SeatTally, 6> roles{};
        std::array<SeatTally, HERO_COUNT> heroes{};
        std::array<SeatTally, 3> players{};
        // Games that lasted each number of rounds (index: rounds; the last one counts every longer game).
        std::vector<std::int64_t> rounds;
    };
    std::array<ByMode, 2> modes{};
};

// The store could not be opened or used: the text names the file and says why.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every call may come from any thread. Writes that fail (the disk is full) return false or -1 and leave
// the store as it was; reads of a store that fails throw StoreError.
class GameStore {
  public:
    virtual ~GameStore() = default;

    // A new game being played: its id, or -1 when it could not be kept.
    virtual std::int64_t begin(const GameStart& start) = 0;
    // The game's record goes on with `lines` (whole lines, each ending in a newline), kept for good before
    // this returns: a process killed after it loses none of them.
    virtual bool append(std::int64_t id, std::string_view lines) = 0;
    // The seats once dealt: heroes, roles and who plays them.
    virtual bool seated(std::int64_t id, const std::array<StoredSeat, 6>& seats) = 0;
    virtual bool finish(std::int64_t id, const GameEnd& end) = 0;

    virtual GamePage list(const GameFilter& filter) = 0;
    virtual std::optional<StoredGame> get(std::int64_t id) = 0;
    virtual GameStats stats() = 0;
};

} // namespace kvr

// What a game keeps so that a copy can be resumed at a question asked in the middle of an action: the
// table at the last action boundary, the action begun since, and every answer, roll and judgment card
// since. A copy made at the boundary plays the action again with the same answers and reaches the same
// question in the same state; the rules need no other way to resume inside an action.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "model/computer_player.hpp"
#include "model/seat_player.hpp"

namespace kvr {

class Game;

// One answer given since the boundary: by which seat, to what, and whether every seat saw it (a card
// played, a seat named, a yes or no); a hand card is kept by id. Plain bytes with no defaults, so that a
// tape's unused room costs a copy of a game nothing.
struct TapeEntry {
    std::int8_t seat;
    Question kind;
    bool shown;
    int value;
};

// One roll since the boundary: its value and who saw what came of it (bit q: seat q). A roll that picks
// a position in seat `holder`'s hand or equipment (`holder` -1 for any other roll) keeps the card it
// picked: the position tells nothing, the card is what a seat saw. Plain bytes, like TapeEntry.
struct TapeRoll {
    std::int16_t value;
    std::int8_t holder;
    bool inHand;
    std::uint8_t seers;
    std::uint8_t card;
};

// Every seat saw a roll's outcome.
constexpr std::uint8_t ALL_SEATS = 63;

struct ReactionTape {
    static constexpr std::size_t ENTRIES = 160;
    static constexpr std::size_t ROLLS = 48;
    static constexpr std::size_t JUDGMENTS = 16;

    ReactionTape() = default;
    // Copies what is in use; the table at the boundary is shared, never changed once taken.
    ReactionTape(const ReactionTape& other) { *this = other; }
    ReactionTape& operator=(const ReactionTape& other);
    // Forgets everything but whether the game is a world and wants a tape.
    void clear();

    // Set with wanted, world, usable or replaying, and kept until the tape is made anew: the checks made
    // on every action and every question of a game that keeps no tape look at this alone.
    bool on = false;
    // A seat whose player searches reactions plays in this game: keep a tape from the next boundary on.
    bool wanted = false;
    void want() { wanted = on = true; }
    // A world or a copy that replays: it keeps no tape of its own.
    bool world = false;
    // The boundary is kept and everything since it is on the tape.
    bool usable = false;
    std::shared_ptr<const Game> boundary;

    // The play-phase actions begun since the boundary, their cards by id: those the rules refused, then
    // the one in progress.
    static constexpr std::size_t ATTEMPTS = 8;
    std::array<PlayAction, ATTEMPTS> attempts;
    std::size_t attemptCount = 0;
    // Where each attempt begins on the tape: its first answer, roll and judgment card.
    std::array<std::uint8_t, ATTEMPTS> attemptEntry;
    std::array<std::uint8_t, ATTEMPTS> attemptRoll;
    std::array<std::uint8_t, ATTEMPTS> attemptJudgment;
    std::int8_t actor = -1;
    // Actions begun and not yet over: one inside another (a skill's converted slash) is part of it.
    int depth = 0;

    // Only the first `size`, `rollCount` and `judgmentCount` are ever read, or copied: the rest is left as
    // it is, since every game copy makes a tape and most never use one.
    std::array<TapeEntry, ENTRIES> entries;
    std::size_t size = 0;
    std::array<TapeRoll, ROLLS> rolls;
    std::size_t rollCount = 0;
    std::array<std::uint8_t, JUDGMENTS> judgments;
    std::size_t judgmentCount = 0;

    // Replaying (a world, or a copy resumed exactly): how far it has come, the seat whose question ends
    // it and the answer given there, and whether it went astray (a question the tape does not hold).
    bool replaying = false;
    bool exact = false;
    bool actionDone = false;
    std::size_t cursor = 0;
    std::size_t rollCursor = 0;
    std::size_t judgmentCursor = 0;
    int viewer = -1;
    // The question being asked now (a real game) or the one whose answer ends the replay (a copy).
    int asking = -1;
    Question askingKind = Question::None;
    bool hasAnswer = false;
    int answer = 0;
    bool answered = false;
    bool failed = false;
    // An exact copy takes the players' engines as they stood after the question.
    bool hasEnginesAfter = false;
    std::array<std::uint64_t, 6> enginesAfter{};
};

// Put at the top of each rule that begins a play-phase action: the tape keeps the action when it is not
// part of another one.
class TapeActionScope {
  public:
    TapeActionScope(Game& g, int p, PlayAction::Kind kind, int hi, int target);
    ~TapeActionScope();
    TapeActionScope(const TapeActionScope&) = delete;
    TapeActionScope& operator=(const TapeActionScope&) = delete;

  private:
    ReactionTape* tape_;
};

// The player every seat sits behind while a game keeps or replays a tape.
const ComputerPlayer& tapePlayer();

} // namespace kvr

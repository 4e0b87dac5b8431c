// The messages between a browser and the host, as JSON text. The host sends what a seat may see:
// its view (built from its SeatView alone), each text it is shown, each question with its options. A
// browser sends a hello (with the seat code it keeps, if any), a seat code typed later, or an answer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/seat_view.hpp"
#include "model/table_io.hpp"

namespace kvr {

// A message from a browser larger than this closes its connection.
constexpr std::size_t MAX_BROWSER_MESSAGE = 4096;
// An answer's text at most; a longer one closes the connection.
constexpr std::size_t MAX_ANSWER_BYTES = 256;

struct BrowserMessage {
    enum Type { Bad, Hello, Code, Answer };
    Type type = Bad;
    // A hello's or a code message's seat code (may be empty in a hello).
    std::string code;
    // An answer: the question's id, and its value in one of four shapes.
    long question = 0;
    enum Shape { None, Number, Flag, Numbers, Text };
    Shape shape = None;
    long number = 0;
    bool flag = false;
    std::vector<long> numbers;
    std::string text;
};

// Bad for anything that is not one of the messages above, whole and well formed.
BrowserMessage parseBrowserMessage(std::string_view json);
// The line the console player would have typed for this answer to this question; false when the
// answer's shape does not fit the question or its text could not have been typed.
bool answerLine(const BrowserMessage& m, const Prompt& prompt, std::string& line);

// The host's messages.
std::string viewMessage(const SeatView& view, int asked);
std::string textMessage(std::string_view text, bool isPublic);
// A question: its kind and range, and what the rule that asks it told (topic, what it is about, its
// options, the hand cards it accepts); only the kind and range without one.
std::string askMessage(long id, const Prompt& prompt);
std::string lobbyMessage(int joined, int wanted);
// Where this browser stands: "lobby", "waiting" (for the lobby to open or its seat to come back),
// "deciding" (its code is being tried), "player", "watching", "full" (no spectator's place) or
// "replaced" (another connection took its seat); the seat and its code for a player and one waiting
// for its seat.
std::string stateMessage(const char* state, int seat, const std::string& code);
std::string badCodeMessage();
// The question `id` went unanswered in the time allowed: the game no longer waits for it.
std::string expiredMessage(long id);
// The end: the result, whether a record follows, and whether this seat won (won: 1 or 0; -1 for a
// browser that plays no seat).
std::string endMessage(std::string_view result, bool record, int won);
// The host's record of the game, whole, for the page to save.
std::string recordMessage(std::string_view record);
// The public log so far, for a browser that arrives mid-game.
std::string logMessage(std::string_view text);

} // namespace kvr

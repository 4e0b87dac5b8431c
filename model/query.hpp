// What a question asks, as the rule that asks it knows it: a browser draws its controls from this,
// while the console prints its own text. Built only for a person's seat, never in a computer's game.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvr {

struct QueryOption {
    // What the console player would type for it, and how the table names it ("2号 Corvane", "杀 梅花10").
    std::string value;
    std::string label;
    // The seat it names (0..5), or the hand card (0-based); -1 for none.
    int seat = -1;
    int card = -1;
};

struct Query {
    // What kind of answer this is, in one word: "play", "dodge", "slash", "target", "discard", "count",
    // "order", "pick", "yesno", "pause", ...
    std::string topic;
    // What it is about ("Valessa 对你使用【杀 梅花10】"), and the question itself without the console's
    // key legend ("出闪").
    std::string about;
    std::string ask;
    std::vector<QueryOption> options;
    // Whether the seat's hand cards answer it by their number, and which of them the rule accepts
    // (bit i for the hand's card i).
    bool handAnswers = false;
    std::uint64_t fits = 0;
    // A count keeps every number of its range: any of them is an answer.
    bool count = false;
};

} // namespace kvr

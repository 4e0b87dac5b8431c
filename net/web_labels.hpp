// The labels of a question's options, read from what the game printed for it: a browser shows one
// button per option with the text the console shows beside that number.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/table_io.hpp"

namespace kvr {

struct OptionLabel {
    // What the console player would type for it.
    std::string value;
    std::string label;
};

// The options of a question, from the seat's screen since it was last cleared (`printed`, colours
// included) and the prompt:
// - a number in lo..hi: every number that the text names, the last naming winning. Names are a hand's
//   "[3]【杀 黑桃7】", a numbered list's "2.Varnok HP3 ..." or "1.【闪 红桃2】 2.【...】", and a menu's
//   "1随机 2主公" or "0放弃". A count ("交出几张", "制衡张数") has no labels: any number in range is a count;
// - an order: the numbered cards of the list to put in order, 1..n;
// - the play phase: the hand's cards by number, then the commands of "s=武将技 v=转化杀 ...";
// - y/n, a pause and free text: none, their controls are fixed.
std::vector<OptionLabel> optionLabels(std::string_view printed, const Prompt& prompt);

// The text without ANSI colour escapes.
std::string withoutEscapes(std::string_view text);

} // namespace kvr

// The JSON the history and statistics pages draw, built from a store's answers. The pages decide nothing:
// names, rates and intervals come from here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/game_store.hpp"

namespace kvr {

// A history page: {"t":"history","total","offset","limit","games":[{"id","table","started","ended",
// "state":"playing|finished|unfinished","mode":"normal|identity","seed","ai","result","rounds",
// "seats":[{"hero","person","role"?,"won"?}]}]}. A seat's role and whether it won are given only for a
// finished game: the roles of a game not played out were never all public.
std::string historyJson(const GamePage& page, const GameFilter& filter);

// The statistics: {"t":"stats","modes":[{"mode","games","results":[{"result","games"}],
// "roles":[{"role","games","wins","rate","low","high"}], "heroes":[...by hero, most games first],
// "players":[{"player":"person|classic|strong",...}], "rounds":[games that lasted 0, 1, 2 ... rounds]}]}.
// Rates with their 95% interval (Wilson's), all as fractions.
std::string statsJson(const GameStats& stats);

// A history filter's words as a page sends them: the mode ("normal", "identity", empty for both), a
// hero's name (empty for any), the page from 1. False for a mode or hero that does not exist.
bool historyFilter(std::string_view mode, std::string_view hero, int page, int perPage, GameFilter& out);

// The 95% interval of a rate of `wins` in `games` (Wilson's score interval): low and high as fractions.
std::pair<double, double> winInterval(std::int64_t wins, std::int64_t games);

} // namespace kvr

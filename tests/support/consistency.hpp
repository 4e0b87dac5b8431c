// The consistency checks that simulation tests, the soak and the fuzzer run after every action.
#pragma once

#include <string>

#include "tests/support/probe.hpp"

namespace kvr {

// Looks up every deck card in the piles, hands, zones, slots and the harvest pool of a game and
// describes the first fault: a missing or doubled card, or a card that is not its printed self
// (outside a judgment zone, where 国色 turns a diamond into an Indulgence).
std::string checkConservation(GameProbe& g);

// Each hand's counts of card types, kept as cards come and go, against a count of its cards.
std::string checkHandCounts(GameProbe& g);

// The distances and reach a seat's view is given, all pairs at once, against distance and canSlash.
std::string checkGeometry(GameProbe& g);

// Conservation, hand counts, geometry, and every living seat within its hit points, every dead seat
// without cards.
std::string tableFault(GameProbe& g);

} // namespace kvr

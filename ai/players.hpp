// The built-in computer players: the classic one, which reads true roles as the game's rules describe
// it, and the strong one, which decides from its seat's view alone.
#pragma once

#include "model/computer_player.hpp"

namespace kvr {

const ComputerPlayer& classicPlayer();
const ComputerPlayer& strongPlayer();
// The strong player's rules of thumb without its search.
const ComputerPlayer& rulesOfThumbPlayer();
const ComputerPlayer& computerPlayer(AiKind kind);

} // namespace kvr

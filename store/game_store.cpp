#include "store/game_store.hpp"

namespace kvr {

// The result texts are the game's own; each names the side that won.
bool seatWon(Mode mode, Role role, std::string_view result) {
    auto has = [result](const char* text) { return result.find(text) != std::string_view::npos; };
    if (mode == Normal3v3)
        return (role == TeamHan && has("汉军获胜")) || (role == TeamChu && has("楚军获胜"));
    if (has("主公/忠臣获胜")) return role == Lord || role == Loyalist;
    if (has("反贼获胜")) return role == Rebel;
    if (has("内奸获胜")) return role == Renegade;
    return false;
}

} // namespace kvr

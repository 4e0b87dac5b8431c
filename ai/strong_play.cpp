#include <algorithm>

#include "ai/strong.hpp"
#include "model/game.hpp"

namespace kvr {

int strongPlaysFor(int thinkMs, int playsPerMs) {
    long plays = static_cast<long>(std::max(0, thinkMs)) * std::max(1, playsPerMs);
    return static_cast<int>(std::min(10000000L, std::max(8L, plays)));
}

// One action per pass, chosen afresh by the seat's computer player. An action the rules refuse is not
// offered again until something else has been done.
void Game::playActions(int p) {
    if (!ps_[p].alive || ended_) return;
    std::vector<PlayAction> tried;
    for (int guard = 60; guard > 0; --guard) {
        PlayAction m = computer(p).nextAction(*this, p, tried);
        if (m.kind == PlayAction::Stop) return;
        bool moved = false;
        if (m.kind == PlayAction::Card)
            moved = useCard(p, m.index, m.target >= 0 ? Optional<int>(m.target) : Optional<int>());
        else if (m.kind == PlayAction::VirtualSlash)
            moved = useVirtualSlash(p);
        else
            moved = activeSkill(p);
        afterAction();
        if (!ps_[p].alive || ended_) return;
        if (moved && haltsMidPlay()) return;
        if (moved)
            tried.clear();
        else
            tried.push_back(m);
    }
}

} // namespace kvr

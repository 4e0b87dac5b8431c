#include <chrono>

#include "ai/search.hpp"
#include "ai/strong.hpp"
#include "model/game.hpp"

namespace kvr {

DecisionClock::DecisionClock(std::vector<double>* sink) : sink_(sink) {
    if (sink_) start_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

DecisionClock::~DecisionClock() {
    if (!sink_) return;
    long long ticks = std::chrono::steady_clock::now().time_since_epoch().count() - start_;
    using Period = std::chrono::steady_clock::period;
    sink_->push_back(static_cast<double>(ticks) * Period::num / Period::den);
}

// The strong play phase: one action per pass, chosen afresh from the seat's view. An action the rules
// refuse is not offered again until something else has been done.
void Game::strongPlay(int p) {
    if (!ps_[p].alive || ended_) return;
    std::vector<StrongMove> tried;
    for (int guard = 60; guard > 0; --guard) {
        StrongMove m;
        {
            DecisionClock clock(opt_.decisionTimes);
            m = Search::bestMove(*this, p, tried);
        }
        if (m.kind == StrongMove::Stop) return;
        bool moved = false;
        if (m.kind == StrongMove::Card)
            moved = useCard(p, m.index, m.target >= 0 ? Optional<int>(m.target) : Optional<int>());
        else if (m.kind == StrongMove::VirtualSlash)
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

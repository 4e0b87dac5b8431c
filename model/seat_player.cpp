#include "model/seat_player.hpp"

#include <chrono>
#ifndef _WIN32
#include <time.h>
#endif

#include "model/game.hpp"

namespace kvr {

namespace {
thread_local SearchWork work;

// The processor time this thread was given, which other work on the machine does not inflate; by the
// clock where the platform has no such count.
double threadSeconds() {
#ifdef _WIN32
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
#endif
}
} // namespace

SearchWork& searchWork() { return work; }

// Each question gets a desk for the asked seat; the game only learns that a seat here searches, so that
// it keeps a reaction tape from its next action boundary on.
template <class F> auto SeatPlayerAdapter::ask(const Game& cg, int p, Question q, F f) const {
    Game& g = const_cast<Game&>(cg);
    if (!g.tape_.world) g.tape_.want();
    std::vector<DecisionTime>* sink = g.opt_.decisionTimes;
    if (!sink) {
        SeatDesk desk(g, p, q);
        return f(desk);
    }
    const SearchWork before = work;
    const double cpu = threadSeconds();
    auto start = std::chrono::steady_clock::now();
    SeatDesk desk(g, p, q);
    auto out = f(desk);
    DecisionTime t;
    t.clock = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = threadSeconds() - cpu;
    t.question = static_cast<std::uint8_t>(q);
    t.mode = g.mode();
    t.plays = work.plays - before.plays;
    t.actions = work.actions - before.actions;
    sink->push_back(t);
    return out;
}

void SeatPlayerAdapter::playPhase(Game& g, int p) const { g.playActions(p); }

PlayAction SeatPlayerAdapter::nextAction(Game& g, int p, const std::vector<PlayAction>& tried) const {
    return ask(g, p, Question::Action, [&](SeatDesk& d) { return inner_.nextAction(d, tried); });
}
int SeatPlayerAdapter::foe(const Game& g, int p, bool inRange, bool needsCards) const {
    return ask(g, p, Question::Target, [&](SeatDesk& d) { return inner_.foe(d, inRange, needsCards); });
}
SeatList SeatPlayerAdapter::foes(const Game& g, int p, bool inRange) const {
    return ask(g, p, Question::Target, [&](SeatDesk& d) { return inner_.foes(d, inRange); });
}
int SeatPlayerAdapter::ally(const Game& g, int p, bool wounded) const {
    return ask(g, p, Question::Target, [&](SeatDesk& d) { return inner_.ally(d, wounded); });
}
int SeatPlayerAdapter::stance(const Game& g, int p, int q) const {
    return ask(g, p, Question::Stance, [&](SeatDesk& d) { return inner_.stance(d, q); });
}
int SeatPlayerAdapter::discard(const Game& g, int p) const {
    return ask(g, p, Question::Discard, [&](SeatDesk& d) { return inner_.discard(d); });
}
int SeatPlayerAdapter::payCard(const Game& g, int p, const std::function<bool(const Card&)>& fits) const {
    return ask(g, p, Question::Pay, [&](SeatDesk& d) { return inner_.payCard(d, fits); });
}
TopOrder SeatPlayerAdapter::arrangeTop(const Game& g, int p, const CardList& top) const {
    return ask(g, p, Question::Top, [&](SeatDesk& d) { return inner_.arrangeTop(d, top); });
}
std::size_t SeatPlayerAdapter::harvestPick(const Game& g, int p, const CardList& pool) const {
    return ask(g, p, Question::Harvest, [&](SeatDesk& d) { return inner_.harvestPick(d, pool); });
}
bool SeatPlayerAdapter::nullify(const Game& g, int p, int from, int target, std::string_view trick,
                                bool cancelled) const {
    return ask(g, p, Question::Nullify,
               [&](SeatDesk& d) { return inner_.nullify(d, from, target, trick, cancelled); });
}
bool SeatPlayerAdapter::save(const Game& g, int p, int dying) const {
    return ask(g, p, Question::Save, [&](SeatDesk& d) { return inner_.save(d, dying); });
}
int SeatPlayerAdapter::passSlash(const Game& g, int p, int from, const SeatList& candidates) const {
    return ask(g, p, Question::Pass, [&](SeatDesk& d) { return inner_.passSlash(d, from, candidates); });
}
bool SeatPlayerAdapter::iceSword(const Game& g, int p, int target) const {
    return ask(g, p, Question::IceSword, [&](SeatDesk& d) { return inner_.iceSword(d, target); });
}
SeatList SeatPlayerAdapter::chain(const Game& g, int p) const {
    return ask(g, p, Question::Chain, [&](SeatDesk& d) { return inner_.chain(d); });
}
int SeatPlayerAdapter::armedFoe(const Game& g, int p) const {
    return ask(g, p, Question::Target, [&](SeatDesk& d) { return inner_.armedFoe(d); });
}
int SeatPlayerAdapter::victim(const Game& g, int p, int armed, const SeatList& legal) const {
    return ask(g, p, Question::Victim, [&](SeatDesk& d) { return inner_.victim(d, armed, legal); });
}
int SeatPlayerAdapter::lockTarget(const Game& g, int p, CardType t) const {
    return ask(g, p, Question::Target, [&](SeatDesk& d) { return inner_.lockTarget(d, t); });
}
void SeatPlayerAdapter::malePair(const Game& g, int p, const SeatList& males, int& first, int& second) const {
    ask(g, p, Question::Pair, [&](SeatDesk& d) {
        inner_.malePair(d, males, first, second);
        return 0;
    });
}
// Nothing to decide without a card that fits: no desk is built.
int SeatPlayerAdapter::answerCard(const Game& g, int p, CardType need, int offered) const {
    if (offered < 0) return -1;
    return ask(g, p, need == Dodge ? Question::Dodge : Question::SlashAnswer,
               [&](SeatDesk& d) { return inner_.answerCard(d, need, offered); });
}

} // namespace kvr

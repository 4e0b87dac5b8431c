// Worlds: the table as one seat sees it with every hidden fact dealt by that seat's player. A search plays
// its candidates out in them; this file is the only place where a world is made from a real game.
#include <algorithm>

#include "model/game.hpp"

namespace kvr {

std::bitset<DECK_SIZE + 1> Game::unseenBy(int p) const {
    std::bitset<DECK_SIZE + 1> out;
    for (int q = 0; q < 6; ++q)
        if (q != p)
            for (const Card& c : ps_[static_cast<std::size_t>(q)].hand)
                out.set(static_cast<std::size_t>(c.id));
    for (const Card& c : deck_) out.set(static_cast<std::size_t>(c.id));
    return out;
}

namespace {

std::uint64_t mix(std::uint64_t z) {
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

// Nothing of the source's hidden facts reaches the world: the other hands and the draw pile are the deal's
// cards, the hidden roles the deal's, every random engine but the viewer's own seeded from the deal, the
// game's seed forgotten, and what the other seats saw of cards is what the viewer saw.
bool Game::worldFor(const SeatView& v, const HiddenDeal& deal, Game& into, const int* answer) const {
    const Game* from = this;
    if (v.fromBoundary) {
        if (!tape_.boundary || !tape_.usable) return false;
        from = tape_.boundary.get();
    }
    const int p = v.self;
    if (p < 0 || p > 5) return false;
    const Player& me = from->ps_[static_cast<std::size_t>(p)];
    if (me.hand.size() != v.hand.size()) return false;
    for (std::size_t i = 0; i < v.hand.size(); ++i)
        if (me.hand[i].id != v.hand[i].id) return false;
    std::bitset<DECK_SIZE + 1> unseen = from->unseenBy(p);
    if (deal.cards.size() != unseen.count()) return false;
    std::bitset<DECK_SIZE + 1> dealt;
    for (int id : deal.cards) {
        if (id < 1 || id > DECK_SIZE || !unseen.test(static_cast<std::size_t>(id)) ||
            dealt.test(static_cast<std::size_t>(id)))
            return false;
        dealt.set(static_cast<std::size_t>(id));
    }
    std::array<Role, 6> mine{}, theirs = deal.roles;
    for (std::size_t q = 0; q < 6; ++q) {
        mine[q] = from->ps_[q].role;
        const Optional<Role>& shown = v.seats[q].role;
        if ((shown || static_cast<int>(q) == p) && deal.roles[q] != mine[q]) return false;
    }
    std::sort(mine.begin(), mine.end());
    std::sort(theirs.begin(), theirs.end());
    if (mine != theirs) return false;

    into = *from;
    // A world keeps no tape: it never resumes inside an action of its own.
    into.tape_ = ReactionTape();
    into.tape_.world = into.tape_.on = true;
    std::size_t k = 0;
    for (std::size_t q = 0; q < 6; ++q) {
        if (static_cast<int>(q) == p) continue;
        Hand& hand = into.ps_[q].hand;
        std::size_t n = hand.size();
        hand.clear();
        for (std::size_t i = 0; i < n; ++i) hand.push_back(deckCard(deal.cards[k++]));
    }
    into.deck_.clear();
    for (; k < deal.cards.size(); ++k) into.deck_.push_back(deckCard(deal.cards[k]));
    for (std::size_t q = 0; q < 6; ++q) into.ps_[q].role = deal.roles[q];
    into.rng_.useOwn(deal.seed);
    into.opt_.seed = 0;
    for (std::size_t q = 0; q < 6; ++q) {
        if (static_cast<int>(q) == p) continue;
        into.playerRng_[q] = mix(deal.seed ^ (q + 1));
        into.seenIn_[q] = from->seenIn_[static_cast<std::size_t>(p)];
    }
    // Silent, every seat the options' classic player until the searcher casts its own.
    into.setIo(nullptr);
    into.opt_.autoPlay = into.opt_.fast = true;
    into.opt_.decisionTimes = nullptr;
    into.opt_.ai = ClassicAi;
    into.opt_.strongRoles = 0;
    for (Player& x : into.ps_) x.human = false;
    into.players_.fill(nullptr);
    into.allClassic_ = true;
    into.rolesOpen_ = true;
    into.auditRoles_ = false;
    if (v.fromBoundary) into.startReplay(tape_, p, answer, false);
    return true;
}

bool Game::playAction(int p, const PlayAction& m) {
    bool moved = true;
    switch (m.kind) {
    case PlayAction::Stop:
        step_ = TurnStep::Discard;
        break;
    case PlayAction::Card:
        moved = useCard(p, m.index, m.target >= 0 ? Optional<int>(m.target) : Optional<int>());
        break;
    case PlayAction::VirtualSlash:
        moved = useVirtualSlash(p);
        break;
    case PlayAction::Skill:
        moved = activeSkill(p);
        break;
    }
    if (moved) afterAction();
    return moved;
}

namespace {
// The views of the desks alive on this thread, the innermost last: a search's worlds ask their seats
// questions while the searching seat's desk still holds its view, and each desk lives within the one
// before it. The views are kept for the next desks, each filled over whatever it held.
struct ViewStack {
    std::vector<std::unique_ptr<SeatView>> views;
    std::size_t used = 0;
};
thread_local ViewStack viewStack;
} // namespace

SeatDesk::SeatDesk(Game& game, int seat, Question question) : game_(game), seat_(seat), question_(question) {}

SeatDesk::~SeatDesk() {
    if (view_) viewStack.used = viewSlot_;
}

void SeatDesk::fillView() const {
    ViewStack& stack = viewStack;
    if (stack.used == stack.views.size()) stack.views.push_back(std::make_unique<SeatView>());
    viewSlot_ = stack.used++;
    view_ = stack.views[viewSlot_].get();
    game_.fillView(seat_, *view_);
}

const std::bitset<DECK_SIZE + 1>& SeatDesk::unseen() const {
    if (!unseenKnown_) {
        view(); // the set is kept in the view, filled first
        view_->unseen = game_.unseenBy(seat_);
        unseenKnown_ = true;
    }
    return view_->unseen;
}

std::uint64_t& SeatDesk::rng() { return game_.playerRng_[static_cast<std::size_t>(seat_)]; }

int SeatDesk::plays() const { return game_.opt_.searchPlays; }

bool SeatDesk::world(const HiddenDeal& deal, Game& world) const {
    return game_.worldFor(view(), deal, world);
}

bool SeatDesk::resumable() const { return game_.resumableFor(seat_, question_); }

const SeatView& SeatDesk::boundaryView() const {
    if (!boundaryView_) {
        const Game& b = *game_.tape_.boundary;
        boundaryView_ = std::make_unique<SeatView>(b.viewFor(seat_));
        boundaryView_->unseen = b.unseenBy(seat_);
        boundaryView_->fromBoundary = true;
        // What was seen since the boundary stays known: the public record is read now.
        const SeatView& now = view();
        boundaryView_->harm = now.harm;
        boundaryView_->help = now.help;
        boundaryView_->choiceMisses = now.choiceMisses;
    }
    return *boundaryView_;
}

bool SeatDesk::reactionWorld(const HiddenDeal& deal, int answer, Game& world) const {
    if (!resumable()) return false;
    return game_.worldFor(boundaryView(), deal, world, &answer);
}

} // namespace kvr

// The reaction tape: the table at the last action boundary and everything asked, rolled and judged since,
// so that a copy can be resumed at a question in the middle of an action by playing the action again.
// A world a search deals replays only what every seat saw, and puts the cards answered with where the
// answers need them; a copy resumed exactly (tests) replays everything.
#include <algorithm>

#include "model/game.hpp"

namespace kvr {

ReactionTape& ReactionTape::operator=(const ReactionTape& o) {
    if (this == &o) return *this;
    on = o.on;
    wanted = o.wanted;
    world = o.world;
    usable = o.usable;
    boundary = o.boundary;
    attemptCount = o.attemptCount;
    for (std::size_t i = 0; i < attemptCount; ++i) {
        attempts[i] = o.attempts[i];
        attemptEntry[i] = o.attemptEntry[i];
        attemptRoll[i] = o.attemptRoll[i];
        attemptJudgment[i] = o.attemptJudgment[i];
    }
    actor = o.actor;
    depth = o.depth;
    size = o.size;
    std::copy(o.entries.begin(), o.entries.begin() + static_cast<std::ptrdiff_t>(size), entries.begin());
    rollCount = o.rollCount;
    std::copy(o.rolls.begin(), o.rolls.begin() + static_cast<std::ptrdiff_t>(rollCount), rolls.begin());
    judgmentCount = o.judgmentCount;
    std::copy(o.judgments.begin(), o.judgments.begin() + static_cast<std::ptrdiff_t>(judgmentCount),
              judgments.begin());
    replaying = o.replaying;
    exact = o.exact;
    actionDone = o.actionDone;
    cursor = o.cursor;
    rollCursor = o.rollCursor;
    judgmentCursor = o.judgmentCursor;
    viewer = o.viewer;
    asking = o.asking;
    askingKind = o.askingKind;
    hasAnswer = o.hasAnswer;
    answer = o.answer;
    answered = o.answered;
    failed = o.failed;
    hasEnginesAfter = o.hasEnginesAfter;
    if (hasEnginesAfter) enginesAfter = o.enginesAfter;
    return *this;
}

void ReactionTape::clear() {
    bool keepWorld = world, keepWanted = wanted, keepOn = on;
    *this = ReactionTape();
    world = keepWorld;
    wanted = keepWanted;
    on = keepOn;
}

// A new boundary: the table is kept (in place when no copy shares the last one) and the tape starts
// afresh. A game with a person at it keeps none: a person's answers are not on the tape. A replay that
// reaches a boundary without meeting its question went astray.
void Game::tapeBoundary() {
    if (tape_.replaying) {
        if (!tape_.answered) tape_.failed = true;
        tape_.replaying = false;
    }
    if (!tape_.wanted || tape_.world) return;
    bool person = false;
    for (const Player& x : ps_) person = person || x.human;
    std::shared_ptr<const Game> last = std::move(tape_.boundary);
    tape_.clear();
    if (person) return;
    std::shared_ptr<Game> keep;
    if (last && last.use_count() == 1)
        keep = std::const_pointer_cast<Game>(last);
    else
        keep = std::make_shared<Game>(mode_, opt_, nullptr);
    last.reset();
    *keep = *this;
    keep->tape_ = ReactionTape();
    tape_.boundary = std::move(keep);
    tape_.usable = tape_.on = true;
}

bool Game::resumableFor(int p, Question q) const {
    return tape_.usable && !tape_.world && tape_.boundary && tape_.asking == p && tape_.askingKind == q &&
           tape_.size < ReactionTape::ENTRIES;
}

void Game::tapeAction(int p, PlayAction::Kind kind, int hi, Optional<int> target) {
    ReactionTape& t = tape_;
    if (!t.usable || t.replaying || t.world) return;
    if (t.attemptCount >= ReactionTape::ATTEMPTS || (t.attemptCount > 0 && t.actor != p)) {
        t.usable = false;
        return;
    }
    t.actor = static_cast<std::int8_t>(p);
    int id = hi >= 0 && static_cast<std::size_t>(hi) < ps_[p].hand.size()
                 ? ps_[p].hand[static_cast<std::size_t>(hi)].id
                 : -1;
    t.attemptEntry[t.attemptCount] = static_cast<std::uint8_t>(t.size);
    t.attemptRoll[t.attemptCount] = static_cast<std::uint8_t>(t.rollCount);
    t.attemptJudgment[t.attemptCount] = static_cast<std::uint8_t>(t.judgmentCount);
    t.attempts[t.attemptCount++] = PlayAction{kind, id, target ? *target : -1};
}

// A world replays a roll's outcome only where its viewer saw it: a card it saw picked is fetched into the
// place it was picked from, and a roll it did not see is the world's own, from the world's engine (a hand
// card picked stays a hand card, as everybody saw). An exact copy replays every value.
int Game::tapeRoll(int value, int lo, int hi, const TapeRoll& r) {
    ReactionTape& t = tape_;
    if (t.replaying && t.rollCursor < t.rollCount) {
        const TapeRoll was = t.rolls[t.rollCursor++];
        const bool fits = was.value >= lo && was.value <= hi;
        if (t.exact) return fits ? was.value : value;
        const bool seen = t.viewer >= 0 && ((was.seers >> t.viewer) & 1);
        if (was.holder < 0 || !was.inHand) return seen && fits ? was.value : value;
        const int held = static_cast<int>(ps_[static_cast<std::size_t>(was.holder)].hand.size());
        if (held == 0) return value;
        if (seen) {
            int at = conjure(was.holder, was.card);
            if (at >= 0) return at;
        }
        return value < held ? value : std::uniform_int_distribution<int>(0, held - 1)(rng_);
    }
    if (t.usable && !t.world && !t.replaying) {
        if (t.rollCount < ReactionTape::ROLLS) {
            TapeRoll kept = r;
            kept.value = static_cast<std::int16_t>(value);
            t.rolls[t.rollCount++] = kept;
        } else {
            t.usable = false;
        }
    }
    return value;
}

void Game::tapeJudgmentBefore() {
    ReactionTape& t = tape_;
    if (!t.replaying || t.judgmentCursor >= t.judgmentCount) return;
    int id = t.judgments[t.judgmentCursor];
    if (deck_.empty() || deck_.back().id == id) return;
    // The card judged then goes on top: from the draw pile, or from a hand the viewer cannot see.
    for (std::size_t i = 0; i < deck_.size(); ++i)
        if (deck_[i].id == id) {
            std::swap(deck_[i], deck_.back());
            return;
        }
    for (int q = 0; q < 6; ++q) {
        if (q == t.viewer) continue;
        Hand& h = ps_[static_cast<std::size_t>(q)].hand;
        for (std::size_t i = 0; i < h.size(); ++i)
            if (h[i].id == id) {
                Card top = deck_.back();
                deck_.back() = h[i];
                h.set(i, top);
                return;
            }
    }
}

void Game::tapeJudgmentAfter(const Card& c) {
    ReactionTape& t = tape_;
    if (t.replaying && t.judgmentCursor < t.judgmentCount) {
        ++t.judgmentCursor;
        return;
    }
    if (t.usable && !t.world && !t.replaying) {
        if (t.judgmentCount < ReactionTape::JUDGMENTS)
            t.judgments[t.judgmentCount++] = static_cast<std::uint8_t>(c.id);
        else
            t.usable = false;
    }
}

int Game::conjure(int p, int id) {
    Hand& hand = ps_[static_cast<std::size_t>(p)].hand;
    for (std::size_t i = 0; i < hand.size(); ++i)
        if (hand[i].id == id) return static_cast<int>(i);
    if (hand.empty() || p == tape_.viewer) return -1;
    // Swapped with the hand's last card, which goes where the wanted card was.
    std::size_t slot = hand.size() - 1;
    Card out = hand[slot];
    for (Card& c : deck_)
        if (c.id == id) {
            hand.set(slot, c);
            c = out;
            return static_cast<int>(slot);
        }
    for (int q = 0; q < 6; ++q) {
        if (q == p || q == tape_.viewer) continue;
        Hand& other = ps_[static_cast<std::size_t>(q)].hand;
        for (std::size_t i = 0; i < other.size(); ++i)
            if (other[i].id == id) {
                hand.set(slot, other[i]);
                other.set(i, out);
                return static_cast<int>(slot);
            }
    }
    return -1;
}

namespace {

// A card of type t in a place the viewer cannot see, by id; -1 when none.
int hiddenCardOf(const Game& g, CardType t, int viewer, const CardList& deck,
                 const std::array<Player, 6>& ps) {
    for (const Card& c : deck)
        if (c.type == t) return c.id;
    for (int q = 0; q < 6; ++q) {
        if (q == viewer) continue;
        for (const Card& c : ps[static_cast<std::size_t>(q)].hand)
            if (c.type == t) return c.id;
    }
    (void)g;
    return -1;
}

} // namespace

// A replayed seat that saved or nullified then holds a card for it now; one that answered with a card
// holds that card.
void Game::tapeReady(int p, Question kind) {
    ReactionTape& t = tape_;
    if (!t.replaying || t.exact || t.cursor >= t.size) return;
    const TapeEntry& e = t.entries[t.cursor];
    if (e.seat != p || e.kind != kind || !e.shown) return;
    Player& x = ps_[static_cast<std::size_t>(p)];
    if (kind == Question::Dodge || kind == Question::SlashAnswer) {
        if (e.value > 0) conjure(p, e.value);
    } else if (kind == Question::Save && e.value == 1) {
        if (!x.hand.has(Peach)) {
            int id = hiddenCardOf(*this, Peach, t.viewer, deck_, ps_);
            if (id > 0) conjure(p, id);
        }
    } else if (kind == Question::Nullify && e.value == 1) {
        if (!x.hand.has(Nullification)) {
            int id = hiddenCardOf(*this, Nullification, t.viewer, deck_, ps_);
            if (id > 0) conjure(p, id);
        }
    }
}

void Game::tapeNullifyReady() {
    ReactionTape& t = tape_;
    if (!t.replaying || t.exact || t.cursor >= t.size) return;
    const TapeEntry& e = t.entries[t.cursor];
    if (e.kind == Question::Nullify) tapeReady(e.seat, Question::Nullify);
}

namespace {

// An answer a world replays: one every seat saw. A seat is asked for a save or a nullification only
// when it holds a card for it, so a no tells what it holds; where the top cards go, and the stance that
// lets 鬼才 change a judgment or not, only the seat knows.
bool seenByAll(const TapeEntry& e) {
    if (e.kind == Question::Stance || e.kind == Question::Top) return false;
    if ((e.kind == Question::Save || e.kind == Question::Nullify) && e.value == 0) return false;
    return e.shown;
}

} // namespace

// The copy is the table at the boundary. An exact copy replays everything. A world replays only what
// every seat saw: of the actions begun, the one in progress (an action the rules refused showed no card
// and changed nothing), and of the answers since it began, those every seat saw; a question the tape
// does not hold then gets a no (a save, a nullification, a card) or the world's own answer (a stance,
// the top cards).
void Game::startReplay(const ReactionTape& source, int viewer, const int* answer, bool exact) {
    ReactionTape& t = tape_;
    t.clear();
    t.world = true;
    t.wanted = false;
    t.replaying = true;
    t.on = true;
    t.exact = exact;
    t.viewer = viewer;
    t.actor = source.actor;
    std::size_t first = 0, firstRoll = 0, firstJudgment = 0;
    if (exact || source.attemptCount == 0) {
        // Everything is replayed where it stood: each attempt begins where it began.
        t.attemptCount = source.attemptCount;
        t.attempts = source.attempts;
        t.attemptEntry = source.attemptEntry;
        t.attemptRoll = source.attemptRoll;
        t.attemptJudgment = source.attemptJudgment;
    } else {
        // Only the last attempt is replayed, and its answers, rolls and cards now come first.
        std::size_t last = source.attemptCount - 1;
        t.attemptCount = 1;
        t.attempts[0] = source.attempts[last];
        first = source.attemptEntry[last];
        firstRoll = source.attemptRoll[last];
        firstJudgment = source.attemptJudgment[last];
        t.attemptEntry[0] = 0;
        t.attemptRoll[0] = 0;
        t.attemptJudgment[0] = 0;
    }
    t.size = 0;
    for (std::size_t k = first; k < source.size; ++k)
        if (exact || seenByAll(source.entries[k])) t.entries[t.size++] = source.entries[k];
    t.rollCount = 0;
    for (std::size_t k = firstRoll; k < source.rollCount; ++k) t.rolls[t.rollCount++] = source.rolls[k];
    t.judgmentCount = 0;
    for (std::size_t k = firstJudgment; k < source.judgmentCount; ++k)
        t.judgments[t.judgmentCount++] = source.judgments[k];
    t.asking = source.asking;
    t.askingKind = source.askingKind;
    t.hasAnswer = answer != nullptr;
    t.answer = answer ? *answer : 0;
}

bool Game::resumeHere(Game& into, int answer) const {
    if (!tape_.usable || !tape_.boundary || tape_.asking < 0) return false;
    into = *tape_.boundary;
    into.startReplay(tape_, -1, &answer, true);
    ReactionTape& t = into.tape_;
    t.world = false;
    t.wanted = true;
    t.usable = true;
    t.boundary = tape_.boundary;
    t.hasEnginesAfter = true;
    t.enginesAfter = playerRng_;
    return true;
}

} // namespace kvr

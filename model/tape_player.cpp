// The computer player behind which every seat sits while a game keeps or replays a reaction tape: it
// puts each answer of the seat's own player on the tape, or gives back the answer the tape holds.
#include <optional>

#include "model/game.hpp"

namespace kvr {

namespace {

// Seat lists and orders are kept as digits in base 8 (a digit is the seat or index plus one).
int packSeats(const int* first, const int* last) {
    int out = 0, scale = 1;
    for (; first != last; ++first, scale *= 8) out += (*first + 1) * scale;
    return out;
}

SeatList unpackSeats(int v) {
    SeatList out;
    for (; v > 0; v /= 8) out.push_back(v % 8 - 1);
    return out;
}

} // namespace

class TapePlayer final : public ComputerPlayer {
    static const ComputerPlayer& own(const Game& g, int p) { return g.ownComputer(p); }

    static void record(ReactionTape& t, int p, Question k, bool shown, int value) {
        if (t.size >= ReactionTape::ENTRIES) {
            t.usable = false;
            return;
        }
        t.entries[t.size++] = TapeEntry{static_cast<std::int8_t>(p), k, shown, value};
    }

    // The answer to question k of seat p. Replaying: the tape's answer when the question is the tape's
    // next one; `decline` (when there is one) for a question the tape does not hold but a seat dealt a
    // card it lacked then may be asked (it said no, or was not asked); the answer that ends the replay;
    // otherwise the replay went astray and the seat's own player answers from then on. Keeping a tape:
    // the seat's own answer, put on it.
    template <class T, class Ask, class Enc, class Dec>
    static T through(const Game& cg, int p, Question k, bool shown, std::optional<T> decline, Ask ask,
                     Enc enc, Dec dec) {
        Game& g = const_cast<Game&>(cg);
        ReactionTape& t = g.tape_;
        if (t.replaying) {
            // A world never holds these on its tape: its own player answers.
            if (!t.exact && (k == Question::Stance || k == Question::Top)) return ask();
            if (t.cursor < t.size) {
                const TapeEntry e = t.entries[t.cursor];
                if (e.seat == p && e.kind == k) {
                    ++t.cursor;
                    if (!e.shown && !t.exact) return ask();
                    std::optional<T> v = dec(g, e.value);
                    if (v) return *v;
                } else if (decline && !t.exact) {
                    return *decline;
                }
            } else if (t.hasAnswer && !t.answered && p == t.asking && k == t.askingKind) {
                t.answered = true;
                t.replaying = false;
                if (t.hasEnginesAfter) g.playerRng_ = t.enginesAfter;
                std::optional<T> v = dec(g, t.answer);
                if (t.exact) record(t, p, k, shown, t.answer);
                if (v) return *v;
                t.failed = true;
                return ask();
            } else if (decline && !t.exact) {
                return *decline;
            }
            t.failed = true;
            t.replaying = false;
            return ask();
        }
        if (t.usable && !t.world) {
            int was = t.asking;
            Question wasKind = t.askingKind;
            t.asking = p;
            t.askingKind = k;
            T out = ask();
            t.asking = was;
            t.askingKind = wasKind;
            if (t.usable) record(t, p, k, shown, enc(g, out));
            return out;
        }
        return ask();
    }

    // A hand card kept by id; in a world the card is fetched into the hand when it lies elsewhere.
    static int cardId(const Game& g, int p, int index) {
        const Hand& h = g.ps_[static_cast<std::size_t>(p)].hand;
        return index >= 0 && static_cast<std::size_t>(index) < h.size()
                   ? h[static_cast<std::size_t>(index)].id
                   : -1;
    }
    static std::optional<int> handIndex(Game& g, int p, int id) {
        if (id < 0) return -1;
        int i = g.conjure(p, id);
        if (i < 0) return std::nullopt;
        return i;
    }

    template <class T> static std::optional<T> plain(Game&, int v) { return static_cast<T>(v); }
    // A seat, or -1 for none; anything else means the replay went astray.
    static std::optional<int> seat(Game&, int v) {
        if (v < -1 || v > 5) return std::nullopt;
        return v;
    }
    static std::optional<bool> flag(Game&, int v) { return v != 0; }
    template <class T> static int same(const Game&, const T& v) { return static_cast<int>(v); }

  public:
    void playPhase(Game& g, int p) const override {
        ReactionTape& t = g.tape_;
        if (t.replaying && t.attemptCount > 0 && !t.actionDone && t.actor == p) {
            // The actions begun since the boundary are played again as they were, the refused ones
            // too; a seat that chose each through nextAction was asked first, which the tape holds.
            t.actionDone = true;
            for (std::size_t k = 0; k < t.attemptCount && t.replaying; ++k) {
                if (t.cursor < t.size && t.entries[t.cursor].seat == p &&
                    t.entries[t.cursor].kind == Question::Action)
                    ++t.cursor;
                PlayAction m = t.attempts[k];
                if (m.kind == PlayAction::Card) {
                    m.index = g.conjure(p, m.index);
                    if (m.index < 0) {
                        t.failed = true;
                        t.replaying = false;
                        break;
                    }
                }
                Optional<int> target = m.target >= 0 ? Optional<int>(m.target) : Optional<int>();
                bool moved = m.kind == PlayAction::Card           ? g.useCard(p, m.index, target)
                             : m.kind == PlayAction::VirtualSlash ? g.useVirtualSlash(p)
                                                                  : g.activeSkill(p);
                if (!moved) continue;
                g.afterAction();
                if (!g.ps_[static_cast<std::size_t>(p)].alive || g.ended_ || g.haltsMidPlay()) return;
                break;
            }
        }
        own(g, p).playPhase(g, p);
    }
    PlayAction nextAction(Game& g, int p, const std::vector<PlayAction>& tried) const override {
        return through<PlayAction>(
            g, p, Question::Action, true, std::nullopt, [&] { return own(g, p).nextAction(g, p, tried); },
            [p](const Game& w, const PlayAction& m) {
                int id = m.kind == PlayAction::Card ? cardId(w, p, m.index) : -1;
                return static_cast<int>(m.kind) | (id + 1) << 2 | (m.target + 1) << 10;
            },
            [p](Game& w, int v) -> std::optional<PlayAction> {
                PlayAction m{static_cast<PlayAction::Kind>(v & 3), -1, ((v >> 10) & 15) - 1};
                if (m.kind == PlayAction::Card) {
                    m.index = w.conjure(p, ((v >> 2) & 255) - 1);
                    if (m.index < 0) return std::nullopt;
                }
                return m;
            });
    }
    int foe(const Game& g, int p, bool inRange, bool needsCards) const override {
        return through<int>(
            g, p, Question::Target, true, std::nullopt,
            [&] { return own(g, p).foe(g, p, inRange, needsCards); }, same<int>, seat);
    }
    SeatList foes(const Game& g, int p, bool inRange) const override {
        return through<SeatList>(
            g, p, Question::Targets, true, std::nullopt, [&] { return own(g, p).foes(g, p, inRange); },
            [](const Game&, const SeatList& l) { return packSeats(l.begin(), l.end()); },
            [](Game&, int v) -> std::optional<SeatList> { return unpackSeats(v); });
    }
    int ally(const Game& g, int p, bool wounded) const override {
        return through<int>(
            g, p, Question::Target, true, std::nullopt, [&] { return own(g, p).ally(g, p, wounded); },
            same<int>, seat);
    }
    int stance(const Game& g, int p, int q) const override {
        return through<int>(
            g, p, Question::Stance, true, std::nullopt, [&] { return own(g, p).stance(g, p, q); }, same<int>,
            plain<int>);
    }
    int discard(const Game& g, int p) const override {
        return through<int>(
            g, p, Question::Discard, true, std::nullopt, [&] { return own(g, p).discard(g, p); },
            [p](const Game& w, int i) { return cardId(w, p, i); },
            [p](Game& w, int id) { return handIndex(w, p, id); });
    }
    int payCard(const Game& g, int p, const std::function<bool(const Card&)>& fits) const override {
        return through<int>(
            g, p, Question::Pay, true, std::nullopt, [&] { return own(g, p).payCard(g, p, fits); },
            [p](const Game& w, int i) { return cardId(w, p, i); },
            [p](Game& w, int id) { return handIndex(w, p, id); });
    }
    // Where the top cards go only the seat knows: a world asks its own player.
    TopOrder arrangeTop(const Game& g, int p, const CardList& top) const override {
        return through<TopOrder>(
            g, p, Question::Top, false, std::nullopt, [&] { return own(g, p).arrangeTop(g, p, top); },
            [](const Game&, const TopOrder& o) {
                int out = 0;
                for (std::size_t i = o.size(); i-- > 0;) out = out * 8 + static_cast<int>(o[i]);
                return out;
            },
            [](Game&, int v) -> std::optional<TopOrder> {
                TopOrder o{};
                for (std::size_t& i : o) {
                    i = static_cast<std::size_t>(v % 8);
                    v /= 8;
                }
                return o;
            });
    }
    std::size_t harvestPick(const Game& g, int p, const CardList& pool) const override {
        return through<std::size_t>(
            g, p, Question::Harvest, true, std::nullopt, [&] { return own(g, p).harvestPick(g, p, pool); },
            [&pool](const Game&, std::size_t i) { return i < pool.size() ? pool[i].id : -1; },
            [&pool](Game&, int id) -> std::optional<std::size_t> {
                for (std::size_t i = 0; i < pool.size(); ++i)
                    if (pool[i].id == id) return i;
                return std::nullopt;
            });
    }
    bool nullify(const Game& g, int p, int from, int target, std::string_view trick,
                 bool cancelled) const override {
        return through<bool>(
            g, p, Question::Nullify, true, false,
            [&] { return own(g, p).nullify(g, p, from, target, trick, cancelled); }, same<bool>, flag);
    }
    bool save(const Game& g, int p, int dying) const override {
        return through<bool>(
            g, p, Question::Save, true, false, [&] { return own(g, p).save(g, p, dying); }, same<bool>, flag);
    }
    int passSlash(const Game& g, int p, int from, const SeatList& candidates) const override {
        return through<int>(
            g, p, Question::Pass, true, std::nullopt,
            [&] { return own(g, p).passSlash(g, p, from, candidates); }, same<int>, seat);
    }
    bool iceSword(const Game& g, int p, int target) const override {
        return through<bool>(
            g, p, Question::IceSword, true, std::nullopt, [&] { return own(g, p).iceSword(g, p, target); },
            same<bool>, flag);
    }
    SeatList chain(const Game& g, int p) const override {
        return through<SeatList>(
            g, p, Question::Chain, true, std::nullopt, [&] { return own(g, p).chain(g, p); },
            [](const Game&, const SeatList& l) { return packSeats(l.begin(), l.end()); },
            [](Game&, int v) -> std::optional<SeatList> { return unpackSeats(v); });
    }
    int armedFoe(const Game& g, int p) const override {
        return through<int>(
            g, p, Question::Target, true, std::nullopt, [&] { return own(g, p).armedFoe(g, p); }, same<int>,
            seat);
    }
    int victim(const Game& g, int p, int armed, const SeatList& legal) const override {
        return through<int>(
            g, p, Question::Victim, true, std::nullopt, [&] { return own(g, p).victim(g, p, armed, legal); },
            same<int>, seat);
    }
    int lockTarget(const Game& g, int p, CardType t) const override {
        return through<int>(
            g, p, Question::Target, true, std::nullopt, [&] { return own(g, p).lockTarget(g, p, t); },
            same<int>, seat);
    }
    void malePair(const Game& g, int p, const SeatList& males, int& first, int& second) const override {
        int both = through<int>(
            g, p, Question::Pair, true, std::nullopt,
            [&] {
                int a = -1, b = -1;
                own(g, p).malePair(g, p, males, a, b);
                return (a + 1) * 8 + (b + 1);
            },
            same<int>, plain<int>);
        first = both / 8 - 1;
        second = both % 8 - 1;
    }
    int answerCard(const Game& g, int p, CardType need, int offered) const override {
        Question k = need == Dodge ? Question::Dodge : Question::SlashAnswer;
        return through<int>(
            g, p, k, true, -1, [&] { return own(g, p).answerCard(g, p, need, offered); },
            [p](const Game& w, int i) { return cardId(w, p, i); },
            [p](Game& w, int id) { return handIndex(w, p, id); });
    }
};

const ComputerPlayer& tapePlayer() {
    static const TapePlayer player;
    return player;
}

} // namespace kvr

// A computer player that must not peek, and the one door it has to the table. The rules ask every
// computer seat through ComputerPlayer, which is handed the whole game; a SeatPlayer is asked the same
// questions through a SeatDesk instead, which holds its seat's view, its own random engine and its search
// budget, and builds worlds (games in which every fact the seat cannot see is dealt by the player) but
// never hands out the game itself. Code written against SeatPlayer cannot read another seat's hand, the
// draw pile or a hidden role: such a read does not compile.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "model/computer_player.hpp"
#include "model/seat_view.hpp"

namespace kvr {

class Game;

// The hidden facts of one world as a player deals them: the cards it cannot see, by id (the first
// handCount go to the lowest other seat's hand, the next to the next seat's, the rest are the draw pile,
// drawn from the back), every seat's role (the public ones as they are), and the seed of the world's own
// random engine.
struct HiddenDeal {
    std::vector<int> cards;
    std::array<Role, 6> roles{};
    std::uint64_t seed = 0;
};

// What a question put to the seat is about, for a search that resumes the game at it.
enum class Question : std::uint8_t {
    None,
    Action,
    Target,
    Targets,
    Stance,
    Discard,
    Pay,
    Top,
    Harvest,
    Nullify,
    Save,
    Pass,
    IceSword,
    Chain,
    Victim,
    Pair,
    Dodge,
    SlashAnswer,
};

// The work this thread's searches have done so far: plays in the budget's units, and phases and actions
// played in worlds. A search adds to it and a timed decision reads what it added; play never reads it.
struct SearchWork {
    long plays = 0;
    long actions = 0;
};
SearchWork& searchWork();

class SeatDesk {
  public:
    SeatDesk(const SeatDesk&) = delete;
    SeatDesk& operator=(const SeatDesk&) = delete;

    int seat() const { return seat_; }
    // Built at the first call: many answers of the rules of thumb never read it.
    const SeatView& view() const {
        if (!view_) fillView();
        return *view_;
    }
    // The ids of the cards the seat cannot see (also in view().unseen once asked for).
    const std::bitset<DECK_SIZE + 1>& unseen() const;
    // The seat's own random engine: a search draws from it and from nothing else.
    std::uint64_t& rng();
    // How many games a search may play out for this decision: the think budget in plays.
    int plays() const;

    // Fills `world` with this table as the seat sees it, every hidden fact taken from `deal`: a silent
    // game whose seats the classic player plays, with the dealt roles open. False when the deal does not
    // fit the view (a card the seat can see, a count or a public role that differs).
    bool world(const HiddenDeal& deal, Game& world) const;

    // The question being answered can be searched: the game was at an action boundary not long ago and
    // every answer given since can be given again.
    bool resumable() const;
    // The seat's view at that boundary: a reaction world is dealt from it.
    const SeatView& boundaryView() const;
    // Fills `world` with the table at that boundary, hidden facts from `deal`, set to play the action
    // since then again with every public answer as it was given, this question answered with `answer`
    // (a card id, a seat, or 1 and 0 for yes and no), and the game after as its players choose.
    bool reactionWorld(const HiddenDeal& deal, int answer, Game& world) const;

  private:
    friend class Game;
    friend class SeatPlayerAdapter;
    SeatDesk(Game& game, int seat, Question question);
    ~SeatDesk();
    void fillView() const;

    Game& game_;
    int seat_;
    Question question_;
    // Filled only when read, into a view this thread kept from an earlier desk: a view is over two
    // kilobytes, and setting up a fresh one for every question a world asks cost more than filling it.
    mutable SeatView* view_ = nullptr;
    mutable std::size_t viewSlot_ = 0;
    mutable bool unseenKnown_ = false;
    mutable std::unique_ptr<SeatView> boundaryView_;
};

// The questions of ComputerPlayer, asked of a seat through its desk.
class SeatPlayer {
  public:
    virtual ~SeatPlayer() = default;

    virtual PlayAction nextAction(SeatDesk& d, const std::vector<PlayAction>& tried) const = 0;
    virtual int foe(SeatDesk& d, bool inRange, bool needsCards) const = 0;
    virtual SeatList foes(SeatDesk& d, bool inRange) const = 0;
    virtual int ally(SeatDesk& d, bool wounded) const = 0;
    virtual int stance(SeatDesk& d, int q) const = 0;
    virtual int discard(SeatDesk& d) const = 0;
    virtual int payCard(SeatDesk& d, const std::function<bool(const Card&)>& fits) const = 0;
    virtual TopOrder arrangeTop(SeatDesk& d, const CardList& top) const = 0;
    virtual std::size_t harvestPick(SeatDesk& d, const CardList& pool) const = 0;
    virtual bool nullify(SeatDesk& d, int from, int target, std::string_view trick, bool cancelled) const = 0;
    virtual bool save(SeatDesk& d, int dying) const = 0;
    virtual int passSlash(SeatDesk& d, int from, const SeatList& candidates) const = 0;
    virtual bool iceSword(SeatDesk& d, int target) const = 0;
    virtual SeatList chain(SeatDesk& d) const = 0;
    virtual int armedFoe(SeatDesk& d) const = 0;
    virtual int victim(SeatDesk& d, int armed, const SeatList& legal) const = 0;
    virtual int lockTarget(SeatDesk& d, CardType t) const = 0;
    virtual void malePair(SeatDesk& d, const SeatList& males, int& first, int& second) const = 0;
    // The hand card to answer with when asked for a dodge (need Dodge) or a slash (need Slash), or -1;
    // `offered` is the first card that fits, -1 when none does.
    virtual int answerCard(SeatDesk& d, CardType need, int offered) const = 0;
};

// The rules' ComputerPlayer for a SeatPlayer: every question goes through a desk for the asked seat.
// Decisions are timed when the game's options ask.
class SeatPlayerAdapter final : public ComputerPlayer {
  public:
    explicit SeatPlayerAdapter(const SeatPlayer& inner) : inner_(inner) {}

    void playPhase(Game& g, int p) const override;
    PlayAction nextAction(Game& g, int p, const std::vector<PlayAction>& tried) const override;
    int foe(const Game& g, int p, bool inRange, bool needsCards) const override;
    SeatList foes(const Game& g, int p, bool inRange) const override;
    int ally(const Game& g, int p, bool wounded) const override;
    int stance(const Game& g, int p, int q) const override;
    int discard(const Game& g, int p) const override;
    int payCard(const Game& g, int p, const std::function<bool(const Card&)>& fits) const override;
    TopOrder arrangeTop(const Game& g, int p, const CardList& top) const override;
    std::size_t harvestPick(const Game& g, int p, const CardList& pool) const override;
    bool nullify(const Game& g, int p, int from, int target, std::string_view trick,
                 bool cancelled) const override;
    bool save(const Game& g, int p, int dying) const override;
    int passSlash(const Game& g, int p, int from, const SeatList& candidates) const override;
    bool iceSword(const Game& g, int p, int target) const override;
    SeatList chain(const Game& g, int p) const override;
    int armedFoe(const Game& g, int p) const override;
    int victim(const Game& g, int p, int armed, const SeatList& legal) const override;
    int lockTarget(const Game& g, int p, CardType t) const override;
    void malePair(const Game& g, int p, const SeatList& males, int& first, int& second) const override;
    int answerCard(const Game& g, int p, CardType need, int offered) const override;

  private:
    template <class F> auto ask(const Game& g, int p, Question q, F f) const;
    const SeatPlayer& inner_;
};

} // namespace kvr

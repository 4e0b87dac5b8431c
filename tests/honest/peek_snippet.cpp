// Compiled by the Honest tests with PEEK set: 0 reads what the seat sees and must compile; every other
// value plants a peek that a seat player or its search could have tried, and must not compile.
#include <cstddef>

#include "model/game.hpp"
#include "model/seat_player.hpp"

namespace kvr {

#if PEEK == 2 || PEEK == 3
// The names that were once friends of the game.
class Search {
  public:
    static std::size_t peek(const Game& g);
};
class StrongPlayer {
  public:
    static std::size_t peek(const Game& g);
};
#endif

class Snippet : public SeatPlayer {
  public:
    int answerCard(SeatDesk& d, CardType, int offered) const override {
#if PEEK == 0
        // Its own hand, the public table, and a world it dealt itself.
        HiddenDeal deal;
        Game world(Normal3v3, Options{}, nullptr);
        bool dealt = d.world(deal, world);
        return static_cast<int>(d.view().hand.size()) + d.view().at(1).handCount + dealt + offered;
#elif PEEK == 1
        // The game behind the desk.
        return static_cast<int>(d.game_.players()[1].hand.size()) + offered;
#elif PEEK == 4
        // A desk for another seat, to read its hand from its view.
        SeatDesk other(d, 2, Question::None);
        return static_cast<int>(other.view().hand.size()) + offered;
#elif PEEK == 5
        // The desk taken for the game.
        const Game& g = d;
        return static_cast<int>(g.players()[1].hand.size()) + offered;
#else
        (void)d;
        return offered;
#endif
    }
    PlayAction nextAction(SeatDesk&, const std::vector<PlayAction>&) const override { return {}; }
    int foe(SeatDesk&, bool, bool) const override { return -1; }
    SeatList foes(SeatDesk&, bool) const override { return {}; }
    int ally(SeatDesk&, bool) const override { return -1; }
    int stance(SeatDesk&, int) const override { return 0; }
    int discard(SeatDesk&) const override { return 0; }
    int payCard(SeatDesk&, const std::function<bool(const Card&)>&) const override { return -1; }
    TopOrder arrangeTop(SeatDesk&, const CardList&) const override { return {}; }
    std::size_t harvestPick(SeatDesk&, const CardList&) const override { return 0; }
    bool nullify(SeatDesk&, int, int, std::string_view, bool) const override { return false; }
    bool save(SeatDesk&, int) const override { return false; }
    int passSlash(SeatDesk&, int, const SeatList&) const override { return -1; }
    bool iceSword(SeatDesk&, int) const override { return false; }
    SeatList chain(SeatDesk&) const override { return {}; }
    int armedFoe(SeatDesk&) const override { return -1; }
    int victim(SeatDesk&, int, const SeatList&) const override { return -1; }
    int lockTarget(SeatDesk&, CardType) const override { return -1; }
    void malePair(SeatDesk&, const SeatList&, int&, int&) const override {}
};

#if PEEK == 2
// The search reading a hidden hand as it could when it was a friend of the game.
std::size_t Search::peek(const Game& g) { return g.ps_[1].hand.size(); }
#elif PEEK == 3
std::size_t StrongPlayer::peek(const Game& g) { return g.deck_.size(); }
#endif

const SeatPlayerAdapter SNIPPET_PLAYER{Snippet{}};

} // namespace kvr

#include "ai/players.hpp"

#include <algorithm>
#include <array>

#include "model/game.hpp"

namespace kvr {

namespace {

// The first hand card that fits, or -1.
int firstFitting(const Hand& hand, const std::function<bool(const Card&)>& fits) {
    for (std::size_t i = 0; i < hand.size(); ++i)
        if (fits(hand[i])) return static_cast<int>(i);
    return -1;
}

} // namespace

class ClassicPlayer : public ComputerPlayer {
  public:
    bool classic() const override { return true; }

    // The top cards in the order of their value to seat p, the most valuable drawn first; ties keep
    // their order (an insertion sort: five cards at most).
    static TopOrder byKeepValue(const Game& g, int p, const CardList& top) {
        TopOrder order{};
        std::array<int, 5> value{};
        std::size_t n = std::min(top.size(), order.size());
        for (std::size_t i = 0; i < n; ++i) {
            int v = g.keepValue(top[i], p);
            std::size_t k = i;
            for (; k > 0 && value[k - 1] < v; --k) {
                order[k] = order[k - 1];
                value[k] = value[k - 1];
            }
            order[k] = i;
            value[k] = v;
        }
        return order;
    }

    void playPhase(Game& g, int p) const override { g.aiPlay(p); }
    int foe(const Game& g, int p, bool inRange, bool needsCards) const override {
        return g.aiEnemy(p, inRange, needsCards);
    }
    SeatList foes(const Game& g, int p, bool inRange) const override { return g.enemies(p, inRange); }
    int ally(const Game& g, int p, bool wounded) const override { return g.aiAlly(p, wounded); }
    int stance(const Game& g, int p, int q) const override { return g.attitude(p, q); }
    int discard(const Game& g, int p) const override { return g.cheapestCard(p); }
    int payCard(const Game& g, int p, const std::function<bool(const Card&)>& fits) const override {
        return firstFitting(g.ps_[p].hand, fits);
    }
    TopOrder arrangeTop(const Game& g, int p, const CardList& top) const override {
        return byKeepValue(g, p, top);
    }
    std::size_t harvestPick(const Game& g, int p, const CardList& pool) const override {
        std::size_t pick = 0;
        for (std::size_t i = 1; i < pool.size(); ++i)
            if (g.keepValue(pool[i], p) > g.keepValue(pool[pick], p)) pick = i;
        return pick;
    }
    bool nullify(const Game& g, int p, int from, int target, std::string_view,
                 bool cancelled) const override {
        return g.attitude(p, cancelled ? from : target) > 0;
    }
    bool save(const Game& g, int p, int dying) const override {
        return p == dying || g.attitude(p, dying) >= 1;
    }
    int passSlash(const Game& g, int p, int from, const SeatList& candidates) const override {
        return g.attitude(p, from) < 0 && !candidates.empty() ? candidates.front() : -1;
    }
    bool iceSword(const Game&, int, int) const override { return true; }
    SeatList chain(const Game& g, int p) const override {
        SeatList out;
        int foe = g.aiEnemy(p, false, false);
        if (foe >= 0) out.push_back(foe);
        int friendSeat = g.aiAlly(p, false);
        if (friendSeat >= 0 && g.ps_[friendSeat].chained) out.push_back(friendSeat);
        return out;
    }
    int armedFoe(const Game& g, int p) const override {
        for (int q : g.enemies(p, false))
            if (g.ps_[q].weapon) return q;
        return -1;
    }
    int victim(const Game&, int, int, const SeatList& legal) const override {
        return legal.empty() ? -1 : legal.front();
    }
    int lockTarget(const Game& g, int p, CardType) const override { return g.aiEnemy(p, false, false); }
    // The first of the pair is the best foe, male or not; the second the first other male.
    void malePair(const Game& g, int p, const SeatList& males, int& first, int& second) const override {
        first = g.aiEnemy(p, false, false);
        second = -1;
        for (int q : males)
            if (second < 0 && q != first) second = q;
    }
};

const ComputerPlayer& classicPlayer() {
    static const ClassicPlayer player;
    return player;
}

const ComputerPlayer& computerPlayer(AiKind kind) {
    return kind == StrongAi ? strongPlayer() : classicPlayer();
}

// Every true-role question goes through attitude: one asked for a seat whose computer player must not
// peek is counted. Kept apart from the questions themselves, which are asked on every action.
void Game::auditRoleRead(int a) const {
    if (a >= 0 && !ps_[a].human && &computer(a) != &classicPlayer()) ++roleReads_;
}

// Every read of a set of seats counts as one read for each seat in it.
void Game::auditRoleReads(int a, unsigned seats) const {
    for (; seats != 0; seats &= seats - 1) auditRoleRead(a);
}

// A seat's own player, else the options choose: the strong player for every computer seat, or for
// seats of the roles listed.
const ComputerPlayer& Game::computerByOptions(int p) const {
    bool strong = opt_.ai == StrongAi || ((opt_.strongRoles >> ps_[p].role) & 1U) != 0;
    return strong ? strongPlayer() : classicPlayer();
}

} // namespace kvr

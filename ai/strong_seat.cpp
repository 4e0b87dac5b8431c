// The strong player and its rules of thumb as seat players: every answer from the seat's desk, the play
// phase and the reactions where something is at stake searched, everything else by rule of thumb.
#include <algorithm>

#include "ai/players.hpp"
#include "ai/search.hpp"
#include "ai/strong.hpp"
#include "model/seat_player.hpp"

namespace kvr {

namespace {

class ThumbSeat : public SeatPlayer {
  public:
    PlayAction nextAction(SeatDesk& d, const std::vector<PlayAction>& tried) const override {
        return strongMove(d.view(), tried);
    }
    int foe(SeatDesk& d, bool inRange, bool needsCards) const override {
        return inRange ? strongSlashTarget(d.view()) : strongFoe(d.view(), needsCards);
    }
    SeatList foes(SeatDesk& d, bool inRange) const override { return strongFoes(d.view(), inRange); }
    int ally(SeatDesk& d, bool wounded) const override { return strongFriend(d.view(), wounded, false); }
    int stance(SeatDesk& d, int q) const override { return strongStance(d.view(), q); }
    int discard(SeatDesk& d) const override { return strongDiscard(d.view()); }
    int payCard(SeatDesk& d, const std::function<bool(const Card&)>& fits) const override {
        return strongCheapest(d.view(), fits);
    }
    // The cards worth most to the seat are drawn first.
    TopOrder arrangeTop(SeatDesk& d, const CardList& top) const override {
        TopOrder order{};
        std::size_t n = std::min(top.size(), order.size());
        for (std::size_t i = 0; i < n; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n),
                         [&](std::size_t a, std::size_t b) {
                             return strongKeep(d.view(), top[a]) > strongKeep(d.view(), top[b]);
                         });
        return order;
    }
    std::size_t harvestPick(SeatDesk& d, const CardList& pool) const override {
        std::size_t best = 0;
        for (std::size_t i = 1; i < pool.size(); ++i)
            if (strongKeep(d.view(), pool[i]) > strongKeep(d.view(), pool[best])) best = i;
        return best;
    }
    bool nullify(SeatDesk& d, int, int target, std::string_view trick, bool cancelled) const override {
        return strongNullify(d.view(), target, trick, cancelled);
    }
    bool save(SeatDesk& d, int dying) const override { return strongSave(d.view(), dying); }
    // Passes the slash on only to a foe, and only when the slasher is no friend.
    int passSlash(SeatDesk& d, int from, const SeatList& candidates) const override {
        const SeatView& v = d.view();
        if (strongStance(v, from) > 0) return -1;
        for (int q : candidates)
            if (strongStance(v, q) < 0) return q;
        return -1;
    }
    // Hit points are worth more than two cards to a target close to dying.
    bool iceSword(SeatDesk& d, int target) const override { return d.view().at(target).hp > 2; }
    // Two foes chained carry one fire to both; otherwise free a chained friend, or recast.
    SeatList chain(SeatDesk& d) const override {
        const SeatView& v = d.view();
        SeatList foes;
        for (int q : strongFoes(v, false))
            if (!v.at(q).chained && foes.size() < 2) foes.push_back(q);
        if (foes.size() == 2) return foes;
        SeatList friends;
        for (int q = 0; q < 6; ++q)
            if (v.at(q).alive && v.at(q).chained && strongStance(v, q) > 0 && friends.size() < 2)
                friends.push_back(q);
        return friends;
    }
    int armedFoe(SeatDesk& d) const override {
        for (int q : strongFoes(d.view(), false))
            if (d.view().at(q).weapon) return q;
        return -1;
    }
    int victim(SeatDesk& d, int armed, const SeatList& legal) const override {
        return strongVictim(d.view(), armed, legal);
    }
    int lockTarget(SeatDesk& d, CardType t) const override { return strongLock(d.view(), t); }
    void malePair(SeatDesk& d, const SeatList&, int& first, int& second) const override {
        strongMalePair(d.view(), first, second);
    }
    // A card that fits is always played.
    int answerCard(SeatDesk&, CardType, int offered) const override { return offered; }
};

// Plays for a searched answer: a share of the decision's budget, the answer having fewer candidates.
int reactionPlays(const SeatDesk& d) { return std::max(24, Search::playsFor(d.view(), d.plays()) / 3); }

bool identityUnsure(const SeatView& v, int q) {
    if (v.mode != Identity || q == v.self) return false;
    int st = strongStance(v, q);
    return st >= -1 && st <= 1;
}

// The rules of thumb, with the play phase and the reactions that decide games searched: a save or a
// nullification whose beneficiary the seat cannot place, a nullification of a trick aimed at the seat
// itself, a card kept or played in a duel or against a slash when the seat can afford the hit, 流离's
// new target, and the discard at the end of the turn. Elsewhere the rule of thumb answers.
class StrongSeat final : public ThumbSeat {
  public:
    PlayAction nextAction(SeatDesk& d, const std::vector<PlayAction>& tried) const override {
        return Search::bestMove(d, tried);
    }
    bool save(SeatDesk& d, int dying) const override {
        bool rule = ThumbSeat::save(d, dying);
        if (dying == d.seat() || !(identityUnsure(d.view(), dying) || d.view().role == Renegade)) return rule;
        return Search::bestAnswer(d, {rule ? 1 : 0, rule ? 0 : 1}, reactionPlays(d)) != 0;
    }
    bool nullify(SeatDesk& d, int from, int target, std::string_view trick, bool cancelled) const override {
        bool rule = ThumbSeat::nullify(d, from, target, trick, cancelled);
        const SeatView& v = d.view();
        bool mine = target == v.self && !helpfulTrick(trick);
        if (!mine && !identityUnsure(v, target)) return rule;
        return Search::bestAnswer(d, {rule ? 1 : 0, rule ? 0 : 1}, reactionPlays(d)) != 0;
    }
    int answerCard(SeatDesk& d, CardType, int offered) const override {
        const SeatView& v = d.view();
        if (offered < 0 || v.me().hp < 3) return offered;
        int id = v.hand[static_cast<std::size_t>(offered)].id;
        return Search::bestAnswer(d, {id, -1}, reactionPlays(d)) < 0 ? -1 : offered;
    }
    int passSlash(SeatDesk& d, int from, const SeatList& candidates) const override {
        int rule = ThumbSeat::passSlash(d, from, candidates);
        if (candidates.empty()) return rule;
        std::vector<int> answers{rule};
        if (rule >= 0) answers.push_back(-1);
        for (int q : candidates)
            if (q != rule && strongStance(d.view(), q) <= 0) answers.push_back(q);
        return Search::bestAnswer(d, answers, reactionPlays(d));
    }
    // The rule's card first, then the cheapest card of each other type, at most four.
    int discard(SeatDesk& d) const override {
        const SeatView& v = d.view();
        int rule = strongDiscard(v);
        if (rule < 0) return rule;
        std::vector<std::pair<int, std::size_t>> byWorth;
        for (std::size_t i = 0; i < v.hand.size(); ++i) byWorth.emplace_back(strongKeep(v, v.hand[i]), i);
        std::stable_sort(byWorth.begin(), byWorth.end());
        std::vector<int> answers{v.hand[static_cast<std::size_t>(rule)].id};
        std::vector<CardType> types{v.hand[static_cast<std::size_t>(rule)].type};
        for (const auto& [worth, i] : byWorth) {
            if (answers.size() >= 4) break;
            if (std::find(types.begin(), types.end(), v.hand[i].type) != types.end()) continue;
            types.push_back(v.hand[i].type);
            answers.push_back(v.hand[i].id);
        }
        int id = Search::bestAnswer(d, answers, reactionPlays(d));
        for (std::size_t i = 0; i < v.hand.size(); ++i)
            if (v.hand[i].id == id) return static_cast<int>(i);
        return rule;
    }
};

const ThumbSeat THUMB_SEAT;
const StrongSeat STRONG_SEAT;

} // namespace

const ComputerPlayer& strongPlayer() {
    static const SeatPlayerAdapter player(STRONG_SEAT);
    return player;
}

const ComputerPlayer& rulesOfThumbPlayer() {
    static const SeatPlayerAdapter player(THUMB_SEAT);
    return player;
}

} // namespace kvr

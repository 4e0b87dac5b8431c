// A computer player that hands every decision of the play phase and every question to another: a test
// player derives from it and overrides only the questions it watches or plants a fault in. The dodge or
// slash answer and classic() keep the defaults, since a forwarder is not the player it asks.
#pragma once

#include "model/computer_player.hpp"

namespace kvr {

class ForwardingPlayer : public ComputerPlayer {
  public:
    explicit ForwardingPlayer(const ComputerPlayer& inner) : inner_(inner) {}

    void playPhase(Game& g, int p) const override { inner_.playPhase(g, p); }
    PlayAction nextAction(Game& g, int p, const std::vector<PlayAction>& tried) const override {
        return inner_.nextAction(g, p, tried);
    }
    int foe(const Game& g, int p, bool inRange, bool needsCards) const override {
        return inner_.foe(g, p, inRange, needsCards);
    }
    SeatList foes(const Game& g, int p, bool inRange) const override { return inner_.foes(g, p, inRange); }
    int ally(const Game& g, int p, bool wounded) const override { return inner_.ally(g, p, wounded); }
    int stance(const Game& g, int p, int q) const override { return inner_.stance(g, p, q); }
    int discard(const Game& g, int p) const override { return inner_.discard(g, p); }
    int payCard(const Game& g, int p, const std::function<bool(const Card&)>& fits) const override {
        return inner_.payCard(g, p, fits);
    }
    TopOrder arrangeTop(const Game& g, int p, const CardList& top) const override {
        return inner_.arrangeTop(g, p, top);
    }
    std::size_t harvestPick(const Game& g, int p, const CardList& pool) const override {
        return inner_.harvestPick(g, p, pool);
    }
    bool nullify(const Game& g, int p, int from, int target, std::string_view trick, bool c) const override {
        return inner_.nullify(g, p, from, target, trick, c);
    }
    bool save(const Game& g, int p, int dying) const override { return inner_.save(g, p, dying); }
    int passSlash(const Game& g, int p, int from, const SeatList& candidates) const override {
        return inner_.passSlash(g, p, from, candidates);
    }
    bool iceSword(const Game& g, int p, int target) const override { return inner_.iceSword(g, p, target); }
    SeatList chain(const Game& g, int p) const override { return inner_.chain(g, p); }
    int armedFoe(const Game& g, int p) const override { return inner_.armedFoe(g, p); }
    int victim(const Game& g, int p, int armed, const SeatList& legal) const override {
        return inner_.victim(g, p, armed, legal);
    }
    int lockTarget(const Game& g, int p, CardType t) const override { return inner_.lockTarget(g, p, t); }
    void malePair(const Game& g, int p, const SeatList& males, int& first, int& second) const override {
        inner_.malePair(g, p, males, first, second);
    }

  protected:
    const ComputerPlayer& inner_;
};

} // namespace kvr

// Test-only access to a Game's private state and rules.
#pragma once

#include <utility>

#include "model/game.hpp"

#define KV_FORWARD(name)                                                                                     \
    template <class... A> decltype(auto) name(A&&... a) { return g.name(std::forward<A>(a)...); }

namespace kvr {

struct GameProbe {
    Game& g;

    Mode& mode() { return g.mode_; }
    Options& opt() { return g.opt_; }
    GameRng& rng() { return g.rng_; }
    std::array<Player, 6>& ps() { return g.ps_; }
    Player& seat(int p) { return g.ps_[static_cast<std::size_t>(p)]; }
    CardList& deck() { return g.deck_; }
    CardList& discard() { return g.discard_; }
    CardList& pool() { return g.pool_; }
    int& human() { return g.human_; }
    int& current() { return g.current_; }
    // The game stands in seat p's play phase, as if its turn had begun in the round's order.
    void inPlayPhase(int p) {
        g.current_ = p;
        g.nextSeat_ = p + 1;
        g.step_ = Game::TurnStep::Play;
    }
    int& round() { return g.round_; }
    // The same at the start of its discard phase.
    void inDiscardPhase(int p) {
        inPlayPhase(p);
        g.step_ = Game::TurnStep::Discard;
    }
    ReactionTape& tape() { return g.tape_; }
    int& viewSeat() { return g.viewSeat_; }
    bool& ended() { return g.ended_; }
    std::string result() const { return std::string(g.result_); }
    std::function<void()>& actionHook() { return g.actionHook_; }
    std::array<std::uint64_t, 6>& playerRng() { return g.playerRng_; }
    std::array<std::array<std::int8_t, DECK_SIZE + 1>, 6>& seenIn() { return g.seenIn_; }
    std::int8_t pendingChoice() const { return g.pendingChoice_; }
    std::array<const ComputerPlayer*, 6>& players() { return g.players_; }
    bool& auditRoles() { return g.auditRoles_; }
    long roleReads() const { return g.roleReads_; }

    KV_FORWARD(makeDeck)
    KV_FORWARD(drawOne)
    KV_FORWARD(draw)
    KV_FORWARD(reshuffle)
    KV_FORWARD(throwCard)
    KV_FORWARD(makePlayers)
    KV_FORWARD(turn)
    KV_FORWARD(endPhase)
    KV_FORWARD(checkWin)
    KV_FORWARD(judgment)
    KV_FORWARD(judgmentPhase)
    KV_FORWARD(startSkills)
    KV_FORWARD(drawPhase)
    KV_FORWARD(discardPhase)
    KV_FORWARD(humanPlay)
    KV_FORWARD(useCard)
    KV_FORWARD(useSlashCard)
    KV_FORWARD(useVirtualSlash)
    KV_FORWARD(ironChain)
    KV_FORWARD(slash)
    KV_FORWARD(respondDodge)
    KV_FORWARD(respondSlash)
    KV_FORWARD(duel)
    KV_FORWARD(aoe)
    KV_FORWARD(harvest)
    KV_FORWARD(fireAttack)
    KV_FORWARD(borrowSword)
    KV_FORWARD(nullified)
    KV_FORWARD(placeDelayed)
    KV_FORWARD(distance)
    KV_FORWARD(range)
    KV_FORWARD(canSlash)
    KV_FORWARD(geometry)
    KV_FORWARD(slashLimit)
    KV_FORWARD(findCard)
    KV_FORWARD(findAnySlash)
    KV_FORWARD(findDodge)
    KV_FORWARD(findSameSuit)
    KV_FORWARD(hasDelayed)
    KV_FORWARD(totalCards)
    KV_FORWARD(resumeHere)
    KV_FORWARD(afterAction)
    KV_FORWARD(unseenBy)
    KV_FORWARD(noteSeen)
    KV_FORWARD(damage)
    KV_FORWARD(afterDamage)
    KV_FORWARD(heal)
    KV_FORWARD(rescue)
    KV_FORWARD(offerSave)
    KV_FORWARD(die)
    KV_FORWARD(takeHand)
    KV_FORWARD(takeRandomCard)
    KV_FORWARD(throwRandom)
    KV_FORWARD(triggerLoseEquip)
    KV_FORWARD(triggerEmptyHand)
    KV_FORWARD(activeSkill)
    KV_FORWARD(activeSkillAI)
    KV_FORWARD(attitude)
    KV_FORWARD(allies)
    KV_FORWARD(enemies)
    KV_FORWARD(aiAlly)
    KV_FORWARD(aiEnemy)
    KV_FORWARD(keepValue)
    KV_FORWARD(aiPlay)
    KV_FORWARD(computer)
    KV_FORWARD(viewFor)
    KV_FORWARD(fillView)
    KV_FORWARD(playActions)
    KV_FORWARD(noteHarm)
    KV_FORWARD(noteHelp)
    KV_FORWARD(paint)
    KV_FORWARD(log)
    KV_FORWARD(logParts)
    KV_FORWARD(clear)
    KV_FORWARD(ctext)
    KV_FORWARD(shownRole)
    KV_FORWARD(equips)
    KV_FORWARD(table)
    KV_FORWARD(hand)
    KV_FORWARD(line)
    KV_FORWARD(number)
    KV_FORWARD(readAnswer)
    KV_FORWARD(show)
    KV_FORWARD(dropSeat)
    KV_FORWARD(chooseTarget)
    KV_FORWARD(pause)
    KV_FORWARD(activateSeat)
    KV_FORWARD(publicMessage)

    static std::string roleText(Role r) { return Game::roleText(r); }
    static std::vector<int> numbers(const std::string& s) { return Game::numbers(s); }
};

} // namespace kvr

#undef KV_FORWARD

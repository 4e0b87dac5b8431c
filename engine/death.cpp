#include "model/game.hpp"

namespace kvr {

// Passes about the table from the dying seat until it is back at 1 or a whole pass gives nothing.
// Once the game is decided nobody is offered anything and the seat dies.
bool Game::rescue(int dying) {
    while (ps_[dying].hp < 1 && !ended_) {
        bool gave = false;
        for (int k = 0; k < 6 && ps_[dying].hp < 1; ++k) {
            int seat = (dying + k) % 6;
            if (ps_[seat].alive && offerSave(seat, dying))
                gave = true;
            else if (seat == dying)
                noteLacks(dying, std::uint64_t(1) << Peach | std::uint64_t(1) << Wine);
            else if (!allClassic_ && ps_[seat].alive)
                notePassedOver(seat, dying);
        }
        if (!gave) break;
    }
    return ps_[dying].hp >= 1;
}

bool Game::offerSave(int saver, int dying) {
    activateSeat(saver);
    Player& s = ps_[saver];
    if (tape_.replaying) tapeReady(saver, Question::Save);
    int index = findCard(saver, Peach);
    if (index < 0 && s.hero.id == Mendrel && current_ != saver)
        for (std::size_t i = 0; i < s.hand.size() && index < 0; ++i)
            if (s.hand[i].red()) index = static_cast<int>(i);
    if (index < 0 && saver == dying) index = findCard(saver, Wine);
    if (index < 0) return false;

    bool saves = s.human && askYes(saver, ps_[dying].hero.name + "濒死，是否救援？y/n：");
    if (!s.human || answerTimedOut_) saves = computer(saver).save(*this, saver, dying);
    if (!saves) return false;
    noteHelp(saver, dying);
    throwCard(takeHand(saver, index, true));
    ps_[dying].hp += 1;
    logParts(GREEN, s.hero.name, "救援", ps_[dying].hero.name, "，其体力=", ps_[dying].hp);
    return true;
}

void Game::die(int p, int killer) {
    Player& x = ps_[p];
    x.alive = false;
    x.revealed = true;
    if (hosted_) io_->seatOut(p);
    logParts(RED, "阵亡：", x.hero.name, "，身份【", roleText(x.role), "】。");
    while (!x.hand.empty()) throwCard(takeHand(p, 0, false));
    for (Optional<Card>* slot : x.slots()) {
        if (!*slot) continue;
        throwCard(**slot);
        slot->reset();
    }
    for (const Card& c : x.delayed) throwCard(c);
    x.delayed.clear();

    // A death after the decision carries no reward or penalty.
    if (mode_ == Identity && !ended_ && killer >= 0 && ps_[killer].alive) {
        if (x.role == Rebel) {
            draw(killer, 3, true);
        } else if (ps_[killer].role == Lord && x.role == Loyalist) {
            // As many discards as the Lord held when the penalty began: cards drawn by loss
            // skills during it (连营, 枭姬) stay, or a Kaspen Lord would draw and discard forever.
            int held = totalCards(killer);
            for (int k = 0; k < held && totalCards(killer) > 0; ++k) takeRandomCard(killer, false, -1);
            log("主公误杀忠臣，弃置所有牌。", RED);
        }
    }
    checkWin();
}

} // namespace kvr

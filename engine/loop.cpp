#include "model/game.hpp"

namespace kvr {

void Game::run() {
    playOn(-1);
    if (!opt_.autoPlay) {
        activateSeat(human_);
        clear();
        table();
    }
    textOf("\n================ 对局结束 ================\n", result_, "\n身份：");
    for (const Player& x : ps_) addPieces(line_, x.hero.name, "=", roleName(x.role), "  ");
    line_.append("\n");
    show(line_.view());
    if (io_) io_->farewell(textOf("\n[对局结束] ", result_, "\n"));
    if (!opt_.autoPlay) pause("按 Enter 继续...");
}

// Rounds of turns over the living seats from where the game stands: the rest of the turn in progress,
// then the next seats in order. A game ended by a death counts the round it ended in as begun, so
// `round_` is one past it; the round limit ends the game before its round begins.
void Game::playOn(long actions) {
    haltAt_ = actions < 0 ? -1 : counts_.actions + actions;
    while (!ended_ && !halted()) {
        if (step_ != TurnStep::Done) {
            playSteps(current_);
        } else if (nextSeat_ < 0) {
            if (round_ > opt_.maxRounds) {
                ended_ = true;
                result_ = "达到最大轮数，平局。";
                return;
            }
            if (opt_.autoPlay && io_) show(textOf("\n======== 第", round_, "轮 ========\n"));
            nextSeat_ = 0;
        } else if (nextSeat_ >= 6) {
            ++round_;
            nextSeat_ = -1;
        } else {
            int i = nextSeat_++;
            if (ps_[i].alive) turn(i);
        }
        if (ended_) ++round_;
    }
}

// Begins seat p's turn and plays its steps.
void Game::turn(int p) {
    ++counts_.turns;
    current_ = p;
    activateSeat(p);
    Player& x = ps_[p];
    x.slashCount = 0;
    x.rendeCount = 0;
    x.drank = x.luoyi = x.skipPlay = x.skipDraw = x.activeUsed = x.usedSlash = false;

    if (x.human) {
        clear();
        table();
        show("\n━━ 你的回合 · " + x.hero.name + " ━━\n");
    } else {
        logParts(YELLOW, "━━ ", x.hero.name, "的回合 ━━");
    }
    step_ = TurnStep::Start;
    playSteps(p);
}

// Runs the steps of seat p's turn from `step_` in order; after each phase the turn stops if the seat
// died or the game ended. A halt keeps the step, so the turn goes on from there when play resumes.
void Game::playSteps(int p) {
    Player& x = ps_[p];
    auto next = [this, p](TurnStep following) {
        step_ = following;
        afterAction();
        if (!ps_[p].alive || ended_) step_ = TurnStep::Done;
        return step_ != TurnStep::Done && !halted();
    };
    switch (step_) {
    case TurnStep::Start:
        startSkills(p);
        if (!next(TurnStep::Judgment)) return;
        [[fallthrough]];
    case TurnStep::Judgment:
        judgmentPhase(p);
        if (!next(TurnStep::Draw)) return;
        [[fallthrough]];
    case TurnStep::Draw:
        drawPhase(p);
        if (!next(TurnStep::Play)) return;
        [[fallthrough]];
    case TurnStep::Play:
        if (x.skipPlay)
            logParts(RED, x.hero.name, "跳过出牌阶段。");
        else if (x.human)
            humanPlay(p);
        else
            computer(p).playPhase(*this, p);
        if (midPlay_) {
            midPlay_ = false;
            return;
        }
        if (!x.skipPlay && x.alive && !allClassic_) notePlayEnd(p);
        if (!next(TurnStep::Discard)) return;
        [[fallthrough]];
    case TurnStep::Discard:
        discardPhase(p);
        step_ = TurnStep::End;
        afterAction();
        if (halted()) return;
        [[fallthrough]];
    case TurnStep::End:
        endPhase(p);
        step_ = TurnStep::Done;
        afterAction();
        [[fallthrough]];
    case TurnStep::Done:
        return;
    }
}

void Game::endPhase(int p) {
    Player& x = ps_[p];
    if (x.hero.id == Serafae && x.alive) {
        log("Serafae触发【闭月】摸1张。", MAGENTA);
        draw(p, 1, true);
    }
    // Wine and 裸衣 last for the turn: a slash or duel in another seat's turn gets neither bonus.
    x.drank = x.luoyi = false;
    if (x.human) pause("回合结束，按 Enter 继续...");
}

// Decides the game at most once: a death after the decision leaves the first result standing.
void Game::checkWin() {
    if (ended_) return;
    if (mode_ == Identity) {
        int lord = -1;
        for (int i = 0; i < 6; ++i)
            if (ps_[i].role == Lord) lord = i;
        if (lord >= 0 && ps_[lord].alive) {
            for (const Player& x : ps_)
                if (x.alive && (x.role == Rebel || x.role == Renegade)) return;
            ended_ = true;
            result_ = "反贼与内奸全部阵亡，主公/忠臣获胜！";
            return;
        }
        int living = 0;
        bool renegadeAlive = false;
        for (const Player& x : ps_) {
            if (!x.alive) continue;
            ++living;
            renegadeAlive = renegadeAlive || x.role == Renegade;
        }
        ended_ = true;
        result_ = living == 1 && renegadeAlive ? "内奸成为最后生还者，内奸获胜！" : "主公阵亡，反贼获胜！";
        return;
    }
    bool han = false, chu = false;
    for (const Player& x : ps_) {
        if (!x.alive) continue;
        han = han || x.role == TeamHan;
        chu = chu || x.role == TeamChu;
    }
    if (han && chu) return;
    ended_ = true;
    result_ = han ? "汉军获胜！" : "楚军获胜！";
}

// The result texts are the game's own; each names the side that won.
bool seatWon(Mode mode, Role role, std::string_view result) {
    auto has = [result](const char* text) { return result.find(text) != std::string_view::npos; };
    if (mode == Normal3v3)
        return (role == TeamHan && has("汉军获胜")) || (role == TeamChu && has("楚军获胜"));
    if (has("主公/忠臣获胜")) return role == Lord || role == Loyalist;
    if (has("反贼获胜")) return role == Rebel;
    if (has("内奸获胜")) return role == Renegade;
    return false;
}

} // namespace kvr

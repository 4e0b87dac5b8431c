#include "model/game.hpp"

namespace kvr {

void Game::run() {
    while (!ended_) {
        if (round_ > opt_.maxRounds) {
            ended_ = true;
            result_ = "达到最大轮数，平局。";
            break;
        }
        if (opt_.autoPlay) show("\n======== 第" + std::to_string(round_) + "轮 ========\n");
        for (int i = 0; i < 6 && !ended_; ++i)
            if (ps_[i].alive) turn(i);
        ++round_;
    }
    if (!opt_.autoPlay) {
        activateSeat(human_);
        clear();
        table();
    }
    std::string roles;
    for (const Player& x : ps_) roles += x.hero.name + "=" + roleText(x.role) + "  ";
    show("\n================ 对局结束 ================\n" + result_ + "\n身份：" + roles + "\n");
    if (io_) io_->farewell("\n[对局结束] " + result_ + "\n");
    if (!opt_.autoPlay) pause("按 Enter 继续...");
}

// Runs the phases in order; after each one the turn stops if the seat died or the game ended.
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
    auto goesOn = [this, p] {
        afterAction();
        return ps_[p].alive && !ended_;
    };

    startSkills(p);
    if (!goesOn()) return;
    judgmentPhase(p);
    if (!goesOn()) return;
    drawPhase(p);
    if (!goesOn()) return;
    if (x.skipPlay)
        logParts(RED, x.hero.name, "跳过出牌阶段。");
    else if (x.human)
        humanPlay(p);
    else
        computer(p).playPhase(*this, p);
    if (!goesOn()) return;
    discardPhase(p);
    afterAction();
    endPhase(p);
    afterAction();
}

void Game::endPhase(int p) {
    Player& x = ps_[p];
    if (x.hero.id == Serafae && x.alive) {
        log("Serafae触发【闭月】摸1张。", MAGENTA);
        draw(p, 1, true);
    }
    x.drank = false;
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

void Game::afterAction() {
    if (actionHook_) actionHook_();
}

} // namespace kvr

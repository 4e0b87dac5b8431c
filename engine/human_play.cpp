#include "model/game.hpp"
#include "model/text.hpp"

namespace kvr {

namespace {

// The play phase's commands beside the hand's numbers, as its key legend names them.
const char* const COMMANDS[5][2] = {
    {"s", "武将技"}, {"v", "转化杀"}, {"i", "技能详情"}, {"h", "帮助"}, {"e", "结束"}};

} // namespace

// The human play phase: one command per pass until "e", death, the end of the game, or the seat
// being handed to the computer. Closed local input ends the phase as "e" does. A seat whose player
// dropped is handed over before anything of it is shown again: its screen would go to the host's console.
void Game::humanPlay(int p) {
    for (;;) {
        if (!ps_[p].alive || ended_) return;
        if (!ps_[p].human) {
            computer(p).playPhase(*this, p);
            return;
        }
        activateSeat(p);
        clear();
        table();
        hand(p);
        show("\n牌序号=使用 s=武将技 v=转化杀 i=技能详情 h=帮助 e=结束\n> ");
        Query q = handQuery(p, "play", "出牌阶段", {}, false,
                            [this, p](const Card& c) { return playableNow(p, c); });
        for (const auto& c : COMMANDS) q.options.push_back({c[0], c[1], -1, -1});
        std::string cmd;
        bool answered = readAnswer(cmd, Prompt{PromptKind::Command, 0, 0, &q});
        // A seat handed to the computer, or one whose time ran out: the computer plays the phase on.
        if (!ps_[p].human || answerTimedOut_) {
            computer(p).playPhase(*this, p);
            return;
        }
        if (!answered) return;
        if (cmd == "e" || cmd == "E") return;

        if (cmd == "s") {
            activeSkill(p);
            activateSeat(p);
        } else if (cmd == "v") {
            useVirtualSlash(p);
            activateSeat(p);
        } else if (cmd == "i") {
            show(std::string("【") + ps_[p].hero.skills + "】" + ps_[p].hero.detail + "\n");
        } else if (cmd == "h") {
            show("杀默认每回合1次；闪/无懈只在询问时使用；桃治伤；酒强化下一杀。\n"
                 "延时锦囊进入判定区；手牌上限等于当前体力。装备直接输入序号。\n");
        } else {
            int n = 0;
            if (parseLeadingInt(cmd, n) && n >= 1 && n <= static_cast<int>(ps_[p].hand.size())) {
                useCard(p, n - 1, Optional<int>());
                activateSeat(p);
            } else {
                activateSeat(p);
                show("输入无效。\n");
            }
        }
        afterAction();
        if (haltsMidPlay()) return;
        pause("按 Enter 继续...");
    }
}

} // namespace kvr

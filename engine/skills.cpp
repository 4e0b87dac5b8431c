#include "model/game.hpp"

namespace kvr {

// The play-phase skill of seat p's hero. Failures are silent and leave `activeUsed` clear.
bool Game::activeSkill(int p) {
    TapeActionScope taped(*this, p, PlayAction::Skill, -1, -1);
    activateSeat(p);
    Player& x = ps_[p];
    if (x.activeUsed) {
        refuse(p, "本回合主动技能已使用。", RED);
        return false;
    }
    auto discardAt = [this, p](int i) { throwCard(takeHand(p, i, true)); };
    // A human's list of friends or foes: in the hidden-role game every other living seat, since a list
    // drawn from true roles would tell the player who is who; 3v3 teams are public.
    auto sided = [this, p](int sign) {
        return [this, p, sign](int q) { return mode_ != Normal3v3 || attitude(p, q) * sign > 0; };
    };
    auto pickTarget = [this, p, &x](const char* prompt, const std::function<bool(int)>& legal, int aiChoice) {
        return x.human ? chooseTarget(p, prompt, legal, true) : aiChoice;
    };

    switch (x.hero.id) {
    case Ormaen: {
        if (x.hand.empty()) return false;
        int target = pickTarget("仁德目标", sided(1), x.human ? -1 : computer(p).ally(*this, p, false));
        if (target < 0) return false;
        int count = x.hand.size() > 1 ? 2 : 1;
        if (x.human) {
            activateSeat(p);
            hand(p);
            show("交出几张（1~" + std::to_string(x.hand.size()) + "）：");
            Query q;
            q.topic = "count";
            q.count = true;
            q.ask = "交出几张";
            q.about = "【仁德】交给" + seatLabel(target);
            int asked = number(1, static_cast<int>(x.hand.size()), 1, &q);
            // Out of time: the computer's count.
            if (!answerTimedOut_) count = asked;
        }
        for (int k = 0; k < count && !x.hand.empty(); ++k) {
            Card given = takeHand(p, 0, true);
            ps_[target].hand.push_back(given);
            noteSeen(p, given, target);
        }
        x.rendeCount += count;
        if (count >= 2) heal(p, 1, "仁德");
        break;
    }
    case Corvane: {
        if (x.hand.empty()) return false;
        int count = 1;
        if (x.hand.size() > 1) {
            count = 2;
            if (x.human) {
                hand(p);
                show("制衡张数：");
                Query q;
                q.topic = "count";
                q.count = true;
                q.ask = "制衡张数";
                q.about = "【制衡】";
                int asked = number(1, static_cast<int>(x.hand.size()), 1, &q);
                if (!answerTimedOut_) count = asked;
            }
        }
        for (int k = 0; k < count && !x.hand.empty(); ++k) discardAt(cheapestCard(p));
        draw(p, count, true);
        break;
    }
    case Brannoc:
        if (x.hp < 2) return false;
        damage(-1, p, 1, Normal, "苦肉", true);
        if (x.alive) draw(p, 2, true);
        break;
    case Elthar: {
        if (x.hand.empty()) return false;
        int target =
            pickTarget("反间目标", sided(-1), x.human ? -1 : computer(p).foe(*this, p, false, false));
        if (target < 0) return false;
        Card gift = takeHand(p, 0, true);
        x.activeUsed = true;
        // Only whether the guess matched shows, by the damage.
        int guess = rollSeenBy(0, 3, 1U << target);
        if (ps_[target].human) {
            activateSeat(target);
            show("反间猜花色：1黑桃 2红桃 3梅花 4方块：");
            Query q;
            q.topic = "suit";
            q.ask = "猜花色";
            q.about = x.hero.name + " 对你使用【反间】";
            for (const char* suit : {"黑桃", "红桃", "梅花", "方块"})
                q.options.push_back({std::to_string(q.options.size() + 1), suit, -1, -1});
            int asked = number(1, 4, 1, &q) - 1;
            // Out of time: the computer's guess, drawn as for a computer seat.
            if (!answerTimedOut_) guess = asked;
        }
        ps_[target].hand.push_back(gift);
        noteSeen(-1, gift, target);
        // Only the damage names the target to everybody.
        if (guess != gift.suit) {
            noteHarm(p, target);
            damage(p, target, 1, Normal, "反间", true);
        }
        logParts(MAGENTA, "反间牌为", gift);
        return true;
    }
    case Mendrel: {
        int target = pickTarget(
            "青囊治疗目标", [this](int q) { return ps_[q].hp < ps_[q].maxHp; },
            x.human ? -1 : computer(p).ally(*this, p, true));
        if (target < 0 || x.hand.empty()) return false;
        discardAt(0);
        noteHelp(p, target);
        heal(target, 1, "青囊");
        break;
    }
    case Valessa: {
        if (x.hand.size() < 2 || x.hp >= x.maxHp) return false;
        int target = pickTarget(
            "结姻男性目标", [this](int q) { return ps_[q].hero.male && ps_[q].hp < ps_[q].maxHp; },
            x.human ? -1 : computer(p).ally(*this, p, true));
        if (target < 0 || !ps_[target].hero.male) return false;
        discardAt(0);
        discardAt(0);
        heal(p, 1, "结姻");
        heal(target, 1, "结姻");
        break;
    }
    case Serafae: {
        SeatList males;
        for (int q = 0; q < 6; ++q)
            if (q != p && ps_[q].alive && ps_[q].hero.male) males.push_back(q);
        if (males.size() < 2 || x.hand.empty()) return false;
        int first = -1;
        int second = -1;
        if (x.human) {
            first = chooseTarget(
                p, "离间第一名男性", [this](int q) { return ps_[q].hero.male; }, false);
            second = chooseTarget(
                p, "离间第二名男性", [this, first](int q) { return ps_[q].hero.male && q != first; }, false);
        } else {
            computer(p).malePair(*this, p, males, first, second);
        }
        if (first < 0 || second < 0) return false;
        discardAt(0);
        log("Serafae发动【离间】。", MAGENTA);
        noteHarm(p, first);
        noteHarm(p, second);
        duel(first, second, p);
        break;
    }
    case Ranvik: {
        int black = -1;
        for (std::size_t i = 0; i < x.hand.size() && black < 0; ++i)
            if (!x.hand[i].red()) black = static_cast<int>(i);
        if (black < 0) return false;
        int target = pickTarget(
            "奇袭目标", [this](int q) { return totalCards(q) > 0; },
            x.human ? -1 : computer(p).foe(*this, p, false, true));
        if (target < 0) return false;
        discardAt(black);
        if (!nullified(p, target, "奇袭/过河拆桥")) takeRandomCard(target, false, -1);
        break;
    }
    case Nimeri: {
        int dia = -1;
        for (std::size_t i = 0; i < x.hand.size() && dia < 0; ++i)
            if (x.hand[i].suit == Diamond) dia = static_cast<int>(i);
        if (dia < 0) return false;
        int target = pickTarget(
            "国色目标",
            [this, p](int q) { return q != p && ps_[q].hero.id != Kaspen && !hasDelayed(q, Indulgence); },
            x.human ? -1 : computer(p).lockTarget(*this, p, Indulgence));
        if (target < 0) return false;
        Card pay = takeHand(p, dia, true);
        pay.type = Indulgence;
        placeDelayed(p, target, pay);
        break;
    }
    case Keldar:
    case Jorvane:
        return useVirtualSlash(p);
    default:
        refuse(p, "该武将技能为被动触发，无需主动发动。", CYAN);
        return false;
    }
    x.activeUsed = true;
    // The user may have died in the effect (a duel through 刚烈); the dead announce nothing.
    if (x.alive) logParts(MAGENTA, x.hero.name, "发动【", x.hero.skills, "】。");
    return true;
}

bool Game::activeSkillAI(int p) {
    const Player& x = ps_[p];
    if (x.activeUsed) return false;
    bool worth = false;
    switch (x.hero.id) {
    case Ormaen:
        worth = x.hand.size() >= 3 && aiAlly(p, false) >= 0;
        break;
    case Corvane:
        worth = x.hand.size() >= 4;
        break;
    case Brannoc:
        worth = x.hp > 2;
        break;
    case Elthar:
        worth = !x.hand.empty() && aiEnemy(p, false, false) >= 0;
        break;
    case Mendrel:
        worth = !x.hand.empty() && aiAlly(p, true) >= 0;
        break;
    case Valessa:
        worth = x.hp < x.maxHp && x.hand.size() >= 2 && aiAlly(p, true) >= 0;
        break;
    case Serafae:
    case Ranvik:
    case Nimeri:
        worth = !x.hand.empty();
        break;
    default:
        break;
    }
    return worth && activeSkill(p);
}

} // namespace kvr

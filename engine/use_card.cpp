#include "model/game.hpp"

namespace kvr {

namespace {

// The tricks a computer player aims at the foe it wants most: what it chose tells whom it counts as a foe.
bool aimsHarm(CardType t) {
    return t == Duel || t == Steal || t == Dismantle || t == FireAttack || t == Indulgence ||
           t == SupplyShortage;
}

} // namespace

// Plays the hand card at `hi`. Every refusal returns false before the card leaves the hand.
bool Game::useCard(int p, int hi, Optional<int> forced) {
    TapeActionScope taped(*this, p, PlayAction::Card, hi, forced ? *forced : -1);
    Player& x = ps_[p];
    if (hi < 0 || hi >= static_cast<int>(x.hand.size())) return false;
    const Card pre = x.hand[static_cast<std::size_t>(hi)];
    const Kind k = cardKind(pre.type);

    switch (pre.type) {
    case Slash:
    case FireSlash:
    case ThunderSlash:
        return useSlashCard(p, hi, forced);
    case Dodge:
    case Nullification:
        if (x.human) refuse(p, "该牌只能响应时使用。", RED);
        return false;
    case Peach:
        if (x.hp >= x.maxHp) return false;
        throwCard(takeHand(p, hi, true));
        heal(p, 1, "桃");
        return true;
    case Wine:
        if (x.drank) return false;
        throwCard(takeHand(p, hi, true));
        x.drank = true;
        logParts(GREEN, x.hero.name, "饮酒，下一张杀伤害+1。");
        return true;
    default:
        break;
    }
    if (k != Trick && k != Delayed) {
        equipCard(p, hi);
        return true;
    }

    int to = forced ? *forced : -1;
    if (!trickTarget(p, pre.type, to)) return false;
    if (aimsHarm(pre.type)) {
        // Cards are taken only from a seat that has some: the others were never candidates.
        unsigned candidates = ~0U;
        if (pre.type == Steal || pre.type == Dismantle)
            for (int q = 0; q < 6; ++q)
                if (totalCards(q) == 0) candidates &= ~(1U << q);
        // The line names no target: the table learns it from what the trick does, if it is not nullified.
        noteChoice(p, to, candidates, false);
    }
    Card c = takeHand(p, hi, true);
    logParts(MAGENTA, x.hero.name, "使用", c);
    if (!trickEffect(p, c, to)) throwCard(c);
    pendingChoice_ = -1;

    if (ps_[p].alive && x.hero.id == Miravel) {
        log("Miravel触发【集智】摸1张。", MAGENTA);
        draw(p, 1, true);
    }
    return true;
}

// The old card leaves its slot and runs its loss trigger before the new one is in place.
void Game::equipCard(int p, int hi) {
    Player& x = ps_[p];
    Card c = takeHand(p, hi, true);
    Optional<Card>& slot = *x.slotFor(cardKind(c.type));
    if (slot) {
        Card old = *slot;
        slot.reset();
        throwCard(old);
        triggerLoseEquip(p, old);
    }
    slot = c;
    logParts(BLUE, x.hero.name, "装备【", cardNameView(c.type), "】。");
}

// Chooses the target of a trick of type t unless `to` already names one, then applies the tests that
// hold for every target. False refuses the play; tricks without a target leave `to` alone.
bool Game::trickTarget(int p, CardType t, int& to) {
    const Player& x = ps_[p];
    auto nearEnough = [this, p](int q) { return ps_[p].hero.id == Miravel || distance(p, q) <= 1; };
    auto chooseEnemyTarget = [&](const char* prompt, bool r, bool cards) {
        if (x.human)
            return chooseTarget(
                p, prompt, [&](int q) { return (!r || nearEnough(q)) && (!cards || totalCards(q) > 0); },
                true);
        return computer(p).foe(*this, p, false, cards);
    };
    const bool choosing = to < 0;

    switch (t) {
    case Duel:
        if (choosing) to = chooseEnemyTarget("决斗目标", false, false);
        break;
    case Steal:
        if (choosing) to = chooseEnemyTarget("顺手牵羊目标", true, true);
        if (to >= 0 && ps_[to].hero.id == Kaspen) return false;
        break;
    case Dismantle:
        if (choosing) to = chooseEnemyTarget("过河拆桥目标", false, true);
        break;
    case FireAttack:
        if (choosing) to = chooseEnemyTarget("火攻目标", false, false);
        if (to >= 0 && ps_[to].hand.empty()) return false;
        break;
    case BorrowSword:
        if (choosing && x.human) {
            to = chooseTarget(
                p, "选择有武器的借刀目标", [this](int q) { return bool(ps_[q].weapon); }, true);
        } else if (choosing) {
            to = computer(p).armedFoe(*this, p);
        }
        break;
    case Indulgence:
        if (choosing)
            to = x.human
                     ? chooseTarget(
                           p, "乐不思蜀目标",
                           [this](int q) { return ps_[q].hero.id != Kaspen && !hasDelayed(q, Indulgence); },
                           true)
                     : computer(p).foe(*this, p, false, false);
        if (to >= 0 && (hasDelayed(to, Indulgence) || ps_[to].hero.id == Kaspen)) return false;
        break;
    case SupplyShortage:
        if (choosing)
            to = x.human ? chooseTarget(
                               p, "兵粮寸断目标",
                               [&](int q) { return nearEnough(q) && !hasDelayed(q, SupplyShortage); }, true)
                         : computer(p).foe(*this, p, false, false);
        if (to >= 0 && hasDelayed(to, SupplyShortage)) return false;
        break;
    default:
        return true;
    }
    return to >= 0;
}

// Resolves a trick taken from p's hand; true when the card now lies in a judgment zone (the caller
// discards it otherwise).
bool Game::trickEffect(int p, const Card& c, int to) {
    const Player& x = ps_[p];
    switch (c.type) {
    case Duel:
        if (nullified(p, to, "决斗")) return false;
        // The target shows itself when it answers.
        choiceShown();
        noteHarm(p, to);
        duel(p, to, -1);
        return false;
    case Barbarians:
    case Arrows:
        aoe(p, c.type);
        return false;
    case ExNihilo:
        if (!nullified(p, p, "无中生有")) draw(p, 2, true);
        return false;
    case Steal:
        if (!nullified(p, to, "顺手牵羊")) {
            choiceShown();
            takeRandomCard(to, true, p);
            logParts(GREEN, x.hero.name, "获得目标1张牌。");
        }
        return false;
    case Dismantle:
        if (!nullified(p, to, "过河拆桥")) {
            choiceShown();
            takeRandomCard(to, false, -1);
            logParts(YELLOW, x.hero.name, "弃置目标1张牌。");
        }
        return false;
    case PeachGarden:
        for (int q = 0; q < 6; ++q)
            if (ps_[q].alive && ps_[q].hp < ps_[q].maxHp && !nullified(p, q, "桃园结义"))
                heal(q, 1, "桃园结义");
        return false;
    case Harvest:
        harvest(p);
        return false;
    case FireAttack:
        if (!nullified(p, to, "火攻")) {
            choiceShown();
            fireAttack(p, to);
        }
        return false;
    case IronChain:
        ironChain(p);
        return false;
    case BorrowSword:
        if (!nullified(p, to, "借刀杀人")) borrowSword(p, to);
        return false;
    case Lightning:
        // A second Lightning of one's own is announced and wasted.
        if (hasDelayed(p, Lightning)) return false;
        placeDelayed(p, p, c);
        return true;
    case Indulgence:
    case SupplyShortage:
        placeDelayed(p, to, c);
        return true;
    default:
        return false;
    }
}

// Chains or frees up to two seats; with nobody chosen the card is recast for one draw.
void Game::ironChain(int p) {
    SeatList chain;
    if (ps_[p].human) {
        int first = chooseTarget(
            p, "铁索第一个目标", [](int) { return true; }, true);
        if (first >= 0) chain.push_back(first);
        int second = chooseTarget(
            p, "铁索第二个目标", [first](int q) { return q != first; }, true);
        if (second >= 0) chain.push_back(second);
    } else {
        chain = computer(p).chain(*this, p);
    }
    if (chain.empty()) {
        draw(p, 1, true);
        return;
    }
    for (int q : chain) {
        if (nullified(p, q, "铁索连环")) continue;
        bool was = ps_[q].chained;
        ps_[q].chained = !was;
        logParts(BLUE, ps_[q].hero.name, was ? "解除连环。" : "被横置。");
    }
}

} // namespace kvr

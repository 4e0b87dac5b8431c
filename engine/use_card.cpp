#include "model/game.hpp"

namespace kvr {

namespace {
Optional<Card>& slotFor(Player& x, Kind k) {
    switch (k) {
    case Weapon:
        return x.weapon;
    case Armor:
        return x.armor;
    case OffensiveHorse:
        return x.offensiveHorse;
    default:
        return x.defensiveHorse;
    }
}
} // namespace

// Plays the hand card at `hi`. Every refusal returns false before the card leaves the hand.
bool Game::useCard(int p, int hi, Optional<int> forced) {
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
        if (x.human) log("该牌只能响应时使用。", RED);
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
        log(x.hero.name + "饮酒，下一张杀伤害+1。", GREEN);
        return true;
    default:
        break;
    }

    if (k != Trick && k != Delayed) {
        Card c = takeHand(p, hi, true);
        Optional<Card>& slot = slotFor(x, k);
        if (slot) {
            Card old = *slot;
            slot.reset();
            throwCard(old);
            triggerLoseEquip(p, old);
        }
        slot = c;
        log(x.hero.name + "装备【" + cardName(c.type) + "】。", BLUE);
        return true;
    }

    int to = forced ? *forced : -1;
    auto nearEnough = [this, p](int q) { return ps_[p].hero.id == Miravel || distance(p, q) <= 1; };
    auto chooseEnemyTarget = [&](const std::string& prompt, bool r, bool cards) {
        if (x.human)
            return chooseTarget(
                p, prompt, [&](int q) { return (!r || nearEnough(q)) && (!cards || totalCards(q) > 0); },
                true);
        return aiEnemy(p, false, cards);
    };
    const bool choosing = to < 0;

    switch (pre.type) {
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
        if (choosing) {
            if (x.human) {
                to = chooseTarget(
                    p, "选择有武器的借刀目标", [this](int q) { return bool(ps_[q].weapon); }, true);
            } else {
                for (int q : enemies(p, false))
                    if (to < 0 && ps_[q].weapon) to = q;
                if (to < 0) return false;
            }
        }
        break;
    case Indulgence:
        if (choosing)
            to = x.human
                     ? chooseTarget(
                           p, "乐不思蜀目标",
                           [this](int q) { return ps_[q].hero.id != Kaspen && !hasDelayed(q, Indulgence); },
                           true)
                     : aiEnemy(p, false, false);
        if (to >= 0 && (hasDelayed(to, Indulgence) || ps_[to].hero.id == Kaspen)) return false;
        break;
    case SupplyShortage:
        if (choosing)
            to = x.human ? chooseTarget(
                               p, "兵粮寸断目标",
                               [&](int q) { return nearEnough(q) && !hasDelayed(q, SupplyShortage); }, true)
                         : aiEnemy(p, false, false);
        if (to >= 0 && hasDelayed(to, SupplyShortage)) return false;
        break;
    default:
        break;
    }
    const bool targeted = pre.type == Duel || pre.type == Steal || pre.type == Dismantle ||
                          pre.type == FireAttack || pre.type == BorrowSword || pre.type == Indulgence ||
                          pre.type == SupplyShortage;
    if (targeted && to < 0) return false;

    Card c = takeHand(p, hi, true);
    log(x.hero.name + "使用" + ctext(c), MAGENTA);
    bool placed = false;
    switch (c.type) {
    case Duel:
        if (!nullified(p, to, "决斗")) duel(p, to, -1);
        break;
    case Barbarians:
    case Arrows:
        aoe(p, c.type);
        break;
    case ExNihilo:
        if (!nullified(p, p, "无中生有")) draw(p, 2, true);
        break;
    case Steal:
        if (!nullified(p, to, "顺手牵羊")) {
            takeRandomCard(to, true, p);
            log(x.hero.name + "获得目标1张牌。", GREEN);
        }
        break;
    case Dismantle:
        if (!nullified(p, to, "过河拆桥")) {
            takeRandomCard(to, false, -1);
            log(x.hero.name + "弃置目标1张牌。", YELLOW);
        }
        break;
    case PeachGarden:
        for (int q = 0; q < 6; ++q)
            if (ps_[q].alive && ps_[q].hp < ps_[q].maxHp && !nullified(p, q, "桃园结义"))
                heal(q, 1, "桃园结义");
        break;
    case Harvest:
        harvest(p);
        break;
    case FireAttack:
        if (!nullified(p, to, "火攻")) fireAttack(p, to);
        break;
    case IronChain: {
        std::vector<int> chain;
        if (x.human) {
            int first = chooseTarget(
                p, "铁索第一个目标", [](int) { return true; }, true);
            if (first >= 0) chain.push_back(first);
            int second = chooseTarget(
                p, "铁索第二个目标", [first](int q) { return q != first; }, true);
            if (second >= 0) chain.push_back(second);
        } else {
            int foe = aiEnemy(p, false, false);
            if (foe >= 0) chain.push_back(foe);
            int friendSeat = aiAlly(p, false);
            if (friendSeat >= 0 && ps_[friendSeat].chained) chain.push_back(friendSeat);
        }
        if (chain.empty()) {
            draw(p, 1, true);
            break;
        }
        for (int q : chain) {
            if (nullified(p, q, "铁索连环")) continue;
            bool was = ps_[q].chained;
            ps_[q].chained = !was;
            log(ps_[q].hero.name + (was ? "解除连环。" : "被横置。"), BLUE);
        }
        break;
    }
    case BorrowSword:
        if (!nullified(p, to, "借刀杀人")) borrowSword(p, to);
        break;
    case Lightning:
        if (!hasDelayed(p, Lightning)) {
            placeDelayed(p, p, c);
            placed = true;
        }
        break;
    case Indulgence:
    case SupplyShortage:
        placeDelayed(p, to, c);
        placed = true;
        break;
    default:
        break;
    }
    if (!placed) throwCard(c);

    if (ps_[p].alive && x.hero.id == Miravel) {
        log("Miravel触发【集智】摸1张。", MAGENTA);
        draw(p, 1, true);
    }
    return true;
}

} // namespace kvr

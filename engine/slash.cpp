#include <algorithm>

#include "model/game.hpp"

namespace kvr {

namespace {

bool anyCard(const Card&) { return true; }

} // namespace

bool Game::useSlashCard(int p, int hi, Optional<int> forced) {
    Player& x = ps_[p];
    if (slashLimit(p)) {
        if (x.human) refuse(p, "杀的次数已达上限。", RED);
        return false;
    }
    int to = forced && *forced >= 0 ? *forced : -1;
    if (to < 0) {
        if (x.human)
            to = chooseTarget(
                p, "选择杀的目标", [this, p](int q) { return q != p && canSlash(p, q); }, true);
        else
            to = computer(p).foe(*this, p, true, false);
    }
    if (to < 0 || to == p || !canSlash(p, to)) return false;
    noteChoice(p, to, slashable(p), true);

    bool halberd = x.wields(Halberd) && x.hand.size() == 1;
    Card c = takeHand(p, hi, true);
    ++x.slashCount;
    x.usedSlash = true;
    logParts(RED, x.hero.name, "对", ps_[to].hero.name, "使用", c);

    SeatList targets{to};
    if (halberd && x.human && mode_ != Normal3v3) {
        // In the hidden-role game a human picks the extra targets: the computer's pick follows true roles.
        auto extra = [this, p, &targets](int q) {
            return q != p && ps_[q].alive && canSlash(p, q) &&
                   std::find(targets.begin(), targets.end(), q) == targets.end();
        };
        auto anyExtra = [&extra] {
            for (int q = 0; q < 6; ++q)
                if (extra(q)) return true;
            return false;
        };
        while (targets.size() < 3 && anyExtra()) {
            int q = chooseTarget(p, "方天画戟追加目标", extra, true);
            if (q < 0) break;
            targets.push_back(q);
        }
        if (targets.size() >= 2) log("方天画戟追加了目标。", MAGENTA);
    } else if (halberd) {
        for (int q : computer(p).foes(*this, p, true))
            if (q != to && targets.size() < 3) targets.push_back(q);
        if (targets.size() >= 2) log("方天画戟追加了目标。", MAGENTA);
    }
    for (int q : targets)
        if (ps_[q].alive && !ended_) slash(p, q, c);
    throwCard(c);
    return true;
}

bool Game::useVirtualSlash(int p) {
    TapeActionScope taped(*this, p, PlayAction::VirtualSlash, -1, -1);
    if (slashLimit(p)) return false;
    Player& x = ps_[p];
    auto convertible = [&x](const Card& c) {
        return (x.hero.id == Keldar && c.red()) || (x.hero.id == Jorvane && c.type == Dodge);
    };
    int hi = -1;
    if (x.hero.id == Keldar || x.hero.id == Jorvane)
        for (std::size_t i = 0; i < x.hand.size() && hi < 0; ++i)
            if (convertible(x.hand[i])) hi = static_cast<int>(i);
    auto legal = [this, p](int q) { return q != p && canSlash(p, q); };

    if (hi < 0) {
        if (!(x.wields(SerpentSpear) && x.hand.size() >= 2)) return false;
        int to =
            x.human ? chooseTarget(p, "丈八蛇矛杀目标", legal, true) : computer(p).foe(*this, p, true, false);
        if (to < 0) return false;
        noteChoice(p, to, slashable(p), true);
        payFirstTwo(p);
        ++x.slashCount;
        x.usedSlash = true;
        slash(p, to, Card{0, Slash, Spade, 1});
        return true;
    }

    int to = -1;
    if (x.human) {
        hand(p);
        show("选择转化为杀的牌：");
        Query q = handQuery(p, "convert", "选择转化为杀的牌", {}, false, convertible);
        hi = number(1, static_cast<int>(x.hand.size()), 1, &q) - 1;
        if (!convertible(x.hand[static_cast<std::size_t>(hi)])) return false;
        to = chooseTarget(p, "转化杀目标", legal, true);
    } else {
        to = computer(p).foe(*this, p, true, false);
    }
    if (to < 0) return false;
    noteChoice(p, to, slashable(p), true);
    Card pay = takeHand(p, hi, true);
    throwCard(pay);
    Card v{pay.id, Slash, pay.suit, pay.rank};
    ++x.slashCount;
    x.usedSlash = true;
    logParts(MAGENTA, x.hero.name, "发动转化技能，将牌当杀。");
    slash(p, to, v);
    return true;
}

// One slash from one seat against one target, every weapon, armour and slash skill in its step. The
// public record charges it to `owner` when given: the seat that borrowed the slasher's sword.
void Game::slash(int from, int to, Card card, int owner) {
    if (from == to || !canSlash(from, to)) return;
    Player& a = ps_[from];
    noteHarm(owner >= 0 ? owner : from, to);

    if (ps_[to].hero.id == Nimeri && !ps_[to].hand.empty()) {
        SeatList candidates;
        for (int q = 0; q < 6; ++q)
            if (q != from && q != to && canSlash(to, q)) candidates.push_back(q);
        bool human = ps_[to].human;
        int foe = human || candidates.empty() ? -1 : computer(to).passSlash(*this, to, from, candidates);
        // A human is offered 流离 against any slasher in the hidden-role game: an offer made only against
        // true foes would tell the player the slasher's role.
        bool offered = human ? mode_ != Normal3v3 || attitude(to, from) < 0 : foe >= 0;
        if (!candidates.empty() && offered && (!human || askYes(to, "发动流离转移杀？y/n："))) {
            throwCard(takeHand(to, human ? 0 : computer(to).payCard(*this, to, anyCard), true));
            int next = foe >= 0 ? foe : candidates.front();
            if (human)
                next = chooseTarget(
                    to, "流离的新目标",
                    [this, from, to](int q) { return q != from && q != to && canSlash(to, q); }, false);
            if (next >= 0) {
                logParts(MAGENTA, "Nimeri发动【流离】，杀转移给", ps_[next].hero.name, "。");
                noteHarm(to, next);
                to = next;
            }
        }
    }
    Player& t = ps_[to];

    bool ignore = a.wields(QinggangSword);
    Nature nat = slashNature(card.type);
    if (card.type == Slash && a.wields(ZhuqueFan)) nat = Fire;

    if (!ignore && t.armor) {
        if (t.armor->type == RenwangShield && !card.red() && nat == Normal) {
            log("仁王盾令黑色杀无效。", BLUE);
            return;
        }
        if (t.armor->type == Vine && nat == Normal) {
            log("藤甲令普通杀无效。", BLUE);
            return;
        }
    }

    if (a.wields(DoubleSword) && a.hero.male != t.hero.male) {
        if (t.hand.empty())
            draw(from, 1, true);
        else if (!t.human || askYes(to, "雌雄双股剑：弃1牌？否则对方摸1。y/n："))
            throwCard(takeHand(to, t.human ? 0 : computer(to).payCard(*this, to, anyCard), true));
        else
            draw(from, 1, true);
    }

    bool unanswerable = false;
    if (a.hero.id == Feyrin && roll(0, 1) == 1) {
        unanswerable = true;
        log("Feyrin【铁骑】成功，此杀不可闪。", MAGENTA);
    }

    if (!unanswerable) {
        int need = a.hero.id == Grathos ? 2 : 1;
        std::string why;
        std::string about;
        if (ps_[to].human) {
            why = a.hero.name + "的杀";
            about = a.hero.name + " 对你使用" + plainCard(card);
        }
        bool dodged = respondDodge(to, why, about);
        if (dodged && need == 2) dodged = respondDodge(to, "Grathos无双的第二张闪", about);
        if (dodged) {
            bool axe = a.wields(Axe) && totalCards(from) > 1 &&
                       (!a.human || askYes(from, "弃2牌发动贯石斧强制命中？y/n："));
            if (axe) {
                throwRandom(from, 2);
                log("贯石斧令杀仍然命中！", RED);
            } else {
                logParts(CYAN, t.hero.name, "闪避了杀。");
                if (a.wields(GreenDragon)) {
                    int o = findAnySlash(from);
                    if (o >= 0 && (!a.human || askYes(from, "青龙偃月刀追杀？y/n："))) {
                        Card chase = takeHand(from, o, true);
                        throwCard(chase);
                        slash(from, to, chase);
                    }
                }
                return;
            }
        }
    }

    int amount = a.drank ? 2 : 1;
    a.drank = false;
    if (a.wields(GudingBlade) && t.hand.empty()) ++amount;
    if (a.wields(IceSword) && totalCards(to) > 1 &&
        (a.human ? askYes(from, "寒冰剑：防止伤害并弃目标2牌？y/n：")
                 : computer(from).iceSword(*this, from, to))) {
        throwRandom(to, 2);
        log("寒冰剑防止伤害并弃置目标2张牌。", BLUE);
        return;
    }
    damage(from, to, amount, nat, "杀", true);
    if (!t.alive) return;

    if (a.wields(KylinBow)) {
        Optional<Card>& horse = t.offensiveHorse ? t.offensiveHorse : t.defensiveHorse;
        if (horse) {
            bool offensive = &horse == &t.offensiveHorse;
            Card lost = *horse;
            horse.reset();
            throwCard(lost);
            triggerLoseEquip(to, lost);
            log(offensive ? "麒麟弓弃置了进攻坐骑。" : "麒麟弓弃置了防御坐骑。", BLUE);
        }
    }
}

} // namespace kvr

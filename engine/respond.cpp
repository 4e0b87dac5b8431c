#include <cstdint>

#include "model/game.hpp"

namespace kvr {

// A seat whose player dropped earlier in the action is not asked: the answer is no.
bool Game::askYes(int p, const std::string& question, std::string_view about) {
    if (!ps_[p].human) return false;
    activateSeat(p);
    show(question);
    Query q;
    q.topic = "yesno";
    q.about = std::string(about);
    // The question without its line breaks and its "y/n：" key.
    std::string_view ask = question;
    while (!ask.empty() && ask.front() == '\n') ask.remove_prefix(1);
    for (std::string_view key : {"y/n：", " "})
        if (ask.size() >= key.size() && ask.substr(ask.size() - key.size()) == key)
            ask.remove_suffix(key.size());
    q.ask = std::string(ask);
    std::string answer = line(PromptKind::YesNo, &q);
    return answer == "y" || answer == "Y";
}

// The Serpent Spear's price of a slash: the first two hand cards, whatever they are, discarded in order.
void Game::payFirstTwo(int p) {
    Card first = takeHand(p, 0, true);
    Card second = takeHand(p, 0, true);
    throwCard(first);
    throwCard(second);
}

namespace {

constexpr std::uint64_t bit(CardType t) { return std::uint64_t(1) << t; }
constexpr std::uint64_t SLASHES = bit(Slash) | bit(FireSlash) | bit(ThunderSlash);

} // namespace

// One dodge. A seat seen to play none when it needed one holds no card it could have played: everybody
// may remember that.
bool Game::respondDodge(int p, std::string_view why, std::string_view about) {
    if (playDodge(p, why, about)) return true;
    noteLacks(p, bit(Dodge) | (ps_[p].hero.id == Jorvane ? SLASHES : 0));
    return false;
}

// `need` slashes in a row; a seat that falls short is remembered to hold no more.
bool Game::respondSlash(int p, std::string_view why, int need, std::string_view about) {
    if (playSlashes(p, why, need, about)) return true;
    noteLacks(p, SLASHES | (ps_[p].hero.id == Jorvane ? bit(Dodge) : 0));
    return false;
}

bool Game::answersDodge(int p, const Card& c) const {
    const Player& x = ps_[p];
    return c.type == Dodge || (x.hero.id == Jorvane && isSlash(c.type)) || (x.hero.id == Seluna && !c.red());
}

bool Game::answersSlash(int p, const Card& c) const {
    const Player& x = ps_[p];
    return isSlash(c.type) || (x.hero.id == Keldar && c.red()) || (x.hero.id == Jorvane && c.type == Dodge);
}

bool Game::playableNow(int p, const Card& c) const {
    const Player& x = ps_[p];
    switch (c.type) {
    case Dodge:
    case Nullification:
        return false;
    case Peach:
        return x.hp < x.maxHp;
    case Wine:
        return !x.drank;
    default:
        return !isSlash(c.type) || !slashLimit(p);
    }
}

// The Eight Diagrams roll first, then a card. A computer always answers when it can.
bool Game::playDodge(int p, std::string_view why, std::string_view about) {
    activateSeat(p);
    Player& x = ps_[p];
    if (x.wears(EightDiagrams)) {
        if (roll(0, 1) == 1) {
            logParts(GREEN, x.hero.name, "的八卦阵判定成功，视为闪。");
            return true;
        }
        logParts(DIM, x.hero.name, "的八卦阵判定失败。");
    }
    int index = -1;
    bool answered = false;
    if (x.human) {
        show("\n" + std::string(why) + "：出闪（输入牌序号，0放弃）：\n");
        hand(p);
        show("> ");
        Query q = handQuery(p, "dodge", "出闪", about.empty() ? why : about, true,
                            [this, p](const Card& c) { return answersDodge(p, c); });
        int n = number(0, static_cast<int>(x.hand.size()), 0, &q);
        answered = !answerTimedOut_;
        if (answered && n == 0) return false;
        if (answered && !answersDodge(p, x.hand[static_cast<std::size_t>(n - 1)])) {
            refuse(p, "该牌不能当闪。", RED);
            return false;
        }
        index = n - 1;
    }
    // A computer seat, or a person whose time to answer ran out: the seat's computer answers this once.
    if (!answered) {
        // The player may keep its card and take the hit.
        if (tape_.replaying) tapeReady(p, Question::Dodge);
        index = answerWith(p, Dodge, findDodge(p));
        if (index < 0 || static_cast<std::size_t>(index) >= x.hand.size()) return false;
        if (!answersDodge(p, x.hand[static_cast<std::size_t>(index)])) return false;
    }
    throwCard(takeHand(p, index, true));
    logParts(CYAN, x.hero.name, "打出【闪】。");
    return true;
}

// Cards played before a failed pass stay discarded.
bool Game::playSlashes(int p, std::string_view why, int need, std::string_view about) {
    activateSeat(p);
    if (need <= 0) return true;
    Player& x = ps_[p];
    for (int i = 0; i < need; ++i) {
        if (tape_.replaying) tapeReady(p, Question::SlashAnswer);
        int z = findAnySlash(p);
        if (z < 0 && x.wields(SerpentSpear) && x.hand.size() >= 2) {
            payFirstTwo(p);
            logParts(MAGENTA, x.hero.name, "发动丈八蛇矛，以两牌当杀。");
            continue;
        }
        if (x.human) {
            show("\n" + std::string(why) + "：需打出杀（第" + std::to_string(i + 1) + "/" +
                 std::to_string(need) + "张，0放弃）：\n");
            hand(p);
            std::string ask = "打出杀";
            if (need > 1) ask += "（第" + std::to_string(i + 1) + "/" + std::to_string(need) + "张）";
            Query q = handQuery(p, "slash", ask, about.empty() ? why : about, true,
                                [this, p](const Card& c) { return answersSlash(p, c); });
            int n = number(0, static_cast<int>(x.hand.size()), 0, &q);
            if (!answerTimedOut_) {
                if (n == 0) return false;
                if (!answersSlash(p, x.hand[static_cast<std::size_t>(n - 1)])) {
                    refuse(p, "该牌不能当杀。", RED);
                    return false;
                }
                z = n - 1;
            }
        }
        if (!x.human || answerTimedOut_) {
            // The player may keep its slashes and lose the exchange.
            z = answerWith(p, Slash, z);
            if (z < 0 || static_cast<std::size_t>(z) >= x.hand.size()) return false;
            if (!answersSlash(p, x.hand[static_cast<std::size_t>(z)])) return false;
        }
        throwCard(takeHand(p, z, true));
        logParts(YELLOW, x.hero.name, "打出【杀】。");
    }
    return true;
}

} // namespace kvr

#include <algorithm>
#include <array>
#include <charconv>

#include "model/game.hpp"
#include "model/text.hpp"

namespace kvr {

std::string Game::paint(std::string s, const char* code) const {
    if (!opt_.color || code == nullptr || *code == '\0') return s;
    return code + s + RESET;
}

// A public event line: every seat sees it once.
void Game::log(std::string_view s, const char* color) const { logParts(color, s); }

std::string_view Game::closeLine(const char* color) const {
    if (opt_.color && color != nullptr && *color != '\0') line_.append(RESET);
    line_.append("\n");
    return line_.view();
}

void Game::refuse(int p, std::string_view s, const char* color) const {
    if (p < 0 || p >= static_cast<int>(ps_.size()) || !ps_[p].human) {
        log(s, color);
        return;
    }
    if (!io_) return;
    startLine(color).append(s);
    io_->show(p, closeLine(color));
}

void Game::addNumber(LineBuilder& out, int n) {
    char digits[32];
    std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

void Game::addPiece(LineBuilder& out, unsigned n) {
    char digits[32];
    std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

namespace {

constexpr std::string_view RANKS[14] = {"", "A", "2", "3", "4", "5", "6", "7", "8", "9", "10", "J", "Q", "K"};
constexpr std::string_view SUITS[4] = {"黑桃", "红桃", "梅花", "方块"};

// 【name suit rank】 without colour.
void addCardText(LineBuilder& out, const Card& c) {
    out.append("【");
    out.append(cardNameView(c.type));
    out.append(" ");
    out.append(SUITS[c.suit & 3]);
    if (c.rank >= 1 && c.rank <= 13)
        out.append(RANKS[c.rank]);
    else
        out.append(rankName(c.rank));
    out.append("】");
}

// The text of every printed card as the deck makes it, by id: a line names a card as one piece.
struct PrintedCardTexts {
    LineBuilder text;
    std::array<std::uint16_t, DECK_SIZE + 2> at{};

    PrintedCardTexts() {
        for (int id = 1; id <= DECK_SIZE; ++id) {
            at[static_cast<std::size_t>(id)] = static_cast<std::uint16_t>(text.view().size());
            addCardText(text, deckCard(id));
        }
        at[DECK_SIZE + 1] = static_cast<std::uint16_t>(text.view().size());
    }
    std::string_view operator[](int id) const {
        std::size_t from = at[static_cast<std::size_t>(id)];
        return text.view().substr(from, at[static_cast<std::size_t>(id) + 1] - from);
    }
};

const PrintedCardTexts& printedCardTexts() {
    static const PrintedCardTexts texts;
    return texts;
}

} // namespace

// The card text; a red card is painted red inside whatever colour surrounds it. A printed card as the deck
// made it is one piece; a converted or virtual card is built from its parts.
void Game::addPiece(LineBuilder& out, const Card& c) const {
    bool painted = opt_.color && c.red();
    if (painted) out.append(RED);
    const Card printed = deckCard(c.id);
    if (c.id >= 1 && c.id <= DECK_SIZE && printed.type == c.type && printed.suit == c.suit &&
        printed.rank == c.rank)
        out.append(printedCardTexts()[c.id]);
    else
        addCardText(out, c);
    if (painted) out.append(RESET);
}

void Game::clear() const {
    if (!opt_.autoPlay) show("\x1b[2J\x1b[H");
}

std::string Game::ctext(const Card& c) const {
    LineBuilder text;
    addPiece(text, c);
    return std::string(text.view());
}

std::string Game::plainCard(const Card& c) const {
    LineBuilder text;
    addCardText(text, c);
    return std::string(text.view());
}

std::string Game::shownRole(int p) const {
    const Player& x = ps_[p];
    if (x.revealed || mode_ == Normal3v3 || p == viewSeat_) return roleText(x.role);
    return "未知";
}

std::string Game::equips(const Player& x) const {
    std::string items;
    auto add = [&items](const std::string& item) { items += (items.empty() ? "" : " ") + item; };
    if (x.weapon) add("武:" + cardName(x.weapon->type));
    if (x.armor) add("防:" + cardName(x.armor->type));
    if (x.offensiveHorse) add("-1马");
    if (x.defensiveHorse) add("+1马");
    return "[" + (items.empty() ? std::string("无装备") : items) + "]";
}

void Game::table() const {
    std::string out = paint("╔══════════════════ 六 人 卡维林 ══════════════════╗\n", CYAN);
    out += std::string("模式:") + (mode_ == Identity ? "身份局" : "普通3v3") + "  第" +
           std::to_string(round_) + "轮  牌堆" + std::to_string(deck_.size()) + " 弃牌" +
           std::to_string(discard_.size()) + "\n";
    for (int i = 0; i < static_cast<int>(ps_.size()); ++i) {
        const Player& x = ps_[i];
        out += i == current_ ? ">" : " ";
        out += " " + std::to_string(i + 1) + "号 " + padRight(x.hero.name, 8) + "【" + shownRole(i) + "】 ";
        if (x.alive)
            out += std::string(static_cast<std::size_t>(std::max(0, x.hp)), '*') + " " +
                   std::to_string(x.hp) + "/" + std::to_string(x.maxHp);
        else
            out += "[阵亡]";
        out += " 手牌" + std::to_string(x.hand.size()) + " " + equips(x);
        if (x.chained) out += " [连环]";
        out += " 技【";
        out += x.hero.skills;
        out += "】\n";
    }
    out += paint("╚══════════════════════════════════════════════════╝\n", CYAN);
    show(out);
}

void Game::hand(int p) const {
    const Hand& cards = ps_[p].hand;
    std::string out = "\n手牌：\n";
    for (std::size_t i = 0; i < cards.size(); ++i) {
        out += "[" + std::to_string(i + 1) + "]" + padRight(ctext(cards[i]), 18);
        if ((i + 1) % 3 == 0) out += "\n";
    }
    out += "\n";
    show(out);
}

// The computer finishes a play phase it has begun; the player takes over at the seat's next decision
// after it. The player gets a fresh table and hand, and everybody is told. A seat whose old connection
// went away unnoticed (nothing was asked of it since) is announced as dropped first.
void Game::takeBack(int p) {
    Player& x = ps_[p];
    if (!x.human && p == current_ && step_ == TurnStep::Play) return;
    if (!io_->takeBack(p)) return;
    dropSeat(p);
    x.human = true;
    publicMessage("[网络] " + x.hero.name + "重新连线，已取回座位。\n");
    clear();
    table();
    hand(p);
}

// Every seat sees a public line exactly once: the host console and every client.
void Game::publicMessage(std::string_view text) const {
    if (io_) io_->showAll(text);
}

void Game::show(std::string_view text) const {
    if (io_) io_->show(viewSeat_, text);
}

} // namespace kvr

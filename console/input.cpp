#include <sstream>

#include "model/game.hpp"
#include "model/text.hpp"

namespace kvr {

// The addressed seat's next answer, trimmed. False when no answer is to be had: local input has ended,
// the remote seat's player has gone, in which case the seat is handed to the computer, or the remote
// player let the time for an answer pass, in which case everybody is told, answerTimedOut_ is set and
// the seat stays the player's. The disconnect and the timeout travel beside the text, so no typed line
// can pass for either.
bool Game::readAnswer(std::string& out, const Prompt& prompt) {
    out.clear();
    answerTimedOut_ = false;
    if (!io_ || !personAt(viewSeat_)) return false;
    std::string s;
    switch (io_->askFor(viewSeat_, prompt, s)) {
    case Answer::Line:
        out = trimmed(s);
        return true;
    case Answer::Dropped:
        dropSeat(viewSeat_);
        return false;
    case Answer::TimedOut:
        answerTimedOut_ = true;
        publicMessage("[网络] " + std::to_string(viewSeat_ + 1) + "号座位超时，本次由AI代答。\n");
        return false;
    default:
        return false;
    }
}

// Whether an answer addressed to seat p has a person to give it: any seat a human holds, and nobody in
// particular (-1) at this console. A seat the computer plays, such as one whose player dropped earlier
// in the running action, is never asked, neither at its old connection nor at this console.
bool Game::personAt(int p) const { return p < 0 || p >= static_cast<int>(ps_.size()) || ps_[p].human; }

std::string Game::line(PromptKind kind, const Query* query) {
    std::string s;
    readAnswer(s, Prompt{kind, 0, 0, query});
    return s;
}

int Game::number(int lo, int hi, int fallback, const Query* query) {
    for (;;) {
        std::string s;
        if (!readAnswer(s, Prompt{PromptKind::Number, lo, hi, query})) return fallback;
        int n = 0;
        if (parseLeadingInt(s, n) && lo <= n && n <= hi) return n;
        show("请输入" + std::to_string(lo) + "~" + std::to_string(hi) + "：");
    }
}

std::vector<int> Game::numbers(const std::string& s) {
    std::string text = s;
    for (char& ch : text)
        if (ch == ',' || ch == ';') ch = ' ';
    std::istringstream in(text);
    std::vector<int> out;
    int n = 0;
    while (in >> n) out.push_back(n);
    return out;
}

Query Game::handQuery(int p, const char* topic, std::string ask, std::string_view about, bool none,
                      const std::function<bool(const Card&)>& fits) const {
    Query q;
    q.topic = topic;
    q.ask = std::move(ask);
    q.about = std::string(about);
    q.handAnswers = true;
    if (none) q.options.push_back({"0", "放弃", -1, -1});
    const auto& cards = ps_[p].hand;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        q.options.push_back({std::to_string(i + 1), plainCard(cards[i]), -1, static_cast<int>(i)});
        if (i < 64 && fits(cards[i])) q.fits |= std::uint64_t(1) << i;
    }
    return q;
}

std::string Game::seatLabel(int p) const { return std::to_string(p + 1) + "号 " + ps_[p].hero.name; }

// A seat whose player dropped earlier in the action is shown nothing and chooses nobody: every caller
// takes -1 as no target, and the step ends as its cancel would.
int Game::chooseTarget(int from, const std::string& prompt, const std::function<bool(int)>& legal,
                       bool cancel) {
    if (!ps_[from].human) return -1;
    activateSeat(from);
    std::string out = "\n" + prompt + (cancel ? "（0取消）" : "") + "：\n";
    SeatList candidates;
    for (int i = 0; i < 6; ++i) {
        if (i == from || !ps_[i].alive || !legal(i)) continue;
        candidates.push_back(i);
        const Player& x = ps_[i];
        out += std::to_string(candidates.size()) + "." + x.hero.name + " HP" + std::to_string(x.hp) +
               " 手牌" + std::to_string(x.hand.size()) + " 距" + std::to_string(distance(from, i)) + " 身份" +
               shownRole(i) + "\n";
    }
    show(out);
    if (candidates.empty()) {
        refuse(from, "没有合法目标。", RED);
        return -1;
    }
    show("> ");
    Query q;
    q.topic = "target";
    q.ask = prompt;
    if (cancel) q.options.push_back({"0", "取消", -1, -1});
    for (std::size_t k = 0; k < candidates.size(); ++k)
        q.options.push_back({std::to_string(k + 1), seatLabel(candidates[k]), candidates[k], -1});
    int lo = cancel ? 0 : 1;
    int n = number(lo, static_cast<int>(candidates.size()), lo, &q);
    return n == 0 ? -1 : candidates[static_cast<std::size_t>(n - 1)];
}

void Game::pause(const std::string& s) {
    if (opt_.fast || opt_.autoPlay || !personAt(viewSeat_)) return;
    show("\n" + s);
    // The browser's button says what the console's line asks: to go on.
    Query q;
    q.topic = "pause";
    std::string ignored;
    readAnswer(ignored, Prompt{PromptKind::Pause, 0, 0, &q});
}

} // namespace kvr

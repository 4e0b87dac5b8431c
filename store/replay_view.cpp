#include "store/replay_view.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

#include "console/replay_io.hpp"
#include "model/game.hpp"
#include "net/web_protocol.hpp"

namespace kvr {

using Json = nlohmann::json;

namespace {

std::string dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

const char* const SUIT_SIGNS[4] = {"♠", "♥", "♣", "♦"};

// Drawn as the view draws a card.
Json cardJson(const Card& c) {
    return Json{{"name", cardName(c.type)},
                {"suit", SUIT_SIGNS[static_cast<int>(c.suit) & 3]},
                {"rank", rankName(c.rank)},
                {"red", c.red()}};
}

// Every seat's role and hand: what only the end of the game may show.
std::string revealJson(const Game& game) {
    Json seats = Json::array();
    for (const Player& x : game.players()) {
        Json hand = Json::array();
        for (const Card& c : x.hand) hand.push_back(cardJson(c));
        seats.push_back(Json{{"role", std::string(roleName(x.role))}, {"hand", hand}});
    }
    return dump(seats);
}

} // namespace

// Between the replay and the game: what a watching browser of the hosted table got, when it got it. The
// table refreshes the spectators' view after every public text, and before and after every question (the
// view names the seat being asked); private text reaches no spectator.
class SpectatorTap : public TableIo {
  public:
    SpectatorTap(ReplayIo& inner, ReplayView& into) : inner_(inner), into_(into) {}
    void watch(const Game& game) { game_ = &game; }

    void showAll(std::string_view text) override {
        inner_.showAll(text);
        std::string shown(text);
        refresh(&shown);
    }
    void show(int p, std::string_view text) override { inner_.show(p, text); }
    Answer ask(int p, std::string& line) override { return askFor(p, Prompt{}, line); }
    Answer askFor(int p, const Prompt& prompt, std::string& line) override {
        asked_ = p;
        refresh(nullptr);
        Answer a = inner_.askFor(p, prompt, line);
        asked_ = -1;
        refresh(nullptr);
        return a;
    }
    bool hosted() const override { return inner_.hosted(); }
    int remotePlayers() const override { return inner_.remotePlayers(); }
    bool seatRemote(int player, int p, std::string_view start) override {
        return inner_.seatRemote(player, p, start);
    }
    bool takeBack(int p) override { return inner_.takeBack(p); }
    void seatOut(int p) override { inner_.seatOut(p); }
    // The result reaches the spectators as a public text after the last view.
    void farewell(std::string_view text) override {
        refresh(nullptr);
        inner_.farewell(text);
        std::string shown(text);
        refresh(&shown);
    }

  private:
    void refresh(const std::string* text) {
        if (!game_) return;
        SeatView v = game_->publicView();
        into_.keep(text, viewMessage(v, asked_), revealJson(*game_), v.round);
    }

    ReplayIo& inner_;
    ReplayView& into_;
    const Game* game_ = nullptr;
    int asked_ = -1;
};

ReplayView::ReplayView(const std::string& recordText, const std::string& name) {
    std::istringstream in(recordText);
    Record record = parseRecord(in, name);
    ReplayIo replay(record, nullptr);
    SpectatorTap tap(replay, *this);
    Game game(record.head.mode, record.head.opt, &tap);
    tap.watch(game);
    try {
        game.setup();
        game.run();
        replay.checkUsedUp();
    } catch (const RecordStop& e) {
        if (!replay.over()) stopped_ = e.what();
    } catch (const std::exception& e) {
        stopped_ = e.what();
    }
    finished_ = game.ended() && stopped_.empty();
    result_ = game.result();
}

void ReplayView::keep(const std::string* text, std::string view, std::string reveal, int round) {
    if (text) {
        log_.push_back(*text);
        logJson_.push_back(dump(Json(*text)));
    }
    if (!text && !steps_.empty() && views_.back() == view) return;
    if (views_.empty() || views_.back() != view) views_.push_back(std::move(view));
    if (reveals_.empty() || reveals_.back() != reveal) reveals_.push_back(std::move(reveal));
    steps_.push_back(Step{round, static_cast<int>(views_.size()) - 1, static_cast<int>(log_.size()),
                          static_cast<int>(reveals_.size()) - 1});
}

const std::string& ReplayView::viewAt(int n) const {
    static const std::string none;
    if (steps_.empty()) return none;
    return views_[static_cast<std::size_t>(
        steps_[static_cast<std::size_t>(std::clamp(n, 0, steps() - 1))].view)];
}

int ReplayView::logAt(int n) const {
    if (steps_.empty()) return 0;
    return steps_[static_cast<std::size_t>(std::clamp(n, 0, steps() - 1))].log;
}

std::string ReplayView::stepJson(int n, bool reveal, int since) const {
    if (steps_.empty())
        return dump(Json{{"t", "step"},
                         {"step", 0},
                         {"steps", 0},
                         {"round", 0},
                         {"view", nullptr},
                         {"log", Json::array()},
                         {"logFrom", 0},
                         {"logTo", 0}});
    n = std::clamp(n, 0, steps() - 1);
    const Step& s = steps_[static_cast<std::size_t>(n)];
    int from = std::clamp(since, 0, s.log);
    std::string out =
        "{\"t\":\"step\",\"step\":" + std::to_string(n) + ",\"steps\":" + std::to_string(steps()) +
        ",\"round\":" + std::to_string(s.round) + ",\"view\":" + views_[static_cast<std::size_t>(s.view)] +
        ",\"logFrom\":" + std::to_string(from) + ",\"logTo\":" + std::to_string(s.log) + ",\"log\":[";
    for (int k = from; k < s.log; ++k) {
        if (k > from) out += ',';
        out += logJson_[static_cast<std::size_t>(k)];
    }
    out += ']';
    // The toggle shows hands and roles only once the game is over: never from a game still unfinished.
    if (reveal && finished_) out += ",\"reveal\":" + reveals_[static_cast<std::size_t>(s.reveal)];
    out += '}';
    return out;
}

std::string ReplayView::indexJson() const {
    Json rounds = Json::array();
    int last = -1;
    for (int k = 0; k < steps(); ++k) {
        int r = steps_[static_cast<std::size_t>(k)].round;
        if (r != last) rounds.push_back(Json{{"round", r}, {"step", k}});
        last = r;
    }
    return dump(Json{{"t", "replay"},
                     {"steps", steps()},
                     {"finished", finished_},
                     {"result", result_},
                     {"stopped", stopped_},
                     {"rounds", rounds}});
}

} // namespace kvr

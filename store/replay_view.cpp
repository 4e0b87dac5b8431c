#include "store/replay_view.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

#include "console/replay_io.hpp"
#include "model/game.hpp"
#include "net/web_protocol.hpp"
#include "store/game_store.hpp"

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

// Cards are drawn by name, suit and rank: two copies of one card look alike.
bool sameLook(const Card& a, const Card& b) {
    return a.type == b.type && a.suit == b.suit && a.rank == b.rank;
}

bool sameCard(const Optional<Card>& a, const Optional<Card>& b) {
    return static_cast<bool>(a) == static_cast<bool>(b) && (!a || sameLook(*a, *b));
}

// Whether two spectator's views draw alike: every fact viewMessage draws of a view with no seat of its
// own (the hero's name, kingdom and skills follow from the hero). A view that differs here is a step of
// its own, so a fact added to the view message must be added here too; the tests compare every step
// with what a live spectator got.
bool sameFace(const SeatView& a, const SeatView& b) {
    if (a.mode != b.mode || a.round != b.round || a.drawPile != b.drawPile ||
        a.discardPile != b.discardPile || a.current != b.current || a.self != b.self)
        return false;
    for (std::size_t p = 0; p < 6; ++p) {
        const SeenSeat& x = a.seats[p];
        const SeenSeat& y = b.seats[p];
        if (x.alive != y.alive || x.hero != y.hero || x.hp != y.hp || x.maxHp != y.maxHp ||
            x.handCount != y.handCount || x.chained != y.chained || !sameCard(x.weapon, y.weapon) ||
            !sameCard(x.armor, y.armor) || !sameCard(x.offensiveHorse, y.offensiveHorse) ||
            !sameCard(x.defensiveHorse, y.defensiveHorse) || x.delayed.size() != y.delayed.size() ||
            static_cast<bool>(x.role) != static_cast<bool>(y.role) || (x.role && *x.role != *y.role))
            return false;
        for (std::size_t k = 0; k < x.delayed.size(); ++k)
            if (!sameLook(x.delayed[k], y.delayed[k])) return false;
    }
    return true;
}

} // namespace

bool ReplayView::Hands::operator==(const Hands& o) const {
    if (roles != o.roles || counts != o.counts || cards.size() != o.cards.size()) return false;
    for (std::size_t k = 0; k < cards.size(); ++k)
        if (cards[k].id != o.cards[k].id) return false;
    return true;
}

// What only the end of the game may show.
std::string ReplayView::handsJson(const Hands& h) const {
    Json seats = Json::array();
    std::size_t at = 0;
    for (std::size_t p = 0; p < 6; ++p) {
        Json hand = Json::array();
        for (int k = 0; k < h.counts[p]; ++k) hand.push_back(cardJson(h.cards[at++]));
        seats.push_back(Json{{"role", std::string(roleName(h.roles[p]))}, {"hand", hand}});
    }
    return dump(seats);
}

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
    // A view is kept only when it looks otherwise than the last one kept.
    void refresh(const std::string* text) {
        if (!game_) return;
        SeatView v = game_->publicView();
        bool same = drawn_ && asked_ == lastAsked_ && sameFace(v, last_);
        if (same && !text) return;
        ReplayView::Hands hands;
        for (std::size_t p = 0; p < 6; ++p) {
            const Player& x = game_->players()[p];
            hands.roles[p] = x.role;
            hands.counts[p] = static_cast<std::uint8_t>(x.hand.size());
            for (const Card& c : x.hand) hands.cards.push_back(c);
        }
        into_.keep(text, same ? nullptr : &v, asked_, std::move(hands), v.round);
        if (same) return;
        last_ = v;
        lastAsked_ = asked_;
        drawn_ = true;
    }

    ReplayIo& inner_;
    ReplayView& into_;
    const Game* game_ = nullptr;
    int asked_ = -1;
    SeatView last_;
    int lastAsked_ = -1;
    bool drawn_ = false;
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

void ReplayView::keep(const std::string* text, const SeatView* view, int asked, Hands hands, int round) {
    if (text) {
        log_.push_back(*text);
        logJson_.push_back(dump(Json(*text)));
    }
    if (view) faces_.push_back(Face{*view, asked});
    if (faces_.empty()) return;
    if (reveals_.empty() || !(reveals_.back() == hands)) reveals_.push_back(std::move(hands));
    steps_.push_back(Step{round, static_cast<int>(faces_.size()) - 1, static_cast<int>(log_.size()),
                          static_cast<int>(reveals_.size()) - 1});
}

std::string ReplayView::viewAt(int n) const {
    if (steps_.empty()) return "";
    const Face& f = faces_[static_cast<std::size_t>(
        steps_[static_cast<std::size_t>(std::clamp(n, 0, steps() - 1))].view)];
    return viewMessage(f.view, f.asked);
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
    std::string out = "{\"t\":\"step\",\"step\":" + std::to_string(n) +
                      ",\"steps\":" + std::to_string(steps()) + ",\"round\":" + std::to_string(s.round) +
                      ",\"view\":" + viewAt(n) + ",\"logFrom\":" + std::to_string(from) +
                      ",\"logTo\":" + std::to_string(s.log) + ",\"log\":[";
    for (int k = from; k < s.log; ++k) {
        if (k > from) out += ',';
        out += logJson_[static_cast<std::size_t>(k)];
    }
    out += ']';
    // The toggle shows hands and roles only once the game is over: never from a game still unfinished.
    if (reveal && finished_) out += ",\"reveal\":" + handsJson(reveals_[static_cast<std::size_t>(s.reveal)]);
    out += '}';
    return out;
}

// The first step whose table has every seat dealt its hero: before it the table is still being set up.
int ReplayView::dealtAt() const {
    for (int k = 0; k < steps(); ++k) {
        const SeatView& v = faces_[static_cast<std::size_t>(steps_[static_cast<std::size_t>(k)].view)].view;
        if (std::all_of(v.seats.begin(), v.seats.end(), [](const SeenSeat& x) { return x.maxHp > 0; })) return k;
    }
    return 0;
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
                     {"dealt", dealtAt()},
                     {"rounds", rounds}});
}

// Replayed outside the lock: another game's request need not wait for this one's replay.
std::optional<ReplayCache::Kept> ReplayCache::viewOf(std::int64_t id) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (auto it = kept_.begin(); it != kept_.end(); ++it) {
            if (it->first != id) continue;
            kept_.splice(kept_.begin(), kept_, it);
            return kept_.front().second;
        }
    }
    std::optional<StoredGame> game = store_.get(id);
    if (!game) return std::nullopt;
    Kept k;
    k.table = game->summary.table;
    k.listed = game->summary.listed;
    try {
        k.view = std::make_shared<const ReplayView>(game->record, "#" + std::to_string(id));
    } catch (const RecordError&) {
        return std::nullopt;
    }
    if (game->summary.state == GameState::Playing) return k;
    std::lock_guard<std::mutex> lock(lock_);
    kept_.emplace_front(id, k);
    if (kept_.size() > capacity_) kept_.pop_back();
    return k;
}

std::shared_ptr<const ReplayView> ReplayCache::seen(std::int64_t id, const std::string* link) {
    std::optional<Kept> k = viewOf(id);
    if (!k) return nullptr;
    if (link && (link->empty() ? !k->listed : *link != k->table)) return nullptr;
    return k->view;
}

std::optional<std::string> ReplayCache::step(std::int64_t id, int n, bool reveal, int since,
                                             const std::string* link) {
    std::shared_ptr<const ReplayView> view = seen(id, link);
    if (!view) return std::nullopt;
    return view->stepJson(n, reveal, since);
}

std::optional<std::string> ReplayCache::index(std::int64_t id, const std::string* link) {
    std::shared_ptr<const ReplayView> view = seen(id, link);
    if (!view) return std::nullopt;
    return view->indexJson();
}

} // namespace kvr

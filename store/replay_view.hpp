// A kept game stepped through as a spectator saw it. The record is played again (the game is
// deterministic) and, at every point where a watching browser got something, a step is kept: the public
// table (the spectator's view message, as a browser gets it) and the public log up to there, with the
// round. Nothing a spectator could not see goes into a step, except, when asked and only once the game
// is over, every hand and role as they were at that step ("明牌").
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/seat_view.hpp"
#include "model/types.hpp"

namespace kvr {

class ReplayView {
  public:
    // Plays the record `recordText` (its file's bytes), named `name` in messages, as far as it goes.
    // Throws RecordError when it is no record this program can play (its head); a record that stops or
    // goes wrong after its head gives the steps up to there, and says why in stopped().
    ReplayView(const std::string& recordText, const std::string& name);

    int steps() const { return static_cast<int>(steps_.size()); }
    // Whether the game reached its result: only then may hands and roles be shown.
    bool finished() const { return finished_; }
    const std::string& result() const { return result_; }
    // Why the replay stopped before the game's end; empty when it did not.
    const std::string& stopped() const { return stopped_; }

    // Step n (0-based, clamped to the steps there are) as JSON: {"t":"step","step","steps","round",
    // "view": the spectator's view message, "log": the public texts from `since` up to this step,
    // "logFrom", "logTo", and with `reveal` for a finished game "reveal": each seat's role and hand}.
    std::string stepJson(int n, bool reveal = false, int since = 0) const;
    // The game at a glance, for the viewer's controls: {"t":"replay","steps","finished","result",
    // "stopped","dealt": the first step with every hero dealt, "rounds":[the first step of each round]}.
    std::string indexJson() const;
    int dealtAt() const;

    // Step n's view message, and the count of public texts up to it.
    std::string viewAt(int n) const;
    int logAt(int n) const;
    const std::vector<std::string>& log() const { return log_; }

    struct Step {
        int round = 0;
        int view = 0;
        int log = 0;
        int reveal = 0;
    };

  private:
    // Every seat's role and hand at a step: kept compact, drawn only when the toggle asks for it.
    struct Hands {
        std::array<Role, 6> roles{};
        std::array<std::uint8_t, 6> counts{};
        std::vector<Card> cards;
        bool operator==(const Hands& o) const;
    };

    friend class SpectatorTap;
    // A new step when `text` is new public text or `view` (null: the last step's) differs from the last
    // step's view.
    void keep(const std::string* text, const SeatView* view, int asked, Hands hands, int round);
    std::string handsJson(const Hands& h) const;

    std::vector<Step> steps_;
    // The distinct public views (with the seat being asked) and hands-and-roles in order, each kept once
    // however many steps share it. A view is drawn as its message only when a step is asked for.
    struct Face {
        SeatView view;
        int asked = -1;
    };
    std::vector<Face> faces_;
    std::vector<Hands> reveals_;
    // The public texts as shown, and each as a JSON string.
    std::vector<std::string> log_;
    std::vector<std::string> logJson_;
    bool finished_ = false;
    std::string result_;
    std::string stopped_;
};

class GameStore;

// The viewers of the games last stepped through, so that a game is replayed once however many steps are
// asked of it: what a room's pages call. A game still being played is replayed anew at every request.
class ReplayCache {
  public:
    explicit ReplayCache(GameStore& store, std::size_t games = 32) : store_(store), capacity_(games) {}

    // Step n of game `id` as ReplayView::stepJson gives it, or its index; nothing when the store has no
    // such game, its record cannot be played at all, or it is not to be seen where it is asked from:
    // `link` null asks from anywhere (the program's own tools), empty from the room's history (listed
    // tables' games only), else from that table's link (that table's games only).
    std::optional<std::string> step(std::int64_t id, int n, bool reveal, int since = 0,
                                    const std::string* link = nullptr);
    std::optional<std::string> index(std::int64_t id, const std::string* link = nullptr);

  private:
    struct Kept {
        std::shared_ptr<const ReplayView> view;
        std::string table;
        bool listed = true;
    };
    std::optional<Kept> viewOf(std::int64_t id);
    std::shared_ptr<const ReplayView> seen(std::int64_t id, const std::string* link);

    GameStore& store_;
    std::size_t capacity_;
    std::mutex lock_;
    // Most recently used first.
    std::list<std::pair<std::int64_t, Kept>> kept_;
};

} // namespace kvr

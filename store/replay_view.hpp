// A kept game stepped through as a spectator saw it. The record is played again (the game is
// deterministic) and, at every point where a watching browser got something, a step is kept: the public
// table (the spectator's view message, as a browser gets it) and the public log up to there, with the
// round. Nothing a spectator could not see goes into a step, except, when asked and only once the game
// is over, every hand and role as they were at that step ("明牌").
#pragma once

#include <string>
#include <vector>

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
    // "stopped","rounds":[the first step of each round]}.
    std::string indexJson() const;

    // For the tests: step n's view message and the count of public texts up to it.
    const std::string& viewAt(int n) const;
    int logAt(int n) const;
    const std::vector<std::string>& log() const { return log_; }

    struct Step {
        int round = 0;
        int view = 0;
        int log = 0;
        int reveal = 0;
    };

  private:
    friend class SpectatorTap;
    // A new step when `text` is new public text or `view` differs from the last step's.
    void keep(const std::string* text, std::string view, std::string reveal, int round);

    std::vector<Step> steps_;
    // The distinct view messages and hands-and-roles in order, each kept once however many steps share it.
    std::vector<std::string> views_;
    std::vector<std::string> reveals_;
    // The public texts as shown, and each as a JSON string.
    std::vector<std::string> log_;
    std::vector<std::string> logJson_;
    bool finished_ = false;
    std::string result_;
    std::string stopped_;
};

} // namespace kvr

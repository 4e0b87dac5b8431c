// The strong player's search over sampled games: at a decision it deals the hidden facts anew from its
// beliefs (the other hands, the draw pile, the unknown roles), plays each candidate on silent worlds,
// and keeps the one that leaves its side best off on average. It reaches the table only through its
// seat's desk: the worlds are built by the game from the deals it makes.
#pragma once

#include <cstdint>
#include <vector>

#include "ai/belief.hpp"
#include "ai/strong.hpp"
#include "model/seat_player.hpp"

namespace kvr {

class Game;

// Plays (games played out in worlds) by every search in this process so far, in the budget's plays.
long strongPlaysDone();

class Search {
  public:
    // The action the desk's seat takes next in its play phase; `tried` lists actions the rules refused.
    static StrongMove bestMove(SeatDesk& d, const std::vector<StrongMove>& tried);
    // The best of `answers` (as the reaction tape keeps them: a card id, a seat, 1 or 0) to the question
    // the desk's seat is asked inside an action, over about `plays` plays; the first when the question
    // cannot be resumed.
    static int bestAnswer(SeatDesk& d, const std::vector<int>& answers, int plays);

    // Hidden facts dealt from the view (its `unseen` filled), the roles from the belief.
    static void deal(const SeatView& v, const RoleBelief& belief, std::uint64_t& state, HiddenDeal& out);
    // The score of a world for seat p's side.
    static double score(const Game& world, int p);

    // How many phases and actions each play goes on for.
    static constexpr long HORIZON = 32;
    // A side of the hidden-role game wins only when whole roles are gone, the Renegade only by outliving
    // every other seat, so a short play cannot show where a choice leads: there the plays go on eight
    // times as far, and half as many are made, each counted as two of the budget.
    static constexpr long IDENTITY_HORIZON = 256;
    static constexpr int IDENTITY_PLAYS_SHARE = 2;
    // The team game's lead, in score, from which a world's worth levels off: the worth is
    // 1000 * x / sqrt(1 + x * x) with x the lead over TEAM_LEAD, short of a won game's 1000.
    static constexpr double TEAM_LEAD = 60;
    // Of a budget of `plays`, how many the viewer's search makes.
    static int playsFor(const SeatView& v, int plays);
    // The phases and actions a decision's worlds may play at most, for a budget of `plays`: a cap on the
    // worst decision, counted in the game's own steps so that a game stays reproducible. It lies above
    // what nearly every decision plays (in the team game the horizon bounds a play; in the hidden-role
    // game a play of 256 ends at about 90 on the median decision, 200 at worst).
    static long actionCap(const SeatView& v, int plays);
    static constexpr long TEAM_CAP_PER_PLAY = 40;
    static constexpr long IDENTITY_CAP_PER_PLAY = 96;
    // In the hidden-role game, when the last two candidates are close (their mean difference over the
    // last round's worlds within CLOSE_ERRORS of its standard error), the search plays them in as many
    // fresh worlds again, at most CLOSE_ROUNDS times and within the cap. The team game plays no more:
    // there it cost 1.0 and 2.7 points of games on two ranges of 300 seeds.
    static constexpr double CLOSE_ERRORS = 2.0;
    static constexpr int CLOSE_ROUNDS = 2;
    static int closeRounds(const SeatView& v);
    // Whether two candidates whose scores differed by `differences` in the same worlds are close.
    static bool closeChoice(const std::vector<double>& differences);

  private:
    // Seat p (and in the team game its team) plays on in the world by the rules of thumb, the rest as the
    // classic player.
    static void castWorld(Game& world, int p);
    static double tryMove(Game& world, int p, const StrongMove& m);
    // How far each play goes in the world.
    static long horizonFor(const Game& world);
    static std::vector<StrongMove> candidates(int p, const SeatView& v, const std::vector<StrongMove>& tried);
};

} // namespace kvr

// The strong player decides from what its seat can see. The paired audit asks it every question twice, on
// the game and on a twin its seat cannot tell apart, and a peek planted at each kind of hidden fact (the
// table kept at the boundary, a roll the seat did not see, the game's seed, a true role) is caught by it.
// A nullified trick's target, which no seat was shown, reaches no view. `peek-deep` (ctest -C honest -L
// honest) runs the audit on more games at a larger budget.
#include <gtest/gtest.h>

#include <cstdio>

#include "ai/players.hpp"
#include "ai/strong.hpp"
#include "tests/support/peek_audit.hpp"
#include "tests/support/table.hpp"

#ifndef KAVRIN_PEEK_GAMES
#define KAVRIN_PEEK_GAMES 24
#define KAVRIN_PEEK_PLAYS 12
#endif

namespace kvr {
namespace {

TEST(NoPeeking, TwinsTheSeatCannotTellApartGetTheSameAnswers) {
    PeekAudit a = pairedAudit(strongPlayer(), 1, KAVRIN_PEEK_GAMES, KAVRIN_PEEK_PLAYS);
    std::printf("%d games, %ld decisions, %ld inside an action (%ld dodges or slashes, %ld after a roll "
                "the seat did not see)\n",
                a.games, a.decisions, a.reactions, a.answerCards, a.hiddenRolls);
    EXPECT_EQ(a.viewsDiffering, 0) << a.firstView;
    EXPECT_EQ(a.differing, 0) << a.first;
    EXPECT_EQ(a.roleReads, 0);
    // The answers inside an action are asked too, the strong player's dodges and slashes among them,
    // some after a roll the seat did not see.
    EXPECT_GT(a.decisions, 100L * KAVRIN_PEEK_GAMES);
    EXPECT_GT(a.reactions, 10L * KAVRIN_PEEK_GAMES);
    EXPECT_GT(a.answerCards, 2L * KAVRIN_PEEK_GAMES);
    EXPECT_GT(a.hiddenRolls, 0);
}

// Each planted peek turns an answer by one bit of a hidden fact; the twins differ in it.
TEST(NoPeeking, APlantedPeekOfEachKindIsCaught) {
    for (Peek kind : {Peek::Boundary, Peek::HiddenRoll, Peek::Seed, Peek::TrueRole}) {
        PeekAudit a = pairedAudit(plantedPeek(kind), 1, 12, 6);
        EXPECT_EQ(a.viewsDiffering, 0) << static_cast<int>(kind) << " " << a.firstView;
        // The engine asks a seat for its foe only for a few skills: the true-role question is what
        // gives that peek away.
        if (kind == Peek::TrueRole) {
            EXPECT_GT(a.roleReads, 0);
        } else {
            EXPECT_GT(a.differing, 0) << static_cast<int>(kind);
        }
    }
}

// Two tables that differ only in the target of a trick that was nullified: the line names no target and
// the trick did nothing, so every seat that was not asked to nullify it has the same view in both. The
// same trick not nullified shows its target, and the choice is counted.
TEST(NoPeeking, ANullifiedTricksTargetReachesNoView) {
    auto play = [](int target, bool nullified) {
        auto t = std::make_unique<Table>(Identity);
        t->g().opt().strongRoles = 1U << Rebel;
        t->game().setComputer(5, &strongPlayer());
        for (int q = 1; q < 6; ++q) t->give(q, Slash);
        t->give(2, Dodge);
        t->give(0, Dismantle);
        // A person asked to nullify is told the target; seat 5 nullifies whatever it is.
        t->human(4);
        t->answers("y\n");
        if (nullified) t->give(4, Nullification);
        EXPECT_TRUE(t->g().useCard(0, 0, Optional<int>(target)));
        return t;
    };
    for (bool nullified : {true, false}) {
        auto a = play(1, nullified), b = play(3, nullified);
        for (int q : {1, 2, 3, 5}) {
            bool same = viewText(a->g().viewFor(q)) == viewText(b->g().viewFor(q));
            if (nullified)
                EXPECT_TRUE(same) << q;
            else
                EXPECT_FALSE(same) << q;
        }
        int counted = 0;
        const SeatView seen = a->g().viewFor(2);
        for (int m : seen.choiceMisses[0]) counted += m;
        EXPECT_EQ(counted > 0, !nullified);
        EXPECT_EQ(a->g().pendingChoice(), -1);
    }
}

// What each seat's view says of card c: '*' for its holder, 'y' for a seat that saw it go there, '-' for a
// seat that did not.
std::string sightings(Table& t, const Card& c, int holder) {
    std::string out;
    for (int q = 0; q < 6; ++q) {
        bool seen = t.g().viewFor(q).seenIn[static_cast<std::size_t>(c.id)] == holder;
        out += q == holder ? '*' : seen ? 'y' : '-';
    }
    return out;
}

// The sightings of a card that seat `seer` alone saw go to `holder`; with -1, every other seat saw it.
std::string seenBy(int seer, int holder) {
    std::string out(6, seer < 0 ? 'y' : '-');
    if (seer >= 0) out[static_cast<std::size_t>(seer)] = 'y';
    out[static_cast<std::size_t>(holder)] = '*';
    return out;
}

// A card a seat alone saw stays in that seat's view: a hand card taken by 顺手牵羊 is known to its loser,
// one given by 仁德 to its giver, and to nobody else, for seat 1 as for any other. An equipped card was in
// everybody's sight.
TEST(SeatView, OwnSightingsStayOwn) {
    for (int loser : {0, 3}) {
        Table t;
        int thief = loser + 1;
        Card c = t.give(loser, Slash);
        t.give(thief, Steal);
        ASSERT_TRUE(t.g().useCard(thief, 0, Optional<int>(loser)));
        ASSERT_EQ(t.seat(thief).hand.at(0).id, c.id);
        EXPECT_EQ(sightings(t, c, thief), seenBy(loser, thief));

        Card horse = t.equip(loser, Dilu);
        t.give(thief, Steal);
        ASSERT_TRUE(t.g().useCard(thief, 1, Optional<int>(loser)));
        EXPECT_EQ(sightings(t, horse, thief), seenBy(-1, thief));
    }
    for (int giver : {0, 3}) {
        Table t;
        t.hero(giver, Ormaen);
        Card c = t.give(giver, Peach);
        ASSERT_TRUE(t.g().activeSkill(giver));
        int holder = -1;
        for (int q = 0; q < 6; ++q)
            if (!t.seat(q).hand.empty() && t.seat(q).hand[0].id == c.id) holder = q;
        ASSERT_TRUE(holder >= 0 && holder != giver);
        EXPECT_EQ(sightings(t, c, holder), seenBy(giver, holder));
    }
}

} // namespace
} // namespace kvr

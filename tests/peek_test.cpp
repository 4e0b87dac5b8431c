// The strong player decides from what its seat can see, through the engine's own hooks, and a planted
// peek is caught by both halves of the audit (decisions that change when hidden facts do, true-role
// questions). The soak runs thousands of games.
#include <gtest/gtest.h>

#include "ai/players.hpp"
#include "tests/support/peek_audit.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

TEST(NoPeeking, StrongDecisionsDependOnlyOnWhatTheSeatSees) {
    PeekAudit a = auditPeeking(strongPlayer(), 1, 240);
    EXPECT_GT(a.decisions, 8000);
    EXPECT_EQ(a.differing, 0) << a.first;
    EXPECT_EQ(a.roleReads, 0);
}

// The engine asks a seat for its foe only for a few skills, so the games are enough for some decision to
// turn on the planted peek whatever the seeds play.
TEST(NoPeeking, APlantedPeekIsCaught) {
    PeekAudit a = auditPeeking(plantedPeeker(), 1, 120);
    EXPECT_GT(a.roleReads, 0);
    EXPECT_GT(a.differing, 0);
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

// The strong player decides from what its seat can see, through the engine's own hooks, and a planted
// peek is caught by both halves of the audit (decisions that change when hidden facts do, true-role
// questions). The soak runs thousands of games.
#include <gtest/gtest.h>

#include "ai/players.hpp"
#include "tests/support/peek_audit.hpp"

namespace kvr {
namespace {

TEST(NoPeeking, StrongDecisionsDependOnlyOnWhatTheSeatSees) {
    PeekAudit a = auditPeeking(strongPlayer(), 1, 240);
    EXPECT_GT(a.decisions, 8000);
    EXPECT_EQ(a.differing, 0) << a.first;
    EXPECT_EQ(a.roleReads, 0);
}

TEST(NoPeeking, APlantedPeekIsCaught) {
    PeekAudit a = auditPeeking(plantedPeeker(), 1, 60);
    EXPECT_GT(a.roleReads, 0);
    EXPECT_GT(a.differing, 0);
}

} // namespace
} // namespace kvr

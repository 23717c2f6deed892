#include "Berthkeep/Actions/EjectAttemptState.hpp"

#include <gtest/gtest.h>

#include "../Store/StoreTestSupport.hpp"

namespace berthkeep {
namespace {

using storetest::drive;

// One attempt from its beginning to its close, and what it leaves behind.
TEST(EjectAttemptState, AnAttemptRunsFromItsBeginningToItsClose) {
    EjectAttemptState state;
    state.close({"a", "x"}); // what an earlier attempt left
    const std::string id = state.begin({drive("a", "Alpha"), drive("b", "Bravo")}, 3, 0);
    EXPECT_FALSE(state.isRunning()) << "no drive is worked on yet";
    EXPECT_TRUE(state.isCurrent(id));

    // Eject All: no trigger, its drives mark it as running.
    state.markWorking(std::nullopt);
    EXPECT_TRUE(state.isRunning());
    EXPECT_EQ(state.workingDriveIDs(), (std::set<std::string>{"a", "b"}));
    EXPECT_EQ(state.attentionDriveIDs(), std::set<std::string>{"x"});
    EXPECT_FALSE(state.mayEjectDriveAlone("x")) << "not beside a running attempt";

    EXPECT_FALSE(state.recordEjected(drive("a", "Alpha"), true));
    EXPECT_TRUE(state.recordEjected(drive("b", "Bravo"), false));
    EXPECT_FALSE(state.recordEjected(drive("b", "Bravo"), false));
    EXPECT_EQ(state.successfulTargets().size(), 2u);
    EXPECT_EQ(state.workingDriveIDs(), std::set<std::string>{"a"});

    state.close({"b"});
    EXPECT_FALSE(state.isRunning());
    EXPECT_FALSE(state.isCurrent(id));
    EXPECT_TRUE(state.targets().empty());
    EXPECT_EQ(state.attentionDriveIDs(), std::set<std::string>{"b"});
    EXPECT_TRUE(state.mayEjectDriveAlone("b"));
}

// Only a sleep attempt that began before the latest wake is closed by it. What the
// wake found taken off stays for that attempt's own late close, even when a second
// wake closes a newer attempt first; the late close marks a still-mounted busy
// drive unless another action works on it.
TEST(EjectAttemptState, AWakeClosesOnlyASleepAttemptTheMachineSleptUnder) {
    EjectAttemptState state;
    const std::string id = state.begin({drive("a", "Alpha")}, 1, 0);
    state.markWorking(TriggerReason::systemSleep);
    EXPECT_FALSE(state.interruptedByWake(1)) << "began after that wake";
    ASSERT_TRUE(state.interruptedByWake(2));

    EXPECT_EQ(state.closeByWake({"a"}), id);
    EXPECT_FALSE(state.isRunning());
    EXPECT_FALSE(state.isCurrent(id));
    const std::string newer = state.begin({drive("b", "Bravo")}, 2, 0);
    state.markWorking(TriggerReason::systemSleep);
    EXPECT_EQ(state.closeByWake({"b"}), newer);
    EXPECT_EQ(state.takeDrivesTakenOffBeforeWake(id), std::set<std::string>{"a"});
    EXPECT_TRUE(state.takeDrivesTakenOffBeforeWake(id).empty()) << "read once";
    EXPECT_EQ(state.takeDrivesTakenOffBeforeWake(newer), std::set<std::string>{"b"});

    state.markDriveWorking("a");
    state.closeAfterWake({"a"});
    EXPECT_TRUE(state.attentionDriveIDs().empty()) << "another action works on it";
    state.endDriveWork("a", false);
    state.closeAfterWake({"a"});
    EXPECT_EQ(state.attentionDriveIDs(), std::set<std::string>{"a"});

    state.begin({drive("c", "Charlie")}, 2, 0);
    state.markWorking(TriggerReason::manualEjectAll);
    EXPECT_FALSE(state.interruptedByWake(5)) << "not a sleep attempt";
}

TEST(EjectAttemptState, ARefreshKeepsAttentionForManagedDrivesAndWorkForDetectedOnes) {
    for (const bool keepWorking : {false, true}) {
        SCOPED_TRACE(keepWorking);
        EjectAttemptState state;
        state.close({"gone", "excluded", "c"});
        state.markDriveWorking("pulled");
        state.markDriveWorking("kept");
        state.keepOnly({"excluded", "c", "kept"}, {"c"}, keepWorking);
        EXPECT_EQ(state.attentionDriveIDs(), std::set<std::string>{"c"});
        EXPECT_EQ(state.workingDriveIDs(), keepWorking ? (std::set<std::string>{"pulled", "kept"})
                                                       : (std::set<std::string>{"kept"}));
    }
}

// A drive is being ejected while any eject command of it runs, after a wake
// closed the attempt that began it, and until the refresh after a returned one.
TEST(EjectAttemptState, ADriveIsBeingEjectedWhileAnyOfItsCommandsRuns) {
    EjectAttemptState state;
    state.begin({drive("a", "Alpha")}, 0, 0);
    state.markWorking(TriggerReason::systemSleep);
    state.ejectCommandStarted({drive("a", "Alpha"), drive("b", "Bravo")});
    state.closeByWake({});
    EXPECT_TRUE(state.workingDriveIDs().empty());
    EXPECT_EQ(state.drivesBeingEjected(), (std::set<std::string>{"a", "b"}));

    // A second road ejects Alpha too; the first command's end leaves it ejecting.
    state.ejectCommandStarted({drive("a", "Alpha")});
    state.ejectCommandEnded({drive("a", "Alpha"), drive("b", "Bravo")});
    EXPECT_EQ(state.drivesBeingEjected(), std::set<std::string>{"a"});
    state.ejectCommandEnded({drive("a", "Alpha")});
    state.markEjectReturned("a");
    EXPECT_EQ(state.drivesBeingEjected(), std::set<std::string>{"a"});
    state.refreshedAfterEject("a");
    EXPECT_TRUE(state.drivesBeingEjected().empty());
    state.ejectCommandEnded({drive("a", "Alpha")}); // an end with none running changes nothing
    EXPECT_TRUE(state.drivesBeingEjected().empty());
}

} // namespace
} // namespace berthkeep

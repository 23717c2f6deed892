#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "StoreFixture.hpp"
#include "StoreTestSupport.hpp"

namespace berthkeep {
namespace {

using storetest::drive;
using storetest::excluded;

TEST(BerthkeepStoreActions, UtilityActionsStartOnlyWhenNothingRunsAndADriveIsMounted) {
    struct Case {
        const char* name;
        std::vector<DetectedDrive> drives;
        std::set<std::string> working;
        std::optional<TriggerReason> trigger;
        std::vector<std::string> ejected;
    };
    const std::vector<DetectedDrive> usual = {drive("b", "Beta"), excluded("e", "Extra"),
                                              drive("u", "Unmounted", false), drive("a", "Alpha")};
    for (const Case& test : std::vector<Case>{
             {"mounted managed drives in inventory order", usual, {}, std::nullopt, {"b", "a"}},
             {"all unmounted",
              {drive("u", "Unmounted", false), excluded("e", "Extra")},
              {},
              std::nullopt,
              {}},
             {"a drive is being worked on", usual, {"x"}, std::nullopt, {}},
             {"a trigger is active", usual, {}, TriggerReason::systemSleep, {}}}) {
        for (const auto kind :
             {MenubarUtilityAction::Kind::ejectAll, MenubarUtilityAction::Kind::ejectAndSleep}) {
            SCOPED_TRACE(std::string(test.name) + " / " + toString(kind));
            storetest::StoreFixture fixture;
            fixture.inventory->drives = test.drives;
            const auto store = fixture.makeQuiet();
            if (test.trigger) {
                store->ejectAttempt().begin({}, 0, 0);
                store->ejectAttempt().markWorking(test.trigger);
            }
            for (const std::string& id : test.working) {
                store->ejectAttempt().markDriveWorking(id);
            }
            const std::size_t logged = fixture.sink->events().size();

            store->perform(kind);
            test::processQueuedEvents();
            EXPECT_EQ(fixture.ejector->ejected, test.ejected);
            if (test.ejected.empty()) {
                EXPECT_EQ(fixture.sink->events().size(), logged) << "refused silently";
                EXPECT_TRUE(fixture.statusPresenter->presented.empty());
                EXPECT_EQ(fixture.sleepRequester->requests, 0);
                EXPECT_EQ(fixture.usage->calls, 0);
            } else {
                EXPECT_EQ(store->lastObservedTrigger(), kind == MenubarUtilityAction::Kind::ejectAll
                                                            ? TriggerReason::manualEjectAll
                                                            : TriggerReason::manualEjectAndSleep);
                EXPECT_FALSE(store->ejectAttempt().isRunning()) << "the attempt ended";
            }
        }
    }
}

TEST(BerthkeepStoreActions, EjectAndSleepSleepsOnlyAfterItsOwnEject) {
    struct Case {
        const char* name;
        bool ejectFails;
        bool sleepFails;
        bool anotherActionStartsMeanwhile;
        int sleepRequests;
        const char* logged;
    };
    for (const Case& test : std::vector<Case>{
             {"sleeps", false, false, false, 1, "sleep.manual_handoff.requested"},
             {"sleep refused", false, true, false, 1, "sleep.manual_handoff.failed"},
             {"drive stayed busy", true, false, false, 0, "notifications.delivery.succeeded"},
             {"eject skipped", false, false, true, 0, nullptr}}) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        const auto held = fixture.holdDetachedWork();
        fixture.inventory->drives = {drive("a", "Alpha")};
        if (test.ejectFails) {
            fixture.ejector->failing = {"a"};
        }
        fixture.sleepRequester->fails = test.sleepFails;
        const auto store = fixture.makeQuiet();
        // Two drives an earlier wake could not bring back.
        RemountTarget beta;
        beta.driveID = "b";
        RemountTarget gamma;
        gamma.driveID = "c";
        store->wakeRemountQueue().merge({beta, gamma}, {});

        store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
        test::processQueuedEvents();
        ASSERT_EQ(held->held.size(), 1u) << "usage is probed before the plan";
        if (test.anotherActionStartsMeanwhile) {
            store->ejectAttempt().markDriveWorking("a");
        }
        // The probe, then the refresh after each eject.
        while (!held->held.empty()) {
            held->releaseFirst();
            test::processQueuedEvents();
        }

        EXPECT_EQ(fixture.sleepRequester->requests, test.sleepRequests);
        for (const char* name : {"sleep.manual_handoff.requested", "sleep.manual_handoff.failed",
                                 "notifications.delivery.succeeded"}) {
            const bool expected = test.logged && std::string(test.logged) == name;
            EXPECT_EQ(fixture.sink->named(name).size(), expected ? 1u : 0u) << name;
        }
        if (test.sleepFails) {
            // After the attempt's progress and result panels.
            ASSERT_EQ(fixture.statusPresenter->presented.size(), 3u);
            const TransientActionStatus& last = fixture.statusPresenter->presented.back();
            EXPECT_EQ(last.action, TransientActionStatusAction::ejectAndSleep);
            EXPECT_EQ(last.detail, "Sleep could not start");
            // The one drive this eject took off, not the two queued before it.
            EXPECT_EQ(last, TransientActionStatus::sleepRequestFailed(1));
            EXPECT_EQ(fixture.sink->named("sleep.manual_handoff.failed")[0].metadata.at("error"),
                      "sleep refused");
        }
        // An ejected drive joins the two queued before; with no
        // sleep to follow it leaves again, and the two queued before stay.
        const bool ejectQueued =
            !test.sleepFails && !test.ejectFails && !test.anotherActionStartsMeanwhile;
        EXPECT_EQ(store->wakeRemountQueue().targets().size(), ejectQueued ? 3u : 2u);
        if (test.ejectFails) {
            EXPECT_EQ(fixture.notifications->delivered, std::vector<std::int64_t>{1});
            EXPECT_FALSE(store->pendingSleepFailureNotification());
        }
    }
}

TEST(BerthkeepStoreActions, SingleDriveEjectNeverStartsUnderARunningAttempt) {
    struct Case {
        const char* name;
        std::optional<std::string> attemptID;
        std::optional<TriggerReason> lastTrigger;
        std::vector<std::string> ejected;
        std::optional<TriggerReason> lastTriggerAfter;
    };
    // "a" is being worked on and has already left the inventory; "c" is eject-able.
    for (const Case& test : std::vector<Case>{{"eject all running",
                                               "ATTEMPT",
                                               TriggerReason::manualEjectAll,
                                               {},
                                               TriggerReason::manualEjectAll},
                                              {"single-drive eject running",
                                               std::nullopt,
                                               TriggerReason::manualRetry,
                                               {"c"},
                                               TriggerReason::manualRetry}}) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("c", "Gamma")};
        const auto store = fixture.makeQuiet();
        fixture.inventory->drives = {drive("c", "Gamma")};
        if (test.attemptID) {
            store->ejectAttempt().begin({}, 0, 0);
        }
        store->ejectAttempt().markDriveWorking("a");
        store->setLastObservedTrigger(test.lastTrigger);

        store->perform(DriveAction::Kind::eject, "c");
        test::processQueuedEvents();
        EXPECT_EQ(fixture.ejector->ejected, test.ejected);
        EXPECT_EQ(store->lastObservedTrigger(), test.lastTriggerAfter) << "never relabelled";
        EXPECT_EQ(store->ejectAttempt().isRunning(), test.attemptID.has_value())
            << "the running attempt keeps its working set";
    }
}

// A trigger that finds a probe still running waits for that probe to end and
// probes once more before it plans: the running probe began before the request
// and may not see what came since.
TEST(BerthkeepStoreActions, TriggerWaitsForTheProbeItsRequestFoldedInto) {
    storetest::StoreFixture fixture;
    const auto held = fixture.holdDetachedWork();
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto store = fixture.makeQuiet();

    auto running = store->refreshDriveUsageNow(); // a probe already runs
    store->simulateTrigger(TriggerReason::lidCloseSleep);
    test::processQueuedEvents();
    EXPECT_EQ(held->held.size(), 1u) << "no second probe beside the running one";
    EXPECT_TRUE(fixture.ejector->ejected.empty()) << "waits for the running probe";
    EXPECT_NE(store->lastObservedTrigger(), TriggerReason::lidCloseSleep);
    held->releaseFirst();
    EXPECT_TRUE(test::runTask(std::move(running)));
    EXPECT_TRUE(fixture.ejector->ejected.empty()) << "and for its own probe";
    do {
        held->releaseAll();
        test::processQueuedEvents();
    } while (!held->held.empty());
    EXPECT_EQ(fixture.ejector->ejected, std::vector<std::string>{"a"});
    EXPECT_EQ(store->lastObservedTrigger(), TriggerReason::lidCloseSleep);
}

TEST(BerthkeepStoreActions, DrivesMatchingFollowsTheAskedOrderAndSkipsUnknownIDs) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Beta")};
    const auto store = fixture.makeQuiet();
    EXPECT_EQ(
        store->drives({"b", "x", "a", "b"}),
        (std::vector<DetectedDrive>{drive("b", "Beta"), drive("a", "Alpha"), drive("b", "Beta")}));
}

TEST(BerthkeepStoreActions, ActionsOnAReleasedStoreDoNothing) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    auto store = fixture.makeQuiet();
    store->perform(MenubarUtilityAction::Kind::ejectAll);
    store->perform(DriveAction::Kind::eject, "a");
    store->perform(DriveGroupActionKind::ejectAll, "a");
    store->simulateTrigger(TriggerReason::systemSleep);
    store.reset();
    test::processQueuedEvents();
    EXPECT_TRUE(fixture.ejector->ejected.empty());
    EXPECT_EQ(fixture.usage->calls, 0);
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Shell/LiveBerthkeepNotificationManager.hpp"
#include "SleepFixture.hpp"
#include "platform/Notifications/SimulatedUserNotificationCenter.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using storetest::drive;
using storetest::SleepFixture;

TEST(BerthkeepStoreSleepWake, WillSleepIsReleasedWhenTheEjectEndsOrAt25Seconds) {
    struct Case {
        const char* name;
        bool mounted;
        Clock::Duration ejectTakes;
        Clock::Duration releasedAfter;
        const char* reason;
    };
    for (const Case& test :
         std::vector<Case>{{"no managed drive", false, 0s, 0s, "trigger_finished"},
                           {"quick eject", true, 0s, 0s, "trigger_finished"},
                           {"30 s eject", true, 30s, 25s, "timeout"}}) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.timing.sleepTriggeredEjectTimeout = 60s;
        if (!test.mounted) {
            fixture.inventory->drives = {drive("a", "Alpha", false)};
        }
        fixture.drives->ejectDelays = {{"a", test.ejectTakes}, {"b", test.ejectTakes}};
        auto store = fixture.start();
        int acknowledged = 0;
        store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });

        fixture.pass(test.releasedAfter - 100ms);
        if (test.releasedAfter > 0s) {
            EXPECT_EQ(acknowledged, 0);
        }
        fixture.pass(100ms);
        EXPECT_EQ(acknowledged, 1);
        fixture.pass(80s, 1s);
        EXPECT_EQ(acknowledged, 1);
        EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{test.reason});
        EXPECT_FALSE(store->ejectAttempt().isRunning());
    }
}

// A newer will-sleep answers the older one at once and holds the sleep itself
// until the drives are off, whichever of the two roads got to eject them.
TEST(BerthkeepStoreSleepWake, ANewerWillSleepSupersedesTheOlder) {
    for (const Clock::Duration apart : {Clock::Duration(0s), Clock::Duration(2s)}) {
        SCOPED_TRACE(apart.count());
        SleepFixture fixture;
        fixture.drives->ejectDelays = {{"a", 5s}, {"b", 5s}};
        auto store = fixture.start();
        int first = 0;
        int second = 0;
        store->handleSystemPowerWillSleep([&first] { ++first; });
        fixture.pass(apart);
        store->handleSystemPowerWillSleep([&second] { ++second; });
        EXPECT_EQ(first, 1);
        fixture.pass(9500ms - apart);
        EXPECT_EQ(second, 0) << "held while the ejects run";
        fixture.pass(1s);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(second, 1);
        EXPECT_EQ(fixture.mountedCount(), 0u);
        EXPECT_EQ(fixture.acknowledgedReasons(),
                  (std::vector<std::string>{"superseded", "trigger_finished"}));
    }
}

TEST(BerthkeepStoreSleepWake, WakeRemountsWhatTheSleepEjectTookOff) {
    SleepFixture fixture;
    fixture.drives->refusing = {"b"};
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    ASSERT_EQ(store->wakeRemountQueue().targets().size(), 2u);
    ASSERT_TRUE(store->mountedManagedDrives().empty());

    store->beginWakeRemount();
    fixture.pass(1900ms);
    EXPECT_TRUE(fixture.drives->mounts.empty()) << "the first mount waits 2 s";
    fixture.pass(200ms);
    EXPECT_EQ(fixture.drives->mounts, (std::vector<std::string>{"a", "b"}));
    fixture.pass(10s);
    // Beta refuses: three attempts 2 s apart, then it stays queued.
    EXPECT_EQ(std::count(fixture.drives->mounts.begin(), fixture.drives->mounts.end(), "b"), 3);
    const auto finished = fixture.sink->named("sleep.wake.remount.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].metadata.at("succeeded_count"), "1");
    EXPECT_EQ(finished[0].metadata.at("pending_retry_count"), "1");
    ASSERT_EQ(store->wakeRemountQueue().targets().size(), 1u);
    EXPECT_EQ(store->wakeRemountQueue().targets()[0].driveID, "b");

    // A sleep during the next wake's 2 s wait leaves the queue for the wake after.
    store->beginWakeRemount();
    fixture.pass(1s);
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(2s);
    const auto stale = fixture.sink->named("sleep.wake.remount.stale");
    ASSERT_EQ(stale.size(), 1u);
    EXPECT_EQ(stale[0].metadata.at("phase"), "before_start");
    ASSERT_FALSE(store->wakeRemountQueue().targets().empty());
    EXPECT_EQ(store->wakeRemountQueue().targets()[0].driveID, "b");
}

// Alpha could not be mounted at a wake and waits in the queue. What the user
// then does with it holds at the next wake: only drives the program took down
// itself and nobody touched since come back.
TEST(BerthkeepStoreSleepWake, ADriveTheUserActedOnIsLeftAsTheUserLeftIt) {
    using Act = std::function<void(BerthkeepStore&, SleepFixture&)>;
    const auto mountByHand = [](BerthkeepStore& store, SleepFixture& fixture) {
        store.perform(DriveAction::Kind::mount, "a");
        fixture.pass(2s);
        ASSERT_TRUE(store.isCurrentlyMounted("a"));
    };
    struct Case {
        const char* name;
        Act act;
        bool alphaBackAfterWake;
    };
    const Case cases[] = {
        {"mounted, then ejected from its card",
         [&](BerthkeepStore& store, SleepFixture& fixture) {
             mountByHand(store, fixture);
             store.perform(DriveAction::Kind::eject, "a");
         },
         false},
        {"mounted, then its group ejected",
         [&](BerthkeepStore& store, SleepFixture& fixture) {
             mountByHand(store, fixture);
             store.perform(DriveGroupActionKind::ejectAll, "a");
         },
         false},
        {"mounted, then Eject All",
         [&](BerthkeepStore& store, SleepFixture& fixture) {
             mountByHand(store, fixture);
             store.perform(MenubarUtilityAction::Kind::ejectAll);
         },
         false},
        {"excluded",
         [](BerthkeepStore& store, SleepFixture&) {
             store.setExcluded(true, store.detectedDrives()[0]);
         },
         false},
        // Eject All speaks for every managed drive: Alpha, down already,
        // stays down.
        {"down when Eject All ejects Beta",
         [](BerthkeepStore& store, SleepFixture&) {
             store.perform(MenubarUtilityAction::Kind::ejectAll);
         },
         false},
        // Beta's own card does not touch Alpha.
        {"left alone while Beta is ejected from its card",
         [](BerthkeepStore& store, SleepFixture&) { store.perform(DriveAction::Kind::eject, "b"); },
         true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.drives->refusing = {"a"};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        store->beginWakeRemount();
        fixture.pass(12s);
        ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"a"});
        fixture.drives->refusing.clear();

        test.act(*store, fixture);
        fixture.pass(3s);
        ASSERT_FALSE(store->isCurrentlyMounted("a"));
        fixture.drives->mounts.clear();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        store->beginWakeRemount();
        fixture.pass(12s);

        EXPECT_EQ(store->isCurrentlyMounted("a"), test.alphaBackAfterWake);
        EXPECT_EQ(std::count(fixture.drives->mounts.begin(), fixture.drives->mounts.end(), "a"),
                  test.alphaBackAfterWake ? 1 : 0);
        EXPECT_TRUE(fixture.queuedIDs(*store).empty());
    }
}

// The wake's task has not run yet when the next will-sleep comes: that sleep
// still ejects and is answered by its own road, not by the hold.
TEST(BerthkeepStoreSleepWake, AWillSleepRightAfterAWakeIsAnsweredAfterItsEject) {
    SleepFixture fixture;
    auto store = fixture.start();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        int acknowledged = 0;
        store->beginWakeRemount();
        store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });
        fixture.pass(1s);
        EXPECT_EQ(acknowledged, 1);
        EXPECT_EQ(fixture.acknowledgedReasons().back(), "trigger_finished");
        EXPECT_EQ(fixture.mountedCount(), 0u);
        // A whole wake, so the next round starts with both drives mounted.
        store->beginWakeRemount();
        fixture.pass(3s);
        ASSERT_EQ(fixture.mountedCount(), 2u);
    }
}

// A mount under way when the sleep comes, whether by hand or a wake remount
// that the sleep cancelled and the tool finishes anyway: the sleep takes the
// other drive down at once, waits for the mount and takes its drive down too.
TEST(BerthkeepStoreSleepWake, AMountUnderWayWhenTheSleepComesIsWaitedForAndEjected) {
    for (const bool byHand : {true, false}) {
        SCOPED_TRACE(byHand ? "by hand" : "wake remount");
        SleepFixture fixture;
        fixture.drives->mountDelays = {{"a", 3s}};
        auto store = fixture.start();
        if (byHand) {
            store->perform(DriveAction::Kind::eject, "a");
            fixture.pass(1s);
            store->perform(DriveAction::Kind::mount, "a");
        } else {
            store->handleSystemPowerWillSleep([] {});
            fixture.pass(1s);
            store->beginWakeRemount();
            fixture.pass(2100ms);
        }
        fixture.pass(500ms);
        ASSERT_TRUE(store->mountingDriveIDs().contains("a"));

        int acknowledged = 0;
        store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });
        fixture.pass(1s);
        EXPECT_EQ(acknowledged, 0) << "held while the mount runs";
        fixture.pass(3s);
        EXPECT_EQ(acknowledged, 1);
        EXPECT_EQ(fixture.acknowledgedReasons().back(), "trigger_finished");
        EXPECT_EQ(fixture.mountedCount(), 0u);
        std::vector<std::string> queued = fixture.queuedIDs(*store);
        std::sort(queued.begin(), queued.end());
        EXPECT_EQ(queued, (std::vector<std::string>{"a", "b"}));
    }
}

// Bravo is pulled out while Alpha's eject runs. On every road it is neither
// ejected nor busy: the others' eject is a plain success, no notice counts it,
// and Eject & Sleep goes on to sleep.
TEST(BerthkeepStoreSleepWake, ADrivePulledOutDuringAnAttemptIsNeitherEjectedNorBusy) {
    enum class Road { ejectAll, ejectAndSleep, systemSleep };
    for (const Road road : {Road::ejectAll, Road::ejectAndSleep, Road::systemSleep}) {
        SCOPED_TRACE(static_cast<int>(road));
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"),
                                     drive("c", "Charlie")};
        fixture.drives->ejectDelays = {{"a", 4s}};
        auto store = fixture.start();
        switch (road) {
        case Road::ejectAll:
            store->perform(MenubarUtilityAction::Kind::ejectAll);
            break;
        case Road::ejectAndSleep:
            store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
            break;
        case Road::systemSleep:
            store->handleSystemPowerWillSleep([] {});
            break;
        }
        fixture.pass(1s);
        std::erase_if(fixture.inventory->drives,
                      [](const DetectedDrive& d) { return d.id() == "b"; });
        fixture.pass(10s);

        EXPECT_EQ(store->lastActionSummary(),
                  LastActionSummary{LastActionSummary::Result::ejected(2)});
        EXPECT_FALSE(store->pendingSleepFailureNotification());
        EXPECT_TRUE(store->ejectAttempt().attentionDriveIDs().empty());
        const auto finished = fixture.sink->named("reliability.eject.finished");
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].metadata.at("ejected_count"), "2");
        EXPECT_EQ(finished[0].metadata.at("still_busy_count"), "0");
        if (road == Road::ejectAll) {
            EXPECT_EQ(fixture.statusPresenter->presented.back(),
                      TransientActionStatus::result(TransientActionStatusAction::ejectAll, 2, 0,
                                                    std::nullopt, 1));
        } else {
            EXPECT_EQ(fixture.sleepRequester->requests, road == Road::ejectAndSleep ? 1 : 0);
            EXPECT_EQ(fixture.queuedIDs(*store), (std::vector<std::string>{"a", "c"}))
                << "what the sleep took down, and only that";
        }
    }
}

// Where the command's answer and the refreshed inventory disagree, the
// inventory holds: an eject the time-out gave up on that the tool finished is
// an eject (and comes back after the wake); a check whose readings failed says
// nothing of a drive the inventory still shows mounted, which is busy.
TEST(BerthkeepStoreSleepWake, WhereTheCommandAndTheInventoryDisagreeTheInventoryHolds) {
    {
        SCOPED_TRACE("time-out that lost the race");
        SleepFixture fixture;
        fixture.timing.sleepTriggeredEjectTimeout = 15s;
        fixture.drives->ejectDelays = {{"a", 20s}};
        fixture.drives->ejectsAnyway = {"a"};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(17s);
        EXPECT_EQ(fixture.mountedCount(), 0u);
        EXPECT_FALSE(store->pendingSleepFailureNotification());
        EXPECT_EQ(fixture.queuedIDs(*store), (std::vector<std::string>{"b", "a"}));
        store->beginWakeRemount();
        fixture.pass(3s);
        EXPECT_EQ(fixture.mountedCount(), 2u);
    }
    {
        SCOPED_TRACE("card eject, readings failed");
        SleepFixture fixture;
        fixture.drives->readingFails = {"a"};
        auto store = fixture.start();
        store->perform(DriveAction::Kind::eject, "a");
        fixture.pass(1s);
        EXPECT_EQ(
            fixture.statusPresenter->presented.back(),
            TransientActionStatus::result(TransientActionStatusAction::eject, 0, 1, "Alpha", 0));
        EXPECT_EQ(store->ejectAttempt().attentionDriveIDs(), std::set<std::string>{"a"});
    }
    {
        SCOPED_TRACE("sleep eject, readings failed");
        SleepFixture fixture;
        fixture.drives->readingFails = {"a"};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        EXPECT_TRUE(store->isCurrentlyMounted("a"));
        ASSERT_TRUE(store->pendingSleepFailureNotification());
        EXPECT_EQ(store->pendingSleepFailureNotification()->failedDriveCount, 1);
        EXPECT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"b"});
    }
}

TEST(BerthkeepStoreSleepWake, WakeClosesASleepEjectThatWasStillRunning) {
    SleepFixture fixture;
    fixture.drives->ejectDelays = {{"b", 30s}};
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    ASSERT_TRUE(store->ejectAttempt().isRunning());
    const std::string attemptID = store->ejectAttempt().activeAttemptID().value_or("");

    store->beginWakeRemount();
    fixture.pass(100ms);
    EXPECT_FALSE(store->ejectAttempt().isRunning());
    const auto invalidated = fixture.sink->named("sleep.wake.invalidated_inflight_eject");
    ASSERT_EQ(invalidated.size(), 1u);
    EXPECT_EQ(invalidated[0].metadata.at("attempt_id"), attemptID);
    // The sleep already happened: its hold is dropped, not acknowledged.
    EXPECT_EQ(fixture.sink->named("sleep.power_change.cleared").size(), 1u);
    fixture.pass(3s);
    EXPECT_EQ(fixture.drives->mounts, std::vector<std::string>{"a"});
    fixture.pass(30s); // the old eject ends too, so nothing outlives the test
}

// A sleep arriving while another eject runs is held until that eject ends; the
// sleep trigger then takes what is still mounted. Past the hold, the drives that
// slept mounted are recorded.
TEST(BerthkeepStoreSleepWake, ASleepWhileAnotherEjectRunsWaitsForIt) {
    enum class Action { ejectAll, ejectOneDrive };
    struct Case {
        const char* name;
        Action action;
        Clock::Duration ejectTakes;
        std::set<std::string> failing;
        // After the will-sleep.
        Clock::Duration heldAtLeast;
        Clock::Duration releasedBy;
        const char* reason;
        std::optional<std::int64_t> notice;
        std::vector<std::string> queued;
    };
    // The second case's single eject leaves Bravo to the sleep; in the third
    // Alpha refuses both; the fourth outlasts the hold.
    const Case cases[] = {
        {"Eject All", Action::ejectAll, 5s, {}, 8500ms, 10s, "trigger_finished", {}, {}},
        {"one drive", Action::ejectOneDrive, 5s, {}, 8500ms, 10s, "trigger_finished", {}, {"b"}},
        {"refused", Action::ejectAll, 5s, {"a"}, 13500ms, 15s, "trigger_finished", 1, {}},
        {"past the hold", Action::ejectAll, 20s, {}, 24500ms, 25500ms, "timeout", 1, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.drives->ejectDelays = {{"a", test.ejectTakes}, {"b", test.ejectTakes}};
        fixture.drives->failing = test.failing;
        fixture.timing.sleepTriggeredEjectTimeout = 30s;
        auto store = fixture.start();
        if (test.action == Action::ejectAll) {
            store->perform(MenubarUtilityAction::Kind::ejectAll);
        } else {
            store->perform(DriveAction::Kind::eject, "a");
        }
        fixture.pass(1s);
        ASSERT_TRUE(store->ejectAttempt().isRunning());

        int acknowledged = 0;
        store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });
        fixture.pass(test.heldAtLeast);
        EXPECT_EQ(acknowledged, 0);
        fixture.pass(test.releasedBy - test.heldAtLeast);
        EXPECT_EQ(acknowledged, 1);
        fixture.pass(40s, 1s);
        EXPECT_FALSE(store->ejectAttempt().isRunning());
        EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{test.reason});
        const auto& notice = store->pendingSleepFailureNotification();
        EXPECT_EQ(notice ? std::optional<std::int64_t>(notice->failedDriveCount) : std::nullopt,
                  test.notice);
        EXPECT_EQ(fixture.queuedIDs(*store), test.queued);
    }
}

// The machine slept and woke under an Eject & Sleep: its late close replaces the
// stale notice, its drive comes back with the wake, and no second sleep follows.
TEST(BerthkeepStoreSleepWake, AnEjectAndSleepOvertakenByAWakeClosesWithoutSleepingAgain) {
    SleepFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    fixture.drives->ejectDelays = {{"a", 10s}};
    fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
    auto store = fixture.start();
    store->setPendingSleepFailureNotification(PendingSleepFailureNotification{1});

    store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
    fixture.pass(1s);
    ASSERT_TRUE(store->ejectAttempt().isRunning());
    store->beginWakeRemount();
    fixture.pass(20s, 500ms);

    EXPECT_FALSE(store->pendingSleepFailureNotification());
    EXPECT_EQ(store->lastActionSummary(), LastActionSummary{LastActionSummary::Result::ejected(1)});
    EXPECT_EQ(fixture.drives->mounts, std::vector<std::string>{"a"});
    EXPECT_EQ(fixture.mountedCount(), 1u);
    EXPECT_EQ(fixture.sleepRequester->requests, 0);
}

// The sleep eject outlives the hold and the wake closes its record: the attempt
// still ends as it would have before the hold. What it ejected after the wake is
// mounted again with the wake queue, even while the wake's first remount runs;
// the notice counts what was still mounted when the hold ran out, since that
// slept mounted however its eject ended.
TEST(BerthkeepStoreSleepWake, ASleepEjectOutlivingTheHoldEndsReportedAfterWake) {
    struct Case {
        const char* name;
        std::vector<std::string> ids;
        std::map<std::string, Clock::Duration> ejectTakes;
        Clock::Duration ejectTimeout;
        Clock::Duration wakeAt;
        std::vector<std::string> mounts;
        LastActionSummary summary;
        std::vector<std::int64_t> notices;
    };
    using Result = LastActionSummary::Result;
    const Case cases[] = {
        {"hung, then slow past the wake",
         {"a", "b"},
         {{"a", 60s}, {"b", 14s}},
         15s,
         27s,
         {"b"},
         LastActionSummary{Result::partialSuccess(1, 1)},
         {2}},
        {"one in flight at the wake, one never reached",
         {"a", "b", "c", "d"},
         {{"a", 10s}, {"b", 10s}, {"c", 10s}, {"d", 10s}},
         15s,
         26s,
         {"a", "b", "c"},
         LastActionSummary{Result::partialSuccess(3, 1)},
         {2}},
        {"the last one ends during the wake's 2 s wait",
         {"a", "b"},
         {{"a", 10s}, {"b", 16s}},
         60s,
         25500ms,
         {"a", "b"},
         LastActionSummary{Result::ejected(2)},
         {1}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.inventory->drives.clear();
        for (const std::string& id : test.ids) {
            fixture.inventory->drives.push_back(drive(id, "Drive " + id));
        }
        fixture.drives->ejectDelays = test.ejectTakes;
        fixture.timing.sleepTriggeredEjectTimeout = test.ejectTimeout;
        auto store = fixture.start();

        store->handleSystemPowerWillSleep([] {});
        fixture.pass(test.wakeAt);
        EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"timeout"});
        store->beginWakeRemount();
        fixture.pass(40s - test.wakeAt);

        EXPECT_EQ(fixture.mountedCount(), test.ids.size());
        std::vector<std::string> mounts = fixture.drives->mounts;
        std::sort(mounts.begin(), mounts.end());
        EXPECT_EQ(mounts, test.mounts);
        EXPECT_EQ(fixture.notifications->delivered, test.notices);
        EXPECT_EQ(store->lastActionSummary(), test.summary);
        EXPECT_EQ(fixture.sink->named("reliability.eject.closed_after_wake").size(), 1u);
        EXPECT_FALSE(store->ejectAttempt().isRunning());
        EXPECT_TRUE(store->wakeRemountQueue().targets().empty());
    }
}

// After a sleep and wake, Eject & Sleep is not taken for a sleep the wake
// interrupted: it keeps its drives ejected, asks for sleep, and the next wake
// brings them back.
TEST(BerthkeepStoreSleepWake, EjectAndSleepAfterAWakeRunsToItsSleepRequest) {
    SleepFixture fixture;
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    store->beginWakeRemount();
    fixture.pass(5s);
    ASSERT_EQ(fixture.mountedCount(), 2u);
    ASSERT_EQ(fixture.drives->mounts.size(), 2u);

    store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
    fixture.pass(10s);
    EXPECT_EQ(fixture.mountedCount(), 0u);
    EXPECT_EQ(fixture.drives->mounts.size(), 2u) << "nothing mounted before the next wake";
    EXPECT_EQ(fixture.sleepRequester->requests, 1);
    EXPECT_FALSE(store->pendingSleepFailureNotification());
    EXPECT_TRUE(fixture.sink->named("sleep.wake.invalidated_inflight_eject").empty());
    EXPECT_EQ(store->lastActionSummary(), LastActionSummary{LastActionSummary::Result::ejected(2)});

    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    store->beginWakeRemount();
    fixture.pass(5s);
    EXPECT_EQ(fixture.mountedCount(), 2u);
}

// An older sleep eject that closes late, after the wake, leaves alone the Eject &
// Sleep the user started since.
TEST(BerthkeepStoreSleepWake, ALateCloseLeavesAnAttemptStartedAfterTheWake) {
    SleepFixture fixture;
    fixture.drives->ejectDelays = {{"a", 10s}, {"b", 5s}};
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(2s);
    store->beginWakeRemount();
    fixture.pass(1s);
    ASSERT_FALSE(store->ejectAttempt().isRunning());

    store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
    fixture.pass(30s, 500ms);
    EXPECT_EQ(fixture.sink->named("reliability.eject.closed_after_wake").size(), 1u);
    EXPECT_EQ(fixture.sink->named("sleep.wake.invalidated_inflight_eject").size(), 1u);
    EXPECT_EQ(fixture.sleepRequester->requests, 1);
    EXPECT_EQ(fixture.mountedCount(), 0u);
}

// With no time-out the eject is awaited as long as it takes.
TEST(BerthkeepStoreSleepWake, AZeroTimeOutAwaitsTheEjectWithoutARace) {
    struct Case {
        Clock::Duration timeout;
        std::size_t failures;
        LastActionSummary summary;
    };
    using Result = LastActionSummary::Result;
    const Case cases[] = {{15s, 1u, LastActionSummary{Result::partialSuccess(1, 1)}},
                          {0s, 0u, LastActionSummary{Result::ejected(2)}}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.timeout.count());
        SleepFixture fixture;
        fixture.timing.sleepTriggeredEjectTimeout = test.timeout;
        fixture.drives->ejectDelays = {{"a", 20s}};
        auto store = fixture.start();
        store->perform(MenubarUtilityAction::Kind::ejectAll);
        fixture.pass(25s, 1s);

        EXPECT_FALSE(store->ejectAttempt().isRunning());
        EXPECT_EQ(fixture.sink->named("reliability.eject.drive.failed").size(), test.failures);
        EXPECT_EQ(store->lastActionSummary(), test.summary);
    }
}

// At a wake, the drives of an interrupted sleep eject that are already unmounted
// are queued from the inventory; an Eject All running then is left alone.
TEST(BerthkeepStoreSleepWake, WakeRecoversUnmountedDrivesOnlyOfASleepEject) {
    for (const bool sleepEject : {true, false}) {
        SCOPED_TRACE(sleepEject);
        SleepFixture fixture;
        fixture.drives->ejectDelays = {{"a", 30s}, {"b", 30s}};
        auto store = fixture.start();
        if (sleepEject) {
            store->handleSystemPowerWillSleep([] {});
        } else {
            store->perform(MenubarUtilityAction::Kind::ejectAll);
        }
        fixture.pass(1s);
        ASSERT_TRUE(store->ejectAttempt().isRunning());
        // Bravo goes while Alpha's eject still runs.
        fixture.inventory->drives[1] = drive("b", "Beta", false);
        store->refreshInventory();
        fixture.pass(100ms);

        store->beginWakeRemount();
        fixture.pass(100ms);
        const auto recovered = fixture.sink->named("sleep.wake.remount.recovered_from_inventory");
        EXPECT_EQ(store->ejectAttempt().isRunning(), !sleepEject);
        if (sleepEject) {
            ASSERT_EQ(recovered.size(), 1u);
            EXPECT_EQ(recovered[0].metadata.at("recovered_count"), "1");
            EXPECT_EQ(recovered[0].metadata.at("drive_names"), "Beta");
            EXPECT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"b"});
            fixture.pass(3s);
            EXPECT_EQ(fixture.drives->mounts, std::vector<std::string>{"b"});
        } else {
            EXPECT_TRUE(recovered.empty());
            EXPECT_TRUE(fixture.sink->named("sleep.wake.invalidated_inflight_eject").empty());
        }
        fixture.pass(60s, 1s); // the old ejects end too, so nothing outlives the test
    }
}

// A grouped target is mounted on its own while its disk shows an excluded volume.
TEST(BerthkeepStoreSleepWake, SanitizingUngroupsOnlyTargetsBesideAnExcludedVolume) {
    const auto volume = [](const char* id, DetectedDrive::Scope scope) {
        return drive(id, id, true, scope, std::string(id) + "s1", std::string("disk4"));
    };
    const RemountTarget grouped{
        "x1", "Photos", "disk4s1", std::string("disk4"), std::string("disk4"), {}};
    const RemountTarget byBSDName{"x1",         "Photos", "disk4s1", std::string("disk4"),
                                  std::nullopt, {}};
    const RemountTarget alone{"y1", "Music", "disk5s1", std::nullopt, std::string("disk5"), {}};
    const RemountTarget ungrouped{"x1", "Photos", "disk4s1", std::nullopt, std::string("x1"), {}};
    struct Case {
        const char* name;
        bool excludedSibling;
        std::vector<RemountTarget> in, out;
    };
    const Case cases[] = {
        {"excluded sibling", true, {grouped, byBSDName, alone}, {ungrouped, ungrouped, alone}},
        {"no excluded sibling", false, {grouped, byBSDName, alone}, {grouped, byBSDName, alone}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.inventory->drives = {volume("x1", DetectedDrive::Scope::managed)};
        if (test.excludedSibling) {
            fixture.inventory->drives.push_back(volume("x2", DetectedDrive::Scope::excluded));
        }
        auto store = fixture.start();
        EXPECT_EQ(store->sanitizedWakeRemountTargets(test.in), test.out);
    }
}

TEST(BerthkeepStoreSleepWake, WakeDeliversThePendingNoticeOnceWhenAllowed) {
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled);
        SleepFixture fixture;
        auto center = std::make_shared<SimulatedUserNotificationCenter>(
            UserNotificationAuthorizationStatus::authorized);
        center->setCallsCompletionHandlersImmediately(true);
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, enabled);
        fixture.customNotifications =
            std::make_shared<LiveBerthkeepNotificationManager>([center] { return center; });
        fixture.urlOpener = nullptr;
        auto store = fixture.make();
        store->setPendingSleepFailureNotification(PendingSleepFailureNotification{2});
        store->persistPendingSleepFailureNotification();

        store->beginWakeRemount();
        fixture.pass(500ms);
        store->beginWakeRemount(); // a second wake within the delay delivers nothing more
        fixture.pass(3s);
        const auto key = BerthkeepStore::pendingSleepFailureNotificationKey;
        if (enabled) {
            ASSERT_EQ(center->addedRequests().size(), 1u);
            EXPECT_EQ(center->addedRequests()[0].content.body,
                      "Couldn\u2019t eject 2 drives before sleep");
            EXPECT_FALSE(fixture.defaults->dataForKey(key));
            EXPECT_FALSE(store->pendingSleepFailureNotification());
        } else {
            EXPECT_TRUE(center->addedRequests().empty());
            EXPECT_EQ(fixture.sink->named("notifications.delivery.skipped").size(), 1u);
            EXPECT_TRUE(fixture.defaults->dataForKey(key));
        }
    }
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "Berthkeep/MenuBar/SafetySummarySection.hpp"
#include "SleepFixture.hpp"

// Two pieces of work that overlap: an older attempt that ends while a newer one
// runs, a mount that runs into a sleep, a click whose moment has passed. The
// newest word stands, and no drive waits on another drive's work.
namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using storetest::countOf;
using storetest::drive;
using storetest::noticeCount;
using storetest::SleepFixture;

void detach(SleepFixture& fixture, BerthkeepStore& store, const std::string& id) {
    std::erase_if(fixture.inventory->drives,
                  [&id](const DetectedDrive& d) { return d.id() == id; });
    store.refreshInventory();
}

std::optional<DriveStatus> rowStatus(const BerthkeepStore& store, const std::string& id) {
    for (const DriveRowState& row : store.currentState().drives) {
        if (row.id == id) {
            return row.status;
        }
    }
    return std::nullopt;
}

bool offersEject(const BerthkeepStore& store, const std::string& id) {
    const auto& actions = store.currentState().driveActions;
    return std::any_of(actions.begin(), actions.end(), [&id](const DriveAction& action) {
        return action.driveID == id && action.kind == DriveAction::Kind::eject && action.isEnabled;
    });
}

// A drive with no volume UUID: its id is the disk name it was given, and only
// its media facts tell it from a newcomer on that name.
DetectedDrive unnamedDrive(const std::string& bsdName, const std::string& name, bool mounted,
                           const std::string& media) {
    std::optional<QUrl> mountURL;
    if (mounted) {
        mountURL = QUrl::fromLocalFile(QString::fromStdString("/Volumes/" + name + "/"));
    }
    DriveIdentity identity;
    identity.mediaName = media;
    identity.sizeBytes = 64'000'000'000;
    identity.busPath = "usb/" + media;
    return DetectedDrive(bsdName, name, mountURL, DetectedDrive::Scope::managed, true, bsdName,
                         std::nullopt, bsdName, true, identity);
}

// The sleep eject of Alpha and Bravo outlives the 25 s hold; after the wake the
// user ejects Charlie with Eject All, and the old attempt closes after it or
// while it runs. That late close still queues Bravo, but the menu's last attempt
// and the notice are Eject All's, and no unmounted drive is marked.
TEST(BerthkeepStoreOverlap, AnOlderAttemptClosingLateLeavesTheNewerAttemptsReport) {
    for (const Clock::Duration charlieTakes : {Clock::Duration(0s), Clock::Duration(5s)}) {
        SCOPED_TRACE(charlieTakes.count());
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"),
                                     drive("c", "Charlie")};
        fixture.drives->ejectDelays = {{"a", 14s}, {"b", 14s}, {"c", charlieTakes}};
        fixture.timing.sleepTriggeredEjectTimeout = 15s;
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(25500ms);
        ASSERT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"timeout"});
        ASSERT_EQ(noticeCount(*store), 2) << "Bravo and Charlie slept mounted";
        store->beginWakeRemount();
        fixture.pass(500ms);
        // Eject All of what the menu showed: Charlie.
        store->perform(MenubarUtilityAction::Kind::ejectAll, std::set<std::string>{"c"});
        fixture.pass(15s);

        EXPECT_EQ(fixture.sink->named("reliability.eject.closed_after_wake").size(), 1u);
        // Eject All ejects one drive, the old attempt two.
        const auto firstClose = fixture.sink->named("reliability.eject.finished").front();
        EXPECT_EQ(firstClose.metadata.at("ejected_count"), charlieTakes > 0s ? "2" : "1");
        EXPECT_EQ(store->lastActionSummary(),
                  LastActionSummary{LastActionSummary::Result::ejected(1)});
        EXPECT_EQ(store->currentState().lastAction,
                  LastActionSummary{LastActionSummary::Result::ejected(1)});
        EXPECT_FALSE(noticeCount(*store)) << "the newest attempt to close reported none";
        EXPECT_TRUE(store->ejectAttempt().attentionDriveIDs().empty());
        EXPECT_FALSE(store->isCurrentlyMounted("c"));
        EXPECT_EQ(countOf(fixture.queuedIDs(*store), "b") + countOf(fixture.drives->mounts, "b"),
                  1u)
            << "Bravo comes back with the wake";
    }
}

// Alpha is taken down by the sleep eject before the hold runs out and brought
// back by the wake; the user then ejects it with Eject All, which closes before
// the old attempt's late eject of Bravo ends. That late close queues Bravo, and
// leaves Alpha down as the user left it.
TEST(BerthkeepStoreOverlap, ALateCloseQueuesOnlyWhatItTookDownAfterTheWake) {
    SleepFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"), drive("c", "Charlie")};
    fixture.drives->ejectDelays = {{"a", 14s}, {"b", 16s}};
    fixture.timing.sleepTriggeredEjectTimeout = 20s;
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(25500ms);
    store->beginWakeRemount();
    fixture.pass(2500ms);
    ASSERT_TRUE(store->isCurrentlyMounted("a")) << "the wake brought Alpha back";
    fixture.drives->ejectDelays.erase("a");
    store->perform(MenubarUtilityAction::Kind::ejectAll, std::set<std::string>{"a", "c"});
    fixture.pass(500ms);
    ASSERT_TRUE(fixture.sink->named("reliability.eject.closed_after_wake").empty());
    fixture.pass(10s);

    EXPECT_EQ(fixture.sink->named("reliability.eject.closed_after_wake").size(), 1u);
    EXPECT_FALSE(store->isCurrentlyMounted("a")) << "as the user left it";
    EXPECT_FALSE(store->isCurrentlyMounted("c"));
    EXPECT_TRUE(store->isCurrentlyMounted("b")) << "its late eject is undone by the wake";
    EXPECT_TRUE(fixture.queuedIDs(*store).empty());
}

// The wake comes while Alpha's sleep eject is in its last steps; Bravo is plugged
// in and cannot be ejected; a second sleep (or the user's Eject & Sleep) begins,
// and the old attempt closes while it runs. The newer attempt's notice stands:
// Bravo is reported, and Eject & Sleep delivers the notice instead of sleeping.
TEST(BerthkeepStoreOverlap, AnOlderCloseNeverSilencesTheNewerAttemptsNotice) {
    for (const bool ejectAndSleep : {false, true}) {
        SCOPED_TRACE(ejectAndSleep ? "Eject & Sleep" : "second will-sleep");
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha")};
        fixture.drives->ejectDelays = {{"a", 1s}, {"b", 2s}};
        fixture.drives->failing = {"b"};
        fixture.timing.postEjectRefreshDelay = 3s;
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(2s);
        ASSERT_FALSE(store->isCurrentlyMounted("a"));
        store->beginWakeRemount();
        fixture.pass(100ms);
        fixture.inventory->drives.push_back(drive("b", "Bravo"));
        store->refreshInventory();
        fixture.pass(100ms);
        if (ejectAndSleep) {
            store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
        } else {
            store->handleSystemPowerWillSleep([] {});
        }
        fixture.pass(2s);
        ASSERT_EQ(fixture.sink->named("reliability.eject.closed_after_wake").size(), 1u)
            << "the old attempt closed while the newer one ran";
        fixture.pass(10s);

        EXPECT_TRUE(store->isCurrentlyMounted("b"));
        if (ejectAndSleep) {
            EXPECT_EQ(fixture.sleepRequester->requests, 0);
            EXPECT_EQ(fixture.notifications->delivered, std::vector<std::int64_t>{1});
        } else {
            EXPECT_EQ(noticeCount(*store), 1);
        }
    }
}

// Alpha's eject, the sleep attempt's own or its card's begun just before the
// sleep, ends a moment before the hold runs out, while the refresh after it
// still reads the disks: the cut counts only Bravo, which slept mounted.
TEST(BerthkeepStoreOverlap, TheCutLeavesOutADriveAnyEjectTookDown) {
    for (const bool byCard : {false, true}) {
        SCOPED_TRACE(byCard ? "its card's eject" : "the sleep's eject");
        SleepFixture fixture;
        const auto held = fixture.holdDetachedWork();
        fixture.drives->ejectDelays = {{"a", 24300ms}};
        fixture.timing.sleepTriggeredEjectTimeout = 30s;
        auto store = fixture.start();
        if (byCard) {
            store->perform(DriveAction::Kind::eject, "a");
            fixture.pass(100ms);
        }
        const Clock::TimePoint slept = fixture.clock->now();
        store->handleSystemPowerWillSleep([] {});
        for (int round = 0; round < 5; ++round) {
            held->releaseAll();
            fixture.pass(100ms);
        }
        ASSERT_EQ(fixture.drives->ejectedIDs(), std::vector<std::string>{"a"});
        ASSERT_EQ(fixture.sink->named("sleep.trigger.waiting_for_action").size(), byCard ? 1u : 0u);
        fixture.pass(24800ms - (fixture.clock->now() - slept));
        ASSERT_FALSE(fixture.inventory->drives[0].isMounted()) << "Alpha's eject has ended";
        ASSERT_TRUE(store->isCurrentlyMounted("a")) << "the refresh after it still runs";
        fixture.pass(400ms);
        ASSERT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"timeout"});
        EXPECT_EQ(noticeCount(*store), 1);
        for (int round = 0; round < 100 && !held->held.empty(); ++round) {
            held->releaseAll();
            fixture.pass(100ms);
        }
        EXPECT_EQ(noticeCount(*store), 1);
    }
}

// Bravo is being mounted by hand when the sleep comes. Alpha, which no mount
// touches, is ejected at once; Bravo is ejected when its mount ends within the
// hold, and is in the notice when the mount outlasts it.
TEST(BerthkeepStoreOverlap, AMountHoldsBackOnlyItsOwnDrive) {
    for (const Clock::Duration mountTakes : {Clock::Duration(5s), Clock::Duration(30s)}) {
        SCOPED_TRACE(mountTakes.count());
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo", false)};
        fixture.drives->mountDelays = {{"b", mountTakes}};
        fixture.timing.sleepTriggeredEjectTimeout = 15s;
        auto store = fixture.start();
        store->perform(DriveAction::Kind::mount, "b");
        fixture.pass(1s);
        ASSERT_TRUE(store->mountingDriveIDs().contains("b"));
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        EXPECT_FALSE(store->isCurrentlyMounted("a")) << "ejected at once";
        fixture.pass(30s);

        const bool inTime = mountTakes < 20s;
        EXPECT_EQ(fixture.acknowledgedReasons(),
                  std::vector<std::string>{inTime ? "trigger_finished" : "timeout"});
        EXPECT_TRUE(fixture.sink->named("sleep.trigger.waiting_for_action").empty());
        EXPECT_EQ(countOf(fixture.drives->ejectedIDs(), "b"), inTime ? 1u : 0u);
        EXPECT_EQ(noticeCount(*store), inTime ? std::nullopt : std::optional<std::int64_t>(1));
    }
}

// The wake remount's mount of Bravo takes 20 s and fails; a sleep cancels that
// remount and the machine wakes at once. The new remount leaves Bravo to the old
// mount; when that ends without mounting it, Bravo is mounted then.
TEST(BerthkeepStoreOverlap, ADriveLeftToAnotherMountIsMountedWhenThatMountFails) {
    SleepFixture fixture;
    fixture.drives->mountDelays = {{"b", 20s}};
    fixture.drives->refusing = {"b"};
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    store->beginWakeRemount();
    fixture.pass(3s);
    ASSERT_EQ(countOf(fixture.drives->mounts, "b"), 1u);
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(100ms);
    store->beginWakeRemount();
    fixture.pass(100ms);
    // The old mount still fails; a new one would not.
    fixture.drives->refusing.clear();
    fixture.drives->mountDelays.clear();
    fixture.pass(40s);

    EXPECT_TRUE(store->isCurrentlyMounted("a"));
    EXPECT_TRUE(store->isCurrentlyMounted("b"));
    EXPECT_EQ(countOf(fixture.drives->mounts, "b"), 2u);
    EXPECT_TRUE(fixture.queuedIDs(*store).empty());
}

// Eject & Sleep's usage probe hangs through a whole sleep and its wake. When it
// ends, the moment has passed: nothing is ejected and no sleep is asked for.
TEST(BerthkeepStoreOverlap, EjectAndSleepOvertakenByASleepAndWakeBeforeItsEjectDoesNothing) {
    SleepFixture fixture;
    const auto held = fixture.holdDetachedWork();
    auto store = fixture.start();
    store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
    fixture.pass(100ms);
    ASSERT_EQ(held->held.size(), 1u) << "Eject & Sleep's probe";
    auto probe = std::move(held->held.front());
    held->held.clear();
    store->handleSystemPowerWillSleep([] {});
    for (int round = 0; round < 270; ++round) {
        held->releaseAll();
        fixture.pass(100ms);
    }
    store->beginWakeRemount();
    for (int round = 0; round < 50; ++round) {
        held->releaseAll();
        fixture.pass(100ms);
    }
    const std::size_t ejectsBefore = fixture.drives->ejects.size();
    probe();
    for (int round = 0; round < 100; ++round) {
        held->releaseAll();
        fixture.pass(100ms);
    }

    EXPECT_EQ(fixture.drives->ejects.size(), ejectsBefore) << "nothing ejected after the wake";
    EXPECT_EQ(fixture.mountedCount(), 2u);
    EXPECT_EQ(fixture.sleepRequester->requests, 0);
    EXPECT_EQ(fixture.sink->named("sleep.manual_handoff.overtaken").size(), 1u);
    EXPECT_TRUE(fixture.queuedIDs(*store).empty());
}

// Alpha is pulled out during its own sleep eject (or Bravo before its turn) and
// the machine wakes before the attempt ends: the pulled drive is not queued, and
// the wake's remount never looks for it.
TEST(BerthkeepStoreOverlap, ADrivePulledOutBeforeAnEarlyWakeIsNotQueued) {
    struct Case {
        const char* name;
        std::string pulled;
        Clock::Duration pulledAt;
    };
    for (const Case& test :
         {Case{"Alpha during its eject", "a", 1500ms}, Case{"Bravo before its turn", "b", 1s}}) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"),
                                     drive("c", "Charlie")};
        fixture.drives->ejectDelays = {{"a", 4s}};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(test.pulledAt);
        detach(fixture, *store, test.pulled);
        fixture.pass(2500ms - test.pulledAt);
        store->beginWakeRemount();
        fixture.pass(20s);

        EXPECT_TRUE(fixture.sink->named("sleep.wake.remount.not_attached").empty());
        EXPECT_EQ(countOf(fixture.queuedIDs(*store), test.pulled), 0u);
        for (const auto& finished : fixture.sink->named("sleep.wake.remount.finished")) {
            EXPECT_EQ(finished.metadata.at("pending_retry_count"), "0");
        }
        EXPECT_EQ(fixture.mountedCount(), 2u);
    }
}

// Xray has no volume UUID, so its id is its disk name. It is queued at the
// sleep and away at the wake; Yankee takes that name, and Xray comes back on
// another. The user's exclusion is judged by the drive as it is now.
TEST(BerthkeepStoreOverlap, ExclusionIsJudgedByTheDriveAsItIsNow) {
    for (const bool excludeNewName : {false, true}) {
        SCOPED_TRACE(excludeNewName ? "Xray's new name excluded" : "Yankee excluded");
        SleepFixture fixture;
        fixture.inventory->drives = {unnamedDrive("disk4s1", "Xray", true, "XrayStick")};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"disk4s1"});

        fixture.inventory->drives = {unnamedDrive("disk4s1", "Yankee", true, "YankeeStick")};
        store->refreshInventory();
        fixture.pass(100ms);
        store->beginWakeRemount();
        fixture.pass(1s);
        if (excludeNewName) {
            // Another stick the user excluded when it sat on that name.
            const DetectedDrive other = unnamedDrive("disk6s1", "Zulu", false, "ZuluStick");
            store->setExcluded(true, other);
        } else {
            const DetectedDrive yankee = store->detectedDrives()[0];
            store->setExcluded(true, yankee);
        }
        fixture.pass(1s);
        fixture.inventory->drives.push_back(unnamedDrive("disk6s1", "Xray", false, "XrayStick"));
        store->refreshInventory();
        fixture.pass(20s);

        const auto xray = store->drives({"disk6s1"});
        ASSERT_EQ(xray.size(), 1u);
        EXPECT_EQ(xray[0].scope(),
                  excludeNewName ? DetectedDrive::Scope::excluded : DetectedDrive::Scope::managed);
        EXPECT_EQ(xray[0].isMounted(), !excludeNewName);
        EXPECT_EQ(countOf(fixture.drives->mounts, "disk4s1"), excludeNewName ? 0u : 1u);
    }
}

// Alpha is away at the wake and comes back while the user's Eject All of Bravo
// runs: it is mounted only once Eject All has ended, and not at all when the
// user excludes it meanwhile.
TEST(BerthkeepStoreOverlap, ADriveBackDuringEjectAllIsMountedAfterIt) {
    for (const bool excludedMeanwhile : {false, true}) {
        SCOPED_TRACE(excludedMeanwhile ? "excluded meanwhile" : "still wanted");
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha")};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"a"});
        const DetectedDrive alpha = store->detectedDrives()[0];
        detach(fixture, *store, "a");
        fixture.inventory->drives.push_back(drive("b", "Bravo"));
        store->beginWakeRemount();
        fixture.pass(15s);
        ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"a"});

        fixture.drives->ejectDelays = {{"b", 6s}};
        store->perform(MenubarUtilityAction::Kind::ejectAll);
        fixture.pass(1s);
        fixture.inventory->drives.push_back(drive("a", "Alpha", false));
        store->refreshInventory();
        fixture.pass(3s);
        EXPECT_FALSE(store->isCurrentlyMounted("a")) << "not while Eject All runs";
        if (excludedMeanwhile) {
            store->setExcluded(true, alpha);
        }
        fixture.pass(10s);

        EXPECT_FALSE(store->ejectAttempt().isRunning());
        EXPECT_FALSE(store->isCurrentlyMounted("b"));
        EXPECT_EQ(store->isCurrentlyMounted("a"), !excludedMeanwhile);
        EXPECT_EQ(countOf(fixture.drives->mounts, "a"), excludedMeanwhile ? 0u : 1u);
    }
}

// A sleep eject still runs when the wake closes its attempt: Bravo's after the
// hold was cut at 25 s, or Alpha's when the wake comes during it. Until that
// command ends the drive reads "Ejecting", the header says drives are being
// ejected and no Eject is offered; then it shows what it is.
TEST(BerthkeepStoreOverlap, ADriveWhoseOldEjectStillRunsShowsEjectingUntilItEnds) {
    struct Road {
        const char* name;
        Clock::Duration wakeAt;
        std::string ejecting;
        Clock::Duration commandEnds;
    };
    for (const Road& road : {Road{"the hold cut at 25 s", 25100ms, "b", 28s},
                             Road{"a wake during the eject", 5s, "a", 14s}}) {
        SCOPED_TRACE(road.name);
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo")};
        fixture.drives->ejectDelays = {{"a", 14s}, {"b", 14s}};
        fixture.timing.sleepTriggeredEjectTimeout = 15s;
        auto store = fixture.start();
        const Clock::TimePoint slept = fixture.clock->now();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(road.wakeAt);
        store->beginWakeRemount();
        // The wake remount's wait is over: the wake has closed the old attempt.
        fixture.pass(2300ms);
        ASSERT_EQ(fixture.sink->named("sleep.wake.invalidated_inflight_eject").size(), 1u);
        ASSERT_LT(fixture.clock->now() - slept, road.commandEnds);
        EXPECT_EQ(rowStatus(*store, road.ejecting), DriveStatus::ejecting);
        EXPECT_EQ(SafetySummarySection::headerText(store->currentState()), "Ejecting drives\u2026");
        EXPECT_FALSE(offersEject(*store, road.ejecting));

        fixture.pass(road.commandEnds - (fixture.clock->now() - slept) + 1s);
        EXPECT_NE(rowStatus(*store, road.ejecting), DriveStatus::ejecting);
        EXPECT_EQ(store->currentState().ejectingRowCount(), 0);
        EXPECT_NE(SafetySummarySection::headerText(store->currentState()), "Ejecting drives\u2026");
    }
}

} // namespace
} // namespace berthkeep

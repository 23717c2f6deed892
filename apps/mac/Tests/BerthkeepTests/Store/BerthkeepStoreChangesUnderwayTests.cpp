#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "SleepFixture.hpp"

// What the user, the system and the drives change while a long step runs (an
// eject attempt, a held sleep, a wake remount): each step acts on the present.
namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using storetest::countOf;
using storetest::drive;
using storetest::noticeCount;
using storetest::SleepFixture;

// Two volumes of one disk, "disk4".
DetectedDrive volumeOfDisk4(const std::string& id, const std::string& name) {
    return drive(id, name, true, DetectedDrive::Scope::managed, id + "s1", std::string("disk4"));
}

// The system's own sleep overtakes Eject & Sleep: Alpha, ejected by Eject & Sleep,
// sleeps unmounted and comes back after the wake, whatever held the machine awake.
TEST(BerthkeepStoreChangesUnderway, EjectAndSleepOvertakenByTheSystemSleepKeepsItsDrivesQueued) {
    struct Case {
        const char* name;
        bool bravoBusy;
        bool sleepRequestFails;
    };
    for (const Case& test : {Case{"Bravo busy", true, false}, Case{"sleep refused", false, true}}) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.drives->ejectDelays = {{"a", 3s}};
        if (test.bravoBusy) {
            fixture.drives->failing = {"b"};
        }
        fixture.sleepRequester->fails = test.sleepRequestFails;
        auto store = fixture.start();

        store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
        fixture.pass(1s);
        int acknowledged = 0;
        store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });
        fixture.pass(5s);
        ASSERT_EQ(acknowledged, 1);
        EXPECT_EQ(countOf(fixture.queuedIDs(*store), "a"), 1u);
        EXPECT_EQ(fixture.sleepRequester->requests, 0) << "the machine is going to sleep already";

        store->beginWakeRemount();
        fixture.pass(5s);
        EXPECT_TRUE(store->isCurrentlyMounted("a"));
        EXPECT_TRUE(fixture.queuedIDs(*store).empty());
    }
}

// Alpha is parked at the wake (another stick took its disk name) and comes back
// later under another: it is mounted, whether it comes in time for the wake's
// retries or after them, and the stick on its old name is left alone. One the
// user excluded meanwhile, or one that comes while a sleep is held, is not.
TEST(BerthkeepStoreChangesUnderway, ADriveBackLateAfterTheWakeIsMounted) {
    struct Case {
        const char* name;
        Clock::Duration backAfter;
        bool excludedFirst;
        bool sleepHeld;
        bool mounted;
    };
    const Case cases[] = {
        {"back after 3 s", 3s, false, false, true},
        {"back after 12 s", 12s, false, false, true},
        {"excluded before it came back", 12s, true, false, false},
        {"back while the next sleep is held", 12s, false, true, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha")};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"a"});

        // Parked: not attached; a new stick gets Alpha's old name.
        const DetectedDrive alpha = store->detectedDrives()[0];
        fixture.inventory->drives = {
            drive("p", "Placeholder", true, DetectedDrive::Scope::managed, alpha.bsdName())};
        store->beginWakeRemount();
        if (test.excludedFirst) {
            fixture.pass(10s);
            store->setExcluded(true, alpha);
        }
        if (test.sleepHeld) {
            fixture.pass(10s);
            store->handleSystemPowerWillSleep([] {});
            fixture.pass(1s);
        }
        fixture.pass(test.backAfter - (test.excludedFirst || test.sleepHeld ? 10s : 0s));
        fixture.inventory->drives.push_back(
            drive("a", "Alpha", false, DetectedDrive::Scope::managed, std::string("disk9s1")));
        store->refreshInventory();
        fixture.pass(10s);

        EXPECT_EQ(store->isCurrentlyMounted("a"), test.mounted);
        EXPECT_EQ(countOf(fixture.drives->mounts, "a"), test.mounted ? 1u : 0u);
        EXPECT_EQ(countOf(fixture.drives->mounts, "p"), 0u);
        if (test.mounted) {
            EXPECT_TRUE(fixture.queuedIDs(*store).empty());
        }
    }
}

// Bravo is excluded while the sleep eject (or Eject All) works on Alpha: Bravo is
// left alone, mounted, never queued, never counted.
TEST(BerthkeepStoreChangesUnderway, ADriveExcludedDuringAnAttemptIsLeftAlone) {
    for (const bool sleep : {true, false}) {
        SCOPED_TRACE(sleep ? "sleep eject" : "Eject All");
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"),
                                     drive("c", "Charlie")};
        fixture.drives->ejectDelays = {{"a", 4s}};
        auto store = fixture.start();
        if (sleep) {
            store->handleSystemPowerWillSleep([] {});
        } else {
            store->perform(MenubarUtilityAction::Kind::ejectAll);
        }
        fixture.pass(1s);
        const DetectedDrive bravo = store->detectedDrives()[1];
        store->setExcluded(true, bravo);
        fixture.pass(6s);

        EXPECT_EQ(fixture.drives->ejectedIDs(), (std::vector<std::string>{"a", "c"}));
        EXPECT_TRUE(store->isCurrentlyMounted("b"));
        EXPECT_EQ(store->lastActionSummary(),
                  LastActionSummary{LastActionSummary::Result::ejected(2)});
        EXPECT_FALSE(noticeCount(*store));
        EXPECT_FALSE(store->ejectAttempt().isRunning());
        if (sleep) {
            EXPECT_EQ(fixture.queuedIDs(*store), (std::vector<std::string>{"a", "c"}));
            store->beginWakeRemount();
            fixture.pass(5s);
            EXPECT_EQ(fixture.drives->mounts, (std::vector<std::string>{"a", "c"}));
        }
    }
}

// Photos is excluded while Alpha is being ejected, before the turn of its disk:
// the disk is not ejected whole; its managed volume goes down on its own.
TEST(BerthkeepStoreChangesUnderway, AVolumeExcludedDuringAnAttemptKeepsItsDiskUp) {
    SleepFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), volumeOfDisk4("x1", "Music"),
                                 volumeOfDisk4("x2", "Photos")};
    fixture.drives->ejectDelays = {{"a", 4s}};
    auto store = fixture.start();
    store->perform(MenubarUtilityAction::Kind::ejectAll);
    fixture.pass(1s);
    const DetectedDrive photos = store->detectedDrives()[2];
    store->setExcluded(true, photos);
    fixture.pass(6s);

    using Eject = std::pair<std::string, DriveEjectMode>;
    EXPECT_EQ(fixture.drives->ejects,
              (std::vector<Eject>{{"a", DriveEjectMode::device}, {"x1", DriveEjectMode::volume}}));
    EXPECT_FALSE(store->isCurrentlyMounted("x1"));
    EXPECT_TRUE(store->isCurrentlyMounted("x2"));
    EXPECT_EQ(store->lastActionSummary(), LastActionSummary{LastActionSummary::Result::ejected(2)});
}

// Alpha would not mount at the wake's first attempt; the user excludes it during
// the wait before the retry: the retry leaves it alone.
TEST(BerthkeepStoreChangesUnderway, ADriveExcludedDuringTheWakeRemountIsNotMounted) {
    SleepFixture fixture;
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    fixture.drives->refusing = {"a"};
    store->beginWakeRemount();
    fixture.pass(2500ms);
    ASSERT_EQ(countOf(fixture.drives->mounts, "a"), 1u);
    fixture.drives->refusing.clear();
    const DetectedDrive alpha = store->detectedDrives()[0];
    store->setExcluded(true, alpha);
    fixture.pass(10s);

    EXPECT_EQ(countOf(fixture.drives->mounts, "a"), 1u);
    EXPECT_FALSE(store->isCurrentlyMounted("a"));
    EXPECT_TRUE(store->isCurrentlyMounted("b"));
    EXPECT_TRUE(fixture.queuedIDs(*store).empty());
}

// Beta is mounted by hand while a card's group mount of its disk comes: the group
// mounts only its other drive, Beta is mounted once, and it shows as mounting
// until its own mount ends; a sleep meanwhile waits for it.
TEST(BerthkeepStoreChangesUnderway, ADriveIsNeverMountedTwiceAtOnce) {
    SleepFixture fixture;
    fixture.inventory->drives = {
        drive("a", "Alpha", false, DetectedDrive::Scope::managed, std::nullopt, std::string("g")),
        drive("b", "Beta", false, DetectedDrive::Scope::managed, std::nullopt, std::string("g"))};
    fixture.drives->mountDelays = {{"b", 4s}};
    auto store = fixture.start();
    store->perform(DriveAction::Kind::mount, "b");
    fixture.pass(500ms);
    store->perform(DriveGroupActionKind::mountAll, "g");
    fixture.pass(1500ms);
    EXPECT_TRUE(store->isCurrentlyMounted("a"));
    EXPECT_TRUE(store->mountingDriveIDs().contains("b")) << "its own mount still runs";

    int acknowledged = 0;
    store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });
    fixture.pass(1s);
    EXPECT_EQ(acknowledged, 0) << "held while Beta's mount runs";
    fixture.pass(5s);
    EXPECT_EQ(acknowledged, 1);
    EXPECT_EQ(fixture.drives->mounts, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(fixture.mountedCount(), 0u) << "both taken down for the sleep";
}

// Echo is plugged in while the sleep eject works on Alpha: it is ejected before
// the sleep is answered and comes back after the wake; one that cannot be
// ejected is in the notice.
TEST(BerthkeepStoreChangesUnderway, ADrivePluggedInDuringTheSleepEjectIsEjectedToo) {
    for (const bool echoBusy : {false, true}) {
        SCOPED_TRACE(echoBusy ? "Echo busy" : "Echo free");
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"),
                                     drive("c", "Charlie")};
        fixture.drives->ejectDelays = {{"a", 5s}};
        if (echoBusy) {
            fixture.drives->failing = {"e"};
        }
        auto store = fixture.start();
        int acknowledged = 0;
        store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });
        fixture.pass(1s);
        fixture.inventory->drives.push_back(drive("e", "Echo"));
        store->refreshInventory();
        fixture.pass(8s);

        ASSERT_EQ(acknowledged, 1);
        EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"trigger_finished"});
        EXPECT_EQ(countOf(fixture.drives->ejectedIDs(), "e"), 1u);
        EXPECT_EQ(store->isCurrentlyMounted("e"), echoBusy);
        EXPECT_EQ(noticeCount(*store), echoBusy ? std::optional<std::int64_t>(1) : std::nullopt);
        EXPECT_EQ(countOf(fixture.queuedIDs(*store), "e"), echoBusy ? 0u : 1u);
        store->beginWakeRemount();
        fixture.pass(5s);
        EXPECT_EQ(fixture.mountedCount(), 4u);
    }
}

// Alpha's and Bravo's ejects take 14 s each; the hold is cut at 25 s with Bravo
// still mounted and the machine wakes at once. Bravo slept mounted: the notice
// counts it, however its eject ends, and it still comes back after the wake.
TEST(BerthkeepStoreChangesUnderway, ADriveStillBeingEjectedAtTheCutIsInTheNotice) {
    SleepFixture fixture;
    fixture.drives->ejectDelays = {{"a", 14s}, {"b", 14s}};
    fixture.timing.sleepTriggeredEjectTimeout = 15s;
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(25100ms);
    ASSERT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"timeout"});
    store->beginWakeRemount();
    fixture.pass(15s);

    EXPECT_EQ(fixture.notifications->delivered, std::vector<std::int64_t>{1});
    EXPECT_EQ(fixture.mountedCount(), 2u);
    EXPECT_FALSE(noticeCount(*store));
}

// The hold is cut before the sleep's eject begins (its first refresh is slow) and
// the wake is handled first: nothing is ejected after the wake, and the drives
// that slept mounted are reported. The same when the wake comes during the
// eject's usage probe.
TEST(BerthkeepStoreChangesUnderway, ASleepOvertakenBeforeItsEjectEjectsNothingAndTellsTheUser) {
    for (const bool duringProbe : {false, true}) {
        SCOPED_TRACE(duringProbe ? "wake during the usage probe" : "cut during the first refresh");
        SleepFixture fixture;
        const auto held = fixture.holdDetachedWork();
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(100ms);
        if (duringProbe) {
            held->releaseFirst(); // the refresh; the probe waits
            fixture.pass(100ms);
        } else {
            fixture.pass(25s);
            ASSERT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"timeout"});
        }
        ASSERT_FALSE(held->held.empty());
        store->beginWakeRemount();
        fixture.pass(100ms);
        for (int round = 0; round < 20; ++round) {
            held->releaseAll();
            fixture.pass(500ms);
        }

        EXPECT_TRUE(fixture.drives->ejects.empty());
        EXPECT_EQ(fixture.mountedCount(), 2u);
        EXPECT_EQ(fixture.notifications->delivered, std::vector<std::int64_t>{2});
        // Held work that never runs would leave its tasks suspended for good.
        for (int round = 0; round < 100 && !held->held.empty(); ++round) {
            held->releaseAll();
            test::processQueuedEvents();
        }
        EXPECT_TRUE(held->held.empty());
    }
}

TEST(BerthkeepStoreChangesUnderway, AnIdSharedByTwoDrivesIsMountedWhenEitherIs) {
    SleepFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha", false), drive("a", "Alpha", true)};
    auto store = fixture.start();
    store->refreshInventory();
    fixture.pass(100ms);
    EXPECT_TRUE(store->isCurrentlyMounted("a"));
}

} // namespace
} // namespace berthkeep

#include <gtest/gtest.h>

#include "ActionTestSupport.hpp"
#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using actiontest::ActionFixture;
using storetest::drive;
using A = TransientActionStatusAction;
using Tone = TransientActionStatusTone;

QCoro::Task<void> markDone(QCoro::Task<void> task, bool* done) {
    co_await task;
    *done = true;
}

TEST(ManualMount, DriveThatFailsTwiceRetriesAfterTheDelayAndReportsIt) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha", false)};
    fixture.scriptedRemounter->answers = {false, false};
    auto store = fixture.make();
    BerthkeepStore* raw = store.get();

    bool done = false;
    startMainActorTask([raw, &done] { return markDone(raw->mountDrive("a"), &done); });
    // The retry's wait starts only once the failed attempt is handled, which a
    // loaded machine can delay past the first call: time moved before it would
    // never reach its deadline.
    const auto retryDue = fixture.clock->now() + 800ms;
    ASSERT_TRUE(test::processEventsUntil([&fixture, retryDue] {
        return fixture.scriptedRemounter->calls.size() == 1 &&
               fixture.clock->nextDeadline() == retryDue;
    }));
    EXPECT_TRUE(store->mountingDriveIDs().empty()) << "between its tries the drive is down";
    fixture.clock->advance(799ms);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.scriptedRemounter->calls.size(), 1u);
    fixture.clock->advance(1ms);
    ASSERT_TRUE(test::processEventsUntil([&done] { return done; }));

    EXPECT_EQ(fixture.scriptedRemounter->calls,
              (std::vector<std::string>{"mount as1", "mount as1"}));
    const auto retry = fixture.events("drive.mount.retrying");
    ASSERT_EQ(retry.size(), 1u);
    EXPECT_EQ(retry[0].metadata.at("attempt"), "2");
    EXPECT_EQ(retry[0].metadata.at("remaining_count"), "1");
    const auto failed = fixture.events("drive.mount.failed");
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[1].metadata.at("attempt"), "2");
    EXPECT_EQ(failed[1].metadata.at("error"), "Could not mount");
    EXPECT_EQ(fixture.panels(),
              (std::vector<TransientActionStatus>{
                  {A::mount, "Mounting drive...", "Alpha", Tone::progress},
                  {A::mount, "1 drive could not mount", "Alpha", Tone::attention}}));
    EXPECT_TRUE(store->mountingDriveIDs().empty());
}

TEST(ManualMount, DriveThatMountsFirstTimeReportsOneMounted) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha", false)};
    auto store = fixture.make();

    test::runTask(store->mountDrive("a"));

    const auto started = fixture.events("drive.mount.started");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].metadata.at("attempt"), "1");
    EXPECT_EQ(started[0].metadata.at("group_bsd_name"), "as1");
    EXPECT_TRUE(fixture.events("drive.mount.retrying").empty());
    EXPECT_EQ(fixture.panels().back(),
              (TransientActionStatus{A::mount, "1 drive mounted", "Alpha", Tone::success}));
    EXPECT_TRUE(store->isCurrentlyMounted("a"));
}

// Success is what the refreshed inventory shows, not what the tool said.
TEST(ManualMount, GroupMountJudgesByTheInventory) {
    ActionFixture fixture;
    fixture.inventory->drives = {
        drive("a", "A", false, DetectedDrive::Scope::managed, "disk4s1", "disk4"),
        drive("b", "B", false, DetectedDrive::Scope::managed, "disk4s2", "disk4"),
        drive("c", "C", false, DetectedDrive::Scope::managed, "disk4s3", "disk4"),
        drive("x", "X", false, DetectedDrive::Scope::excluded, "disk4s4", "disk4")};
    // b fails both times, c only the first time.
    fixture.scriptedRemounter->answers = {true, false, false, false};
    fixture.timing.manualMountRetryDelay = Clock::Duration::zero();
    auto store = fixture.make();

    test::runTask(store->mountDriveGroup("disk4"));

    // Every volume on its own: a manual group mount never mounts the whole disk.
    EXPECT_EQ(fixture.scriptedRemounter->calls,
              (std::vector<std::string>{"mount disk4s1", "mount disk4s2", "mount disk4s3",
                                        "mount disk4s2", "mount disk4s3"}));
    EXPECT_EQ(fixture.panels(),
              (std::vector<TransientActionStatus>{
                  {A::mount, "Mounting drive...", "3 drives", Tone::progress},
                  {A::mount, "1 drive could not mount", "2 drives mounted", Tone::attention}}));
}

TEST(ManualMount, RefusedWhileAnEjectAttemptRuns) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha", false), drive("b", "Bravo")};
    auto store = fixture.make();
    store->ejectAttempt().markDriveWorking("b");

    test::runTask(store->mountDrive("a"));
    test::runTask(store->mountDriveGroup("a"));

    EXPECT_TRUE(fixture.scriptedRemounter->calls.empty());
    EXPECT_TRUE(fixture.panels().empty());
}

TEST(RemountEngine, DeviceModeMountsWholeDisksAndRetriesWhatIsLeft) {
    ActionFixture fixture;
    const auto volume = [](const char* id, const char* bsdName, const char* disk) {
        return DetectedDrive(id, id, std::nullopt, DetectedDrive::Scope::managed, true, bsdName,
                             std::string(disk));
    };
    fixture.inventory->drives = {volume("a", "disk4s1", "disk4"), volume("b", "disk4s2", "disk4"),
                                 volume("c", "disk5s1", "disk5")};
    fixture.scriptedRemounter->answers = {false, true, false};
    auto store = fixture.make();
    std::vector<RemountTarget> targets;
    for (const DetectedDrive& d : fixture.inventory->drives) {
        targets.push_back(*store->wakeRemountTarget(d, true));
    }
    // The wake remount's grouping: a and b share disk4.
    store->wakeRemountQueue().merge(targets, {});

    const auto outcome = test::runTask(
        store->remountTargets(targets, 2, Clock::Duration::zero(),
                              {"sleep.wake.remount.drive.started", "sleep.wake.remount.succeeded",
                               "sleep.wake.remount.failed", "sleep.wake.remount.retrying",
                               "sleep.wake.remount.not_attached"},
                              std::string("OP"), Clock::Duration::zero(), true));
    const std::vector<RemountTarget>& left = outcome.failed;

    EXPECT_EQ(fixture.scriptedRemounter->calls,
              (std::vector<std::string>{"mountDisk disk4", "mount disk5s1", "mountDisk disk4"}));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].driveID, "a");
    const auto started = fixture.events("sleep.wake.remount.drive.started");
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started[0].metadata.at("group_drive_count"), "2");
    EXPECT_EQ(started[0].metadata.at("remount_attempt_id"), "OP");
}

TEST(RemountEngine, GroupsByGroupIdThenDiskThenDrive) {
    const std::vector<RemountTarget> targets{{"a", "A", "disk4s1", "disk4", "g", {}},
                                             {"b", "B", "disk5s1", "disk5", "g", {}},
                                             {"c", "C", "disk6s1", "disk6", std::nullopt, {}},
                                             {"d", "D", "disk6s2", "disk6", std::nullopt, {}},
                                             {"e", "E", "disk7s1", std::nullopt, std::nullopt, {}}};
    const auto groups = BerthkeepStore::remountGroups(targets);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].id, "g");
    EXPECT_EQ(groups[0].bsdName, "disk4");
    EXPECT_EQ(groups[0].targets.size(), 2u);
    EXPECT_EQ(groups[1].id, "disk6");
    EXPECT_EQ(groups[1].targets.size(), 2u);
    EXPECT_EQ(groups[2].id, "e");
    EXPECT_EQ(groups[2].bsdName, "disk7s1");
}

} // namespace
} // namespace berthkeep

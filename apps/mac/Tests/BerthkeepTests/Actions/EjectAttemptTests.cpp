#include <gtest/gtest.h>

#include "ActionTestSupport.hpp"
#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using actiontest::ActionFixture;
using actiontest::ScriptedEjector;
using storetest::drive;
using Outcome = ScriptedEjector::Outcome;
using Tone = TransientActionStatusTone;

QCoro::Task<void> markDone(QCoro::Task<void> task, bool* done) {
    co_await task;
    *done = true;
}

// Starts Eject All of the mounted managed drives; `done` turns true when it ends.
void startEjectAll(BerthkeepStore* store, bool* done) {
    startMainActorTask([store, done] {
        return markDone(store->actionCoordinator().runExplicitEject(
                            store->mountedManagedDriveIDs(), TriggerReason::manualEjectAll, *store),
                        done);
    });
}

TransientActionStatus panel(TransientActionStatusAction action, std::string title,
                            std::optional<std::string> detail, Tone tone) {
    return {action, std::move(title), std::move(detail), tone};
}

TEST(EjectAttempt, EjectAllOfThreeWithOneRefusedReportsTwoEjectedOneInUse) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"), drive("c", "Charlie")};
    fixture.scriptedEjector->outcomes["b"] = Outcome::refuse;
    auto store = fixture.make();

    test::runTask(store->actionCoordinator().runExplicitEject(
        store->mountedManagedDriveIDs(), TriggerReason::manualEjectAll, *store));

    EXPECT_EQ(fixture.scriptedEjector->calls, (std::vector<std::string>{"a", "b", "c"}));
    for (const DriveEjectMode mode : fixture.scriptedEjector->modes) {
        EXPECT_EQ(mode, DriveEjectMode::device);
    }
    using A = TransientActionStatusAction;
    EXPECT_EQ(
        fixture.panels(),
        (std::vector<TransientActionStatus>{
            panel(A::ejectAll, "Ejecting drives...", "3 drives", Tone::progress),
            panel(A::ejectAll, "1 drive still in use", "2 drives ejected", Tone::attention)}));
    const auto finished = fixture.events("reliability.eject.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].metadata.at("ejected_count"), "2");
    EXPECT_EQ(finished[0].metadata.at("still_busy_count"), "1");
    const auto failed = fixture.events("reliability.eject.drive.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].metadata.at("drive_id"), "b");
    EXPECT_EQ(failed[0].metadata.at("error"), "Volume is busy");
    EXPECT_EQ(fixture.events("reliability.eject.manual_all.mode").size(), 1u);

    EXPECT_EQ(store->lastActionSummary(),
              LastActionSummary{LastActionSummary::Result::partialSuccess(2, 1)});
    EXPECT_TRUE(store->ejectAttempt().workingDriveIDs().empty());
    EXPECT_EQ(store->ejectAttempt().attentionDriveIDs(), (std::set<std::string>{"b"}));
    EXPECT_FALSE(store->ejectAttempt().activeAttemptID());
    EXPECT_FALSE(store->ejectAttempt().activeTrigger());
}

TEST(EjectAttempt, GroupOfTwoVolumesEjectsOnceAndBooksBoth) {
    ActionFixture fixture;
    fixture.inventory->drives = {
        drive("x1", "Photos", true, DetectedDrive::Scope::managed, "disk4s1", "disk4"),
        drive("x2", "Music", true, DetectedDrive::Scope::managed, "disk4s2", "disk4")};
    auto store = fixture.make();

    test::runTask(store->ejectDriveGroup("disk4"));

    EXPECT_EQ(fixture.scriptedEjector->calls, (std::vector<std::string>{"x1"}));
    EXPECT_EQ(fixture.events("reliability.eject.drive.started").size(), 1u);
    const auto succeeded = fixture.events("reliability.eject.drive.succeeded");
    ASSERT_EQ(succeeded.size(), 1u);
    EXPECT_EQ(succeeded[0].metadata.at("group_drive_count"), "2");
    // A card's group eject shows no panel: its cards show how it went.
    EXPECT_TRUE(fixture.panels().empty());
    EXPECT_EQ(store->lastActionSummary(), LastActionSummary{LastActionSummary::Result::ejected(2)});
}

TEST(EjectAttempt, HungEjectTimesOutWhileAnotherTriggerIsRefused) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    fixture.scriptedEjector->outcomes["a"] = Outcome::hang;
    auto store = fixture.make();
    BerthkeepStore* raw = store.get();

    bool done = false;
    startEjectAll(raw, &done);
    ASSERT_TRUE(
        test::processEventsUntil([&fixture] { return !fixture.scriptedEjector->calls.empty(); }));

    // The running Eject All refuses a sleep trigger and keeps its own trigger.
    test::runTask(store->runPlannedTrigger(TriggerReason::systemSleep));
    EXPECT_EQ(fixture.events("reliability.trigger.skipped").size(), 1u);
    EXPECT_EQ(store->lastObservedTrigger(), TriggerReason::manualEjectAll);

    fixture.clock->advance(15s - 1ms);
    test::processQueuedEvents();
    EXPECT_FALSE(done);
    fixture.clock->advance(1ms);
    ASSERT_TRUE(test::processEventsUntil([&done] { return done; }));

    const auto failed = fixture.events("reliability.eject.drive.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].metadata.at("error"), "Eject attempt timed out");
    EXPECT_EQ(store->lastActionSummary(),
              LastActionSummary{LastActionSummary::Result::stillBusy(1)});
}

// The wake side closes the record of a sleep attempt while its first eject runs:
// the attempt leaves the working set alone and takes its panel down, yet ends
// with its own summary, reporting the drive it never reached.
TEST(EjectAttempt, StaleSleepAttemptLeavesTheWorkingSetAndStillCloses) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"),
                                 drive("c", "Charlie", false)};
    fixture.timing.sleepEjectSettleDelay = Clock::Duration::zero();
    auto store = fixture.make();
    BerthkeepStore* raw = store.get();
    // The wake closes the record, and another action works on Charlie.
    fixture.scriptedEjector->during = [raw] {
        raw->ejectAttempt().closeByWake({});
        raw->ejectAttempt().markDriveWorking("c");
    };

    test::runTask(store->runPlannedTrigger(TriggerReason::manualEjectAndSleep));

    EXPECT_EQ(fixture.scriptedEjector->calls.size(), 1u);
    const auto aborted = fixture.events("reliability.eject.aborted");
    ASSERT_EQ(aborted.size(), 2u);
    EXPECT_EQ(aborted[0].message,
              "Eject attempt completed after wake; the drive is queued for remount");
    EXPECT_EQ(aborted[1].message, "Aborting stale eject attempt");
    EXPECT_EQ(store->ejectAttempt().workingDriveIDs(), (std::set<std::string>{"c"}));
    const auto finished = fixture.events("reliability.eject.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].metadata.at("ejected_count"), "1");
    EXPECT_EQ(finished[0].metadata.at("still_busy_count"), "1");
    ASSERT_TRUE(store->pendingSleepFailureNotification());
    EXPECT_EQ(store->pendingSleepFailureNotification()->failedDriveCount, 1);
    ASSERT_EQ(store->wakeRemountQueue().targets().size(), 1u);
    EXPECT_EQ(store->wakeRemountQueue().targets()[0].driveID, "a");
    ASSERT_EQ(fixture.panels().size(), 1u);
    EXPECT_EQ(fixture.panels()[0].title, "Preparing for sleep...");
    EXPECT_EQ(fixture.statusPresenter->dismissals, 1);

    // Any other attempt just stops.
    ActionFixture other;
    other.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo")};
    auto otherStore = other.make();
    BerthkeepStore* otherRaw = otherStore.get();
    other.scriptedEjector->during = [otherRaw] {
        otherRaw->ejectAttempt().closeByWake({});
    };
    test::runTask(otherStore->actionCoordinator().runExplicitEject(
        otherStore->mountedManagedDriveIDs(), TriggerReason::manualEjectAll, *otherStore));
    const auto ignored = other.events("reliability.eject.aborted");
    ASSERT_EQ(ignored.size(), 1u);
    EXPECT_EQ(ignored[0].message, "Eject attempt completed after wake and was ignored");
    EXPECT_TRUE(other.events("reliability.eject.finished").empty());
}

// The wake side drops a hung Eject & Sleep attempt and a newer attempt starts
// before the stale one notices: its panel stays only when the newer one put up
// its own.
TEST(EjectAttempt, StaleAttemptLeavesThePanelToANewerOneOnlyWhenThatShowedOne) {
    struct Case {
        TriggerReason newerTrigger;
        int dismissals;
    };
    const Case cases[] = {{TriggerReason::systemSleep, 1}, {TriggerReason::manualEjectAll, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(label(c.newerTrigger));
        ActionFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo")};
        fixture.scriptedEjector->outcomes = {{"a", Outcome::hang}, {"b", Outcome::hang}};
        fixture.timing.sleepEjectSettleDelay = Clock::Duration::zero();
        auto store = fixture.make();
        BerthkeepStore* raw = store.get();

        bool staleDone = false;
        startMainActorTask([raw, &staleDone] {
            return markDone(raw->runPlannedTrigger(TriggerReason::manualEjectAndSleep), &staleDone);
        });
        ASSERT_TRUE(test::processEventsUntil(
            [&fixture] { return fixture.scriptedEjector->calls.size() == 1; }));
        raw->ejectAttempt().closeByWake({});

        fixture.clock->advance(10s);
        bool newerDone = false;
        const TriggerReason newer = c.newerTrigger;
        startMainActorTask([raw, newer, &newerDone] {
            return markDone(raw->actionCoordinator().runExplicitEject({"b"}, newer, *raw),
                            &newerDone);
        });
        ASSERT_TRUE(test::processEventsUntil(
            [&fixture] { return fixture.scriptedEjector->calls.size() == 2; }));
        const std::optional<std::string> newerID = store->ejectAttempt().activeAttemptID();
        ASSERT_TRUE(newerID);

        // The stale eject times out first and finds the newer attempt current.
        fixture.clock->advance(5s);
        ASSERT_TRUE(test::processEventsUntil([&staleDone] { return staleDone; }));
        EXPECT_EQ(store->ejectAttempt().activeAttemptID(), newerID);
        EXPECT_EQ(fixture.statusPresenter->dismissals, c.dismissals);

        fixture.clock->advance(10s);
        ASSERT_TRUE(test::processEventsUntil([&newerDone] { return newerDone; }));
        EXPECT_EQ(fixture.statusPresenter->dismissals, c.dismissals);
    }
}

TEST(EjectAttempt, SleepTriggerQueuesEjectedDrivesForWake) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo")};
    fixture.timing.sleepEjectSettleDelay = Clock::Duration::zero();
    auto store = fixture.make();

    test::runTask(store->runPlannedTrigger(TriggerReason::systemSleep));

    std::vector<std::string> queued;
    for (const RemountTarget& target : store->wakeRemountQueue().targets()) {
        queued.push_back(target.driveID);
    }
    EXPECT_EQ(queued, (std::vector<std::string>{"a", "b"}));
    const auto scheduled = fixture.events("sleep.wake.remount.scheduled");
    ASSERT_EQ(scheduled.size(), 1u);
    EXPECT_EQ(scheduled[0].metadata.at("target_count"), "2");
    EXPECT_EQ(scheduled[0].metadata.at("new_target_count"), "2");
    EXPECT_EQ(scheduled[0].metadata.at("preserved_target_count"), "2");
    EXPECT_TRUE(fixture.panels().empty());
}

// The single-drive eject from a drive row, with its two panels and its verdict.
TEST(EjectAttempt, SingleDriveEjectReportsItsOutcome) {
    struct Case {
        const char* name;
        Outcome outcome;
        const char* title;
        Tone tone;
        bool needsAttention;
    };
    const Case cases[] = {
        {"ejected", Outcome::eject, "1 drive ejected", Tone::success, false},
        {"refused", Outcome::refuse, "1 drive still in use", Tone::attention, true},
        {"hung", Outcome::hang, "1 drive still in use", Tone::attention, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ActionFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo")};
        fixture.scriptedEjector->outcomes["a"] = c.outcome;
        auto store = fixture.make();
        BerthkeepStore* raw = store.get();

        bool done = false;
        startMainActorTask([raw, &done] { return markDone(raw->ejectDrive("a"), &done); });
        ASSERT_TRUE(test::processEventsUntil(
            [&fixture] { return !fixture.scriptedEjector->calls.empty(); }));
        // Bounded by the same time-out as every other eject.
        fixture.clock->advance(15s);
        ASSERT_TRUE(test::processEventsUntil([&done] { return done; }));

        using A = TransientActionStatusAction;
        EXPECT_EQ(fixture.panels(),
                  (std::vector<TransientActionStatus>{
                      panel(A::eject, "Ejecting drive...", "Alpha", Tone::progress),
                      panel(A::eject, c.title, "Alpha", c.tone)}));
        EXPECT_TRUE(store->ejectAttempt().workingDriveIDs().empty());
        EXPECT_EQ(store->ejectAttempt().attentionDriveIDs().contains("a"), c.needsAttention);
        EXPECT_EQ(store->lastObservedTrigger(), TriggerReason::manualRetry);
    }
}

// Nothing was ejected, so no queued drive was acted on: the queue stays.
TEST(EjectAttempt, PlannedTriggerWithNothingMountedKeepsTheQueue) {
    struct Case {
        TriggerReason trigger;
        const char* preserved;
        std::size_t queueAfter;
    };
    const Case cases[] = {{TriggerReason::systemSleep, "1", 1u},
                          {TriggerReason::manualEjectAndSleep, "1", 1u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(label(c.trigger));
        ActionFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha", false)};
        auto store = fixture.make();
        store->wakeRemountQueue().merge({RemountTarget{"a", "Alpha", "as1", {}, "a", {}}}, {});

        test::runTask(store->runPlannedTrigger(c.trigger));

        const auto noTargets = fixture.events("reliability.trigger.no_targets");
        ASSERT_EQ(noTargets.size(), 1u);
        EXPECT_EQ(noTargets[0].metadata.at("preserved_pending_remount_count"), c.preserved);
        EXPECT_EQ(store->wakeRemountQueue().targets().size(), c.queueAfter);
        EXPECT_FALSE(store->ejectAttempt().activeAttemptID());
        EXPECT_TRUE(fixture.scriptedEjector->calls.empty());
    }
}

// One group per eject target in order of first appearance, members in list order;
// a drive with nothing else to go by is a group of its own id.
TEST(EjectAttempt, TargetsGroupByEjectTargetInOrderOfFirstAppearance) {
    const auto volume = [](const char* id, std::optional<std::string> bsdName,
                           std::optional<std::string> ejectTarget) {
        return DetectedDrive(id, id, std::nullopt, DetectedDrive::Scope::managed, true,
                             std::move(bsdName), std::move(ejectTarget));
    };
    ActionFixture fixture;
    auto store = fixture.make();
    const auto groups = store->ejectTargetGroups(
        {volume("A", "disk4s1", "disk4"), volume("B", "disk5s1", "disk5"),
         volume("C", "disk4s2", "disk4"), volume("D", std::nullopt, std::nullopt)});
    std::vector<std::string> shape;
    for (const EjectTargetGroup& group : groups) {
        std::string members;
        for (const DetectedDrive& member : group.members) {
            members += member.id();
        }
        shape.push_back(group.id + ":" + members);
    }
    EXPECT_EQ(shape, (std::vector<std::string>{"disk4:AC", "disk5:B", "D:D"}));
}

// What an attempt hands the telemetry controller at its start and end, and the
// mount point its start event logs.
TEST(EjectAttemptRecords, TelemetryEventsCarryTheirPayloadKeys) {
    ActionFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo")};
    fixture.scriptedEjector->outcomes["b"] = Outcome::refuse;
    fixture.scriptedEjector->outcomes["a"] = Outcome::hang;
    fixture.timing.sleepEjectSettleDelay = Clock::Duration::zero();
    auto store = fixture.make();
    BerthkeepStore* raw = store.get();
    test::processQueuedEvents();
    fixture.forgetTelemetry();

    bool done = false;
    startEjectAll(raw, &done);
    ASSERT_TRUE(
        test::processEventsUntil([&fixture] { return !fixture.scriptedEjector->calls.empty(); }));
    test::runTask(store->runPlannedTrigger(TriggerReason::systemSleep)); // refused: busy
    fixture.clock->advance(15s);
    ASSERT_TRUE(test::processEventsUntil([&done] { return done; }));
    test::processQueuedEvents();

    using Payload = std::map<std::string, std::string>;
    std::vector<std::pair<std::string, Payload>> sent;
    const auto requests = fixture.transport->requests();
    for (std::size_t index = fixture.forgottenRequests; index < requests.size(); ++index) {
        for (const auto& event : requests[index].newEvents) {
            sent.emplace_back(event.name, Payload(event.payload.begin(), event.payload.end()));
        }
    }
    const std::vector<std::pair<std::string, Payload>> expected = {
        {"manual_eject_attempted", {{"trigger", "manual_eject_all"}, {"attempted_count", "2"}}},
        {"auto_eject_attempted", {{"trigger", "system_sleep"}, {"attempted_count", "0"}}},
        {"auto_eject_result",
         {{"trigger", "system_sleep"},
          {"attempted_count", "0"},
          {"succeeded_count", "0"},
          {"result", "skipped_busy"}}},
        {"manual_eject_result",
         {{"trigger", "manual_eject_all"},
          {"attempted_count", "2"},
          {"succeeded_count", "0"},
          {"result", "timeout"},
          {"failure_reason_code", "timeout"}}},
    };
    EXPECT_EQ(sent, expected);

    const auto started = fixture.events("reliability.eject.drive.started");
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].metadata.at("mount_path"), "/Volumes/Alpha");
    EXPECT_EQ(started[1].metadata.at("mount_path"), "/Volumes/Bravo");
}

TEST(EjectAttemptRecords, ResultWordsAndFailureCodes) {
    struct ResultCase {
        std::int64_t attempted, succeeded;
        std::optional<std::string> code;
        const char* expected;
    };
    const ResultCase results[] = {{0, 0, "timeout", "no_targets"},  {3, 3, std::nullopt, "success"},
                                  {3, 2, "timeout", "partial"},     {3, 0, "timeout", "timeout"},
                                  {3, 0, "eject_failed", "failed"}, {3, 0, std::nullopt, "failed"}};
    for (const ResultCase& c : results) {
        EXPECT_EQ(BerthkeepActionCoordinator::telemetryResult(c.attempted, c.succeeded, c.code),
                  c.expected);
    }
    struct CodeCase {
        std::optional<std::string> existing;
        const char* next;
        const char* expected;
    };
    const CodeCase codes[] = {{"eject_failed", "timeout", "timeout"},
                              {"timeout", "eject_failed", "timeout"},
                              {std::nullopt, "eject_failed", "eject_failed"},
                              {"eject_failed", "other", "eject_failed"}};
    for (const CodeCase& c : codes) {
        EXPECT_EQ(BerthkeepActionCoordinator::combinedFailureReasonCode(c.existing, c.next),
                  c.expected);
    }
}

} // namespace
} // namespace berthkeep

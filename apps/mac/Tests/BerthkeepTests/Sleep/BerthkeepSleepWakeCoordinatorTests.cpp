#include "Berthkeep/Sleep/BerthkeepSleepWakeCoordinator.hpp"

#include <gtest/gtest.h>

#include "BerthkeepShared/ManualClock.hpp"
#include "TaskDriver.hpp"
#include "apps/mac/Tests/BerthkeepTelemetryTests/TelemetryTestSupport.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

struct WakeRecord {
    std::vector<std::string> started;
    std::vector<std::string> ended;
    bool deaf = false;
};

// A wake road that takes 10 s on the manual clock, or less when cancelled
// (unless it is deaf to cancelling, as a running child process can be).
QCoro::Task<void> slowWake(WakeRecord* record, std::shared_ptr<Clock> clock, std::string id,
                           std::shared_ptr<CancelToken> cancel) {
    record->started.push_back(id);
    // Bound first: g++ 12 destroys a ?: temporary beside co_await twice.
    const std::shared_ptr<CancelToken> heard = record->deaf ? nullptr : cancel;
    co_await clock->sleep(10s, heard);
    record->ended.push_back(id);
}

QCoro::Task<void> countRefresh(int* refreshes) {
    ++*refreshes;
    co_return;
}

struct Fixture {
    std::unique_ptr<BerthkeepSleepWakeCoordinator> make(Clock::Duration timeout = 25s,
                                                        Clock::Duration debounce = 1s) {
        return std::make_unique<BerthkeepSleepWakeCoordinator>(BerthkeepLogger(sink), debounce,
                                                               timeout, clock);
    }
    BerthkeepSleepWakeCoordinator::WakeEventHandler wake() {
        return [this](std::string id, std::optional<std::string>,
                      std::shared_ptr<CancelToken> cancel) {
            return slowWake(&record, clock, std::move(id), std::move(cancel));
        };
    }
    std::vector<std::string> reasons(const char* name) const {
        std::vector<std::string> result;
        for (const auto& event : sink->named(name)) {
            result.push_back(event.metadata.at("reason"));
        }
        return result;
    }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<test::RecordingLogSink> sink = std::make_shared<test::RecordingLogSink>();
    WakeRecord record;
};

TEST(BerthkeepSleepWakeCoordinator, TheTimeOutReleasesItsOwnPowerChangeOnce) {
    Fixture fixture;
    auto coordinator = fixture.make();
    int first = 0;
    int second = 0;
    coordinator->installPendingSleepAcknowledger("A", [&first] { ++first; });
    test::processQueuedEvents();
    fixture.clock->advance(10s);
    // A newer power change supersedes the first, which is answered at once.
    coordinator->installPendingSleepAcknowledger("B", [&second] { ++second; });
    EXPECT_EQ(first, 1);
    test::processQueuedEvents();
    // The road of the older power change must not release the newer one.
    coordinator->acknowledgePendingSleepPowerChange("trigger_finished", std::string("A"));
    fixture.clock->advance(24s);
    EXPECT_EQ(second, 0);
    fixture.clock->advance(1s);
    EXPECT_EQ(second, 1);
    coordinator->acknowledgePendingSleepPowerChange("trigger_finished", std::string("B"));
    coordinator->acknowledgePendingSleepPowerChange("trigger_finished");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(fixture.reasons("sleep.power_change.acknowledged"),
              (std::vector<std::string>{"superseded", "timeout"}));
    EXPECT_EQ(fixture.sink->named("sleep.power_change.acknowledge_skipped").size(), 1u);

    // Without a time-out the acknowledger waits for its road.
    auto untimed = fixture.make(0s);
    int third = 0;
    untimed->installPendingSleepAcknowledger("C", [&third] { ++third; });
    test::processQueuedEvents();
    fixture.clock->advance(1h);
    EXPECT_TRUE(untimed->hasPendingSleepAcknowledger());
    EXPECT_EQ(third, 0);
}

TEST(BerthkeepSleepWakeCoordinator, ClearingMatchesTheExpectedID) {
    struct Case {
        const char* name;
        std::optional<std::string> expected;
        bool exact;
        bool cleared;
    };
    for (const Case& test : std::vector<Case>{{"same id", "A", true, true},
                                              {"other id", "B", true, false},
                                              {"no id, exact", std::nullopt, true, false},
                                              {"no id, loose", std::nullopt, false, true},
                                              {"other id, loose", "B", false, false}}) {
        SCOPED_TRACE(test.name);
        Fixture fixture;
        auto coordinator = fixture.make();
        int calls = 0;
        coordinator->installPendingSleepAcknowledger("A", [&calls] { ++calls; });
        coordinator->clearPendingSleepAcknowledger("wake", test.expected, test.exact);
        EXPECT_EQ(coordinator->hasPendingSleepAcknowledger(), !test.cleared);
        EXPECT_EQ(fixture.sink->named("sleep.power_change.cleared").size(), test.cleared ? 1u : 0u);
        EXPECT_EQ(fixture.sink->named("sleep.power_change.clear_skipped").size(),
                  test.cleared ? 0u : 1u);
        // A cleared acknowledger's time-out is gone with it.
        test::processQueuedEvents();
        fixture.clock->advance(30s);
        EXPECT_EQ(calls, test.cleared ? 0 : 1);
    }
}

TEST(BerthkeepSleepWakeCoordinator, CatchUpWaitsForWakeAndReplaysOnce) {
    Fixture fixture;
    auto coordinator = fixture.make();
    coordinator->triggerWakeRemountCatchUpIfNeeded(fixture.wake());
    test::processQueuedEvents();
    EXPECT_TRUE(fixture.record.started.empty());

    coordinator->beginWakeRemount(fixture.wake());
    test::processQueuedEvents();
    coordinator->triggerWakeRemountCatchUpIfNeeded(fixture.wake());
    coordinator->triggerWakeRemountCatchUpIfNeeded(fixture.wake());
    EXPECT_TRUE(coordinator->pendingWakeRemountReplay());
    fixture.clock->advance(10s);
    test::processQueuedEvents();
    ASSERT_EQ(fixture.record.started.size(), 2u);
    EXPECT_NE(fixture.record.started[0], fixture.record.started[1]);
    fixture.clock->advance(10s);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.record.ended.size(), 2u);
    EXPECT_FALSE(coordinator->isWakeRemountRunning());
    EXPECT_FALSE(coordinator->activeWakeRemountAttemptID());
}

TEST(BerthkeepSleepWakeCoordinator, AnOlderAttemptEndingLeavesTheNewerOneInCharge) {
    Fixture fixture;
    fixture.record.deaf = true;
    auto coordinator = fixture.make();
    coordinator->beginWakeRemount(fixture.wake());
    test::processQueuedEvents();
    fixture.clock->advance(5s);
    coordinator->beginWakeRemount(fixture.wake());
    test::processQueuedEvents();
    fixture.clock->advance(5s); // the first attempt ends late, the second still runs
    test::processQueuedEvents();
    ASSERT_EQ(fixture.record.started.size(), 2u);
    ASSERT_EQ(fixture.record.ended.size(), 1u);
    EXPECT_TRUE(coordinator->isWakeRemountRunning());
    EXPECT_EQ(coordinator->activeWakeRemountAttemptID(), fixture.record.started[1]);

    // So a sleep still reaches the newer attempt.
    coordinator->cancelWakeRemount("system_sleep");
    const auto cancelled = fixture.sink->named("sleep.wake.remount.cancel_requested");
    ASSERT_EQ(cancelled.size(), 1u);
    EXPECT_EQ(cancelled[0].metadata.at("remount_attempt_id"), fixture.record.started[1]);
    coordinator->cancelWakeRemount("system_sleep");
    EXPECT_EQ(fixture.sink->named("sleep.wake.remount.cancel_requested").size(), 1u);
    fixture.clock->advance(10s); // the deaf attempt ends, so nothing outlives the test
    test::processQueuedEvents();
}

TEST(BerthkeepSleepWakeCoordinator, ABurstOfVolumeChangesGivesOneLateRefresh) {
    for (const auto delay : {1000ms, 0ms}) {
        SCOPED_TRACE(delay.count());
        Fixture fixture;
        auto coordinator = fixture.make(25s, delay);
        int refreshes = 0;
        for (int call = 0; call < 3; ++call) {
            coordinator->scheduleVolumeReconciliationRefresh(
                [&refreshes] { return countRefresh(&refreshes); });
            test::processQueuedEvents();
            fixture.clock->advance(400ms);
        }
        fixture.clock->advance(599ms);
        EXPECT_EQ(refreshes, 0);
        fixture.clock->advance(1ms);
        EXPECT_EQ(refreshes, delay > 0ms ? 1 : 0);
    }
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Usage/UsagePollingCoordinator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <coroutine>
#include <stdexcept>

#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "BerthkeepShared/ManualClock.hpp"
#include "TaskDriver.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

class CapturingSink final : public BerthkeepLogSink {
public:
    void record(const BerthkeepLogEvent& event) override { events.push_back(event); }
    std::vector<BerthkeepLogEvent> named(const std::string& name) const {
        std::vector<BerthkeepLogEvent> found;
        std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                     [&name](const auto& event) { return event.name == name; });
        return found;
    }
    std::vector<BerthkeepLogEvent> events;
};

struct TickLog {
    int started = 0;
    int finished = 0;
};

// A tick that takes `duration` of clock time (none when zero).
QCoro::Task<void> tick(std::shared_ptr<TickLog> log, std::shared_ptr<ManualClock> clock,
                       Clock::Duration duration) {
    ++log->started;
    if (duration > Clock::Duration::zero()) {
        co_await clock->sleep(duration);
    }
    ++log->finished;
}

QCoro::Task<void> failingTick(std::shared_ptr<TickLog> log) {
    ++log->started;
    co_await std::suspend_never{};
    throw std::runtime_error("usage refresh failed");
}

class UsagePollingCoordinatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        BerthkeepStartupAudit::setOutputsForTesting(
            BerthkeepStartupAudit::Outputs{m_audit, nullptr, "test", true});
    }
    void TearDown() override {
        m_coordinator.sync(m_logger, disabled(ActivityDetectionMode::standard), {}, {}, {}, {});
        test::processQueuedEvents();
        BerthkeepStartupAudit::setOutputsForTesting(std::nullopt);
    }

    static UsagePollingDecision enabled(const std::string& interval = "3") {
        return {true, ActivityDetectionMode::standard, interval, {}};
    }
    static UsagePollingDecision disabled(ActivityDetectionMode mode) {
        return {false, mode, "10", {{"reason", "no_mounted_drives"}}};
    }

    void sync(const UsagePollingDecision& decision, Clock::Duration tickDuration = {}) {
        m_coordinator.sync(
            m_logger, decision,
            [intervals = m_intervals] {
                const auto next = intervals->front();
                if (intervals->size() > 1) {
                    intervals->erase(intervals->begin());
                }
                return next;
            },
            [](Clock::Duration interval) {
                return BerthkeepLogMetadata{
                    {"interval_ms",
                     std::to_string(
                         std::chrono::duration_cast<std::chrono::milliseconds>(interval).count())}};
            },
            [] {
                return BerthkeepLogMetadata{{"phase", "tick"}};
            },
            [ticks = m_ticks, clock = m_clock, tickDuration] {
                return tick(ticks, clock, tickDuration);
            });
        test::processQueuedEvents();
    }

    std::shared_ptr<ManualClock> m_clock = std::make_shared<ManualClock>();
    std::shared_ptr<CapturingSink> m_sink = std::make_shared<CapturingSink>();
    BerthkeepLogger m_logger{m_sink};
    std::shared_ptr<CaptureUnifiedLog> m_audit = std::make_shared<CaptureUnifiedLog>();
    std::shared_ptr<std::vector<Clock::Duration>> m_intervals =
        std::make_shared<std::vector<Clock::Duration>>(std::vector<Clock::Duration>{3s});
    std::shared_ptr<TickLog> m_ticks = std::make_shared<TickLog>();
    UsagePollingCoordinator m_coordinator{m_clock};
};

TEST_F(UsagePollingCoordinatorTest, FirstTickComesOneIntervalAfterTheStart) {
    sync(enabled());
    ASSERT_TRUE(m_coordinator.isPolling());
    const auto started = m_sink->named("inventory.usage_polling.started");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].level, BerthkeepLogLevel::notice);
    EXPECT_EQ(started[0].category, BerthkeepLogCategory::inventory);
    EXPECT_EQ(started[0].message, "Started drive usage polling");
    EXPECT_EQ(started[0].metadata, (BerthkeepLogMetadata{{"interval_seconds", "3"}}));
    const auto scheduled = m_sink->named("inventory.usage_polling.tick_scheduled");
    ASSERT_EQ(scheduled.size(), 1u);
    EXPECT_EQ(scheduled[0].metadata, (BerthkeepLogMetadata{{"interval_ms", "3000"}}));

    m_clock->advance(2999ms);
    EXPECT_EQ(m_ticks->started, 0);
    m_clock->advance(1ms);
    EXPECT_EQ(m_ticks->finished, 1);
    const auto tickStarted = m_sink->named("inventory.usage_polling.tick_started");
    ASSERT_EQ(tickStarted.size(), 1u);
    EXPECT_EQ(tickStarted[0].metadata, (BerthkeepLogMetadata{{"phase", "tick"}}));
    m_clock->advance(3s);
    EXPECT_EQ(m_ticks->finished, 2);

    const auto audit = m_audit->entries();
    ASSERT_EQ(audit.size(), 1u);
    EXPECT_NE(audit[0].message.find("Starting usage polling task"), std::string::npos);
    EXPECT_NE(audit[0].message.find("method=manageUsagePolling"), std::string::npos);
}

TEST_F(UsagePollingCoordinatorTest, SecondEnabledCallChangesNothing) {
    sync(enabled("3"));
    sync(enabled("10"));
    EXPECT_EQ(m_sink->named("inventory.usage_polling.started").size(), 1u);
    EXPECT_EQ(m_clock->sleeperCount(), 1u);
    m_clock->advance(3s);
    EXPECT_EQ(m_ticks->finished, 1);
}

TEST_F(UsagePollingCoordinatorTest, IntervalFollowsTheCallbackWithoutARestart) {
    *m_intervals = {3s, 10s};
    sync(enabled());
    m_clock->advance(3s);
    EXPECT_EQ(m_ticks->finished, 1);
    m_clock->advance(9s);
    EXPECT_EQ(m_ticks->finished, 1);
    m_clock->advance(1s);
    EXPECT_EQ(m_ticks->finished, 2);
    EXPECT_EQ(m_sink->named("inventory.usage_polling.started").size(), 1u);
}

TEST_F(UsagePollingCoordinatorTest, DisablingDuringTheSleepEndsWithoutATick) {
    sync(enabled());
    m_clock->advance(1s);
    sync(disabled(ActivityDetectionMode::standard));
    EXPECT_FALSE(m_coordinator.isPolling());
    EXPECT_EQ(m_clock->sleeperCount(), 0u);
    m_clock->advance(10s);
    EXPECT_EQ(m_ticks->started, 0);
    EXPECT_TRUE(m_sink->named("inventory.usage_polling.tick_started").empty());
    const auto stopped = m_sink->named("inventory.usage_polling.stopped");
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_EQ(stopped[0].message, "Stopped drive usage polling");
    EXPECT_TRUE(stopped[0].metadata.empty());
}

TEST_F(UsagePollingCoordinatorTest, DisabledWithoutATaskLogsOnlyTheDisabledLines) {
    sync(disabled(ActivityDetectionMode::standard));
    EXPECT_TRUE(m_sink->named("inventory.usage_polling.stopped").empty());
    auto disabledLines = m_sink->named("inventory.usage_polling.disabled");
    ASSERT_EQ(disabledLines.size(), 1u);
    EXPECT_EQ(disabledLines[0].level, BerthkeepLogLevel::debug);
    EXPECT_EQ(disabledLines[0].message, "Drive usage polling is disabled for the current state");
    EXPECT_EQ(disabledLines[0].metadata, (BerthkeepLogMetadata{{"reason", "no_mounted_drives"}}));
    EXPECT_TRUE(m_audit->entries().empty());

    sync(disabled(ActivityDetectionMode::coreOnly));
    EXPECT_EQ(m_sink->named("inventory.usage_polling.disabled").size(), 2u);
    const auto audit = m_audit->entries();
    ASSERT_EQ(audit.size(), 1u);
    EXPECT_NE(audit[0].message.find("Usage polling remains disabled in core-only mode"),
              std::string::npos);
    EXPECT_NE(audit[0].message.find("mode=core_only"), std::string::npos);
    EXPECT_NE(audit[0].message.find("phase=background_work"), std::string::npos);
}

TEST_F(UsagePollingCoordinatorTest, RestartAfterStopRunsOneFreshTask) {
    sync(enabled());
    sync(disabled(ActivityDetectionMode::standard));
    sync(enabled());
    EXPECT_EQ(m_sink->named("inventory.usage_polling.started").size(), 2u);
    EXPECT_EQ(m_clock->sleeperCount(), 1u);
    m_clock->advance(3s);
    EXPECT_EQ(m_ticks->finished, 1);
}

TEST_F(UsagePollingCoordinatorTest, TicksNeverOverlapAndACancelledTickFinishes) {
    sync(enabled(), 2s);
    m_clock->advance(3s); // tick starts, needs 2 s
    EXPECT_EQ(m_ticks->started, 1);
    m_clock->advance(2s); // tick ends; the next sleep starts only now
    EXPECT_EQ(m_ticks->finished, 1);
    m_clock->advance(2999ms);
    EXPECT_EQ(m_ticks->started, 1);
    m_clock->advance(1ms); // second tick starts at 8 s
    EXPECT_EQ(m_ticks->started, 2);

    sync(disabled(ActivityDetectionMode::standard));
    m_clock->advance(2s);
    EXPECT_EQ(m_ticks->finished, 2); // not interrupted
    test::processQueuedEvents();
    EXPECT_EQ(m_clock->sleeperCount(), 0u);
    EXPECT_EQ(m_sink->named("inventory.usage_polling.tick_scheduled").size(), 2u);
}

TEST_F(UsagePollingCoordinatorTest, AStrayTickFailureDoesNotEndPolling) {
    m_coordinator.sync(
        m_logger, enabled(), [] { return Clock::Duration(3s); },
        [](Clock::Duration) { return BerthkeepLogMetadata{}; },
        [] { return BerthkeepLogMetadata{}; }, [ticks = m_ticks] { return failingTick(ticks); });
    test::processQueuedEvents();
    m_clock->advance(3s);
    m_clock->advance(3s);
    EXPECT_EQ(m_ticks->started, 2);
    EXPECT_EQ(m_clock->sleeperCount(), 1u);
}

} // namespace
} // namespace berthkeep

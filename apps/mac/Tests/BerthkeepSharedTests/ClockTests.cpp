#include "BerthkeepShared/Clock.hpp"
#include "BerthkeepShared/ManualClock.hpp"

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "TaskDriver.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

using test::runTask;

QCoro::Task<void> sleepAndRecord(std::shared_ptr<Clock> clock, Clock::Duration duration,
                                 std::string name, std::shared_ptr<std::vector<std::string>> log,
                                 std::shared_ptr<CancelToken> token = {}) {
    const bool elapsed = co_await clock->sleep(duration, token);
    log->push_back(name + (elapsed ? "" : " cancelled") + " at " +
                   std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      clock->now().time_since_epoch())
                                      .count() %
                                  100000));
}

TEST(ManualClock, TimeMovesOnlyWhenAdvanced) {
    ManualClock clock;
    const auto start = clock.now();
    EXPECT_EQ(clock.now(), start);
    clock.advance(1500ms);
    EXPECT_EQ(clock.now() - start, 1500ms);
    clock.advance(-5s); // never backwards
    EXPECT_EQ(clock.now() - start, 1500ms);
}

TEST(ManualClock, WakesDueSleepersInDeadlineThenStartOrder) {
    auto clock = std::make_shared<ManualClock>(Clock::TimePoint{});
    auto log = std::make_shared<std::vector<std::string>>();
    sleepAndRecord(clock, 300ms, "c", log);
    sleepAndRecord(clock, 100ms, "a", log);
    sleepAndRecord(clock, 300ms, "d", log);
    sleepAndRecord(clock, 200ms, "b", log);
    sleepAndRecord(clock, 1s, "late", log);
    EXPECT_EQ(clock->sleeperCount(), 5u);
    EXPECT_EQ(clock->nextDeadline(), Clock::TimePoint{} + 100ms);

    clock->advance(99ms);
    EXPECT_TRUE(log->empty());
    clock->advance(201ms);
    // Each sleeper sees now() at its own deadline.
    const std::vector<std::string> expected = {"a at 100", "b at 200", "c at 300", "d at 300"};
    EXPECT_EQ(*log, expected);
    EXPECT_EQ(clock->sleeperCount(), 1u);
    EXPECT_EQ(clock->now(), Clock::TimePoint{} + 300ms);
    clock->advance(1s); // nothing left suspended
}

QCoro::Task<void> tickThreeTimes(std::shared_ptr<Clock> clock,
                                 std::shared_ptr<std::vector<std::string>> log) {
    for (int i = 0; i < 3; ++i) {
        co_await clock->sleep(100ms);
        log->push_back("tick at " +
                       std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          clock->now().time_since_epoch())
                                          .count()));
    }
}

TEST(ManualClock, SleeperThatSleepsAgainWithinTheStepWakesInTheSameAdvance) {
    auto clock = std::make_shared<ManualClock>(Clock::TimePoint{});
    auto log = std::make_shared<std::vector<std::string>>();
    tickThreeTimes(clock, log);
    sleepAndRecord(clock, 250ms, "other", log);
    clock->advance(1s);
    const std::vector<std::string> expected = {"tick at 100", "tick at 200", "other at 250",
                                               "tick at 300"};
    EXPECT_EQ(*log, expected);
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

TEST(ManualClock, CancelledSleepEndsAtOnceAndLeavesTheQueue) {
    auto clock = std::make_shared<ManualClock>(Clock::TimePoint{});
    auto log = std::make_shared<std::vector<std::string>>();
    auto token = CancelToken::make();
    sleepAndRecord(clock, 1s, "s", log, token);
    EXPECT_EQ(clock->sleeperCount(), 1u);
    token->cancel();
    const std::vector<std::string> expected = {"s cancelled at 0"};
    EXPECT_EQ(*log, expected);
    EXPECT_EQ(clock->sleeperCount(), 0u);
    clock->advance(2s);
    EXPECT_EQ(log->size(), 1u);
}

TEST(ManualClock, AlreadyCancelledAndZeroSleepsReturnWithoutAdvance) {
    auto clock = std::make_shared<ManualClock>();
    auto token = CancelToken::make();
    token->cancel();
    EXPECT_FALSE(runTask(clock->sleep(1s, token)));
    EXPECT_TRUE(runTask(clock->sleep(0s)));
    EXPECT_TRUE(runTask(clock->sleep(-1s)));
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

TEST(ManualClock, CancelFromAnotherThreadResumesOnTheMainThread) {
    auto clock = std::make_shared<ManualClock>();
    auto token = CancelToken::make();
    auto sleep = clock->sleep(10s, token);
    std::thread canceller([token] { token->cancel(); });
    canceller.join();
    EXPECT_FALSE(runTask(std::move(sleep)));
}

TEST(LiveClock, ReadsTheClockThatCountsDuringSystemSleep) {
    const auto bootTime = [] {
        timespec now{};
        ::clock_gettime(CLOCK_BOOTTIME, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    };
    const auto before = bootTime();
    const auto now = LiveClock::shared()->now().time_since_epoch();
    const auto after = bootTime();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

// Zero and negative sleeps too return through the event loop.
TEST(LiveClock, SleepEndsAtItsDeadlineAndNeverBefore) {
    auto clock = LiveClock::shared();
    for (const Clock::Duration duration :
         {Clock::Duration(-1s), Clock::Duration(0ms), Clock::Duration(3ms), Clock::Duration(30ms),
          Clock::Duration(150ms)}) {
        const auto wanted = std::max(duration, Clock::Duration::zero());
        const auto before = clock->now();
        auto sleep = clock->sleep(duration);
        EXPECT_FALSE(sleep.isReady()) << duration.count();
        EXPECT_TRUE(runTask(std::move(sleep)));
        const auto slept = clock->now() - before;
        EXPECT_GE(slept, wanted) << duration.count();
        EXPECT_LT(slept, wanted + 500ms) << duration.count();
    }
}

TEST(LiveClock, EndlessSleepStillEndsOnCancel) {
    auto clock = LiveClock::shared();
    auto token = CancelToken::make();
    auto sleep = clock->sleep(Clock::Duration::max(), token);
    std::thread canceller([token] {
        std::this_thread::sleep_for(20ms);
        token->cancel();
    });
    EXPECT_FALSE(runTask(std::move(sleep)));
    canceller.join();
}

TEST(LiveClock, CancelWakesTheSleeperEarly) {
    auto clock = LiveClock::shared();
    auto token = CancelToken::make();
    const auto before = clock->now();
    auto sleep = clock->sleep(10s, token);
    std::thread canceller([token] {
        std::this_thread::sleep_for(20ms);
        token->cancel();
    });
    EXPECT_FALSE(runTask(std::move(sleep)));
    canceller.join();
    EXPECT_LT(clock->now() - before, 2s);
}

} // namespace
} // namespace berthkeep

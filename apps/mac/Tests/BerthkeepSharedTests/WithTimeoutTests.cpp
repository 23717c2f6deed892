#include "BerthkeepShared/ManualClock.hpp"
#include "BerthkeepShared/WithTimeout.hpp"

#include <memory>

#include "TaskDriver.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

using test::runTask;

struct Trace {
    bool operationEnded = false;
    bool sawCancel = false;
};

// An operation that takes `duration` on the clock; it honours its token unless
// told to ignore it, and then runs to its end regardless.
QCoro::Task<int> slowOperation(std::shared_ptr<Clock> clock, Clock::Duration duration, bool honourCancel,
                               std::shared_ptr<Trace> trace, std::shared_ptr<CancelToken> token) {
    const auto sleepToken = honourCancel ? token : nullptr; // not inside the co_await (g++ 12)
    const bool elapsed = co_await clock->sleep(duration, sleepToken);
    trace->sawCancel = token->isCancelled();
    trace->operationEnded = true;
    if (!elapsed) {
        throw CancellationError();
    }
    co_return 5;
}

struct TimeoutCase {
    const char* name;
    Clock::Duration operationTakes;
    bool honourCancel;
    std::optional<int> expected;
    Clock::Duration returnsAt;
};

QCoro::Task<std::optional<int>> race(std::shared_ptr<ManualClock> clock, TimeoutCase c, std::shared_ptr<Trace> trace) {
    // Lambdas go into locals: g++ 12 destroys a lambda temporary in a co_await
    // full-expression twice.
    auto operation = [clock, c, trace](std::shared_ptr<CancelToken> token) {
        return slowOperation(clock, c.operationTakes, c.honourCancel, trace, token);
    };
    co_return co_await withTimeout(operation, 1s, clock);
}

TEST(WithTimeout, BothSidesHaveEndedWhenItReturns) {
    const TimeoutCase cases[] = {
        {"operation first", 400ms, true, 5, 400ms},
        {"time first, operation stops on cancel", 3s, true, std::nullopt, 1s},
        {"time first, operation ignores cancel and is awaited", 3s, false, std::nullopt, 3s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto clock = std::make_shared<ManualClock>(Clock::TimePoint{});
        auto trace = std::make_shared<Trace>();
        auto task = race(clock, c, trace);
        clock->advance(c.returnsAt - 1ms);
        EXPECT_FALSE(task.isReady());
        clock->advance(1ms);
        ASSERT_TRUE(task.isReady());
        EXPECT_EQ(runTask(std::move(task)), c.expected);
        EXPECT_TRUE(trace->operationEnded);
        EXPECT_EQ(trace->sawCancel, !c.expected.has_value());
        EXPECT_EQ(clock->sleeperCount(), 0u); // the timer is gone too
    }
}

QCoro::Task<int> failSoon(std::shared_ptr<Clock> clock, std::shared_ptr<CancelToken> token) {
    co_await clock->sleep(10ms, token);
    throw std::runtime_error("operation failed");
}

QCoro::Task<std::optional<int>> raceFailing(std::shared_ptr<ManualClock> clock) {
    auto operation = [clock](std::shared_ptr<CancelToken> token) { return failSoon(clock, token); };
    co_return co_await withTimeout(operation, 1s, clock);
}

TEST(WithTimeout, OperationErrorInTimeIsRethrown) {
    auto clock = std::make_shared<ManualClock>();
    auto task = raceFailing(clock);
    clock->advance(10ms);
    EXPECT_THROW(runTask(std::move(task)), std::runtime_error);
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

QCoro::Task<void> quick(std::shared_ptr<CancelToken>) {
    co_return;
}

QCoro::Task<void> hang(std::shared_ptr<Clock> clock, std::shared_ptr<CancelToken> token) {
    co_await clock->sleep(1h, token);
}

QCoro::Task<bool> raceVoid(std::shared_ptr<ManualClock> clock, bool hangs, std::shared_ptr<CancelToken> cancel) {
    if (hangs) {
        auto operation = [clock](std::shared_ptr<CancelToken> token) { return hang(clock, token); };
        co_return co_await withTimeout(operation, 1s, clock, cancel);
    }
    auto operation = [](std::shared_ptr<CancelToken> token) { return quick(token); };
    co_return co_await withTimeout(operation, 1s, clock, cancel);
}

TEST(WithTimeout, VoidOperationsReportWhetherTheyFinishedInTime) {
    auto clock = std::make_shared<ManualClock>();
    EXPECT_TRUE(runTask(raceVoid(clock, false, nullptr))); // finished synchronously
    auto timedOut = raceVoid(clock, true, nullptr);
    clock->advance(1s);
    EXPECT_FALSE(runTask(std::move(timedOut)));
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

TEST(WithTimeout, CallerCancellationReachesBothSides) {
    auto clock = std::make_shared<ManualClock>();
    auto cancel = CancelToken::make();
    auto task = raceVoid(clock, true, cancel);
    EXPECT_EQ(clock->sleeperCount(), 2u);
    cancel->cancel();
    // The operation ended (cut short) before the time ran out: not a time-out.
    EXPECT_TRUE(runTask(std::move(task)));
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

TEST(WithTimeout, WorksOnTheLiveClock) {
    auto clock = LiveClock::shared();
    auto trace = std::make_shared<Trace>();
    auto task = withTimeout(
        [clock, trace](std::shared_ptr<CancelToken> token) { return slowOperation(clock, 10s, true, trace, token); },
        20ms, clock);
    EXPECT_EQ(runTask(std::move(task)), std::nullopt);
    EXPECT_TRUE(trace->operationEnded);
}

} // namespace
} // namespace berthkeep

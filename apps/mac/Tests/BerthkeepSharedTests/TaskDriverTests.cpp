#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/ManualClock.hpp"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "TaskDriver.hpp"

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

using test::runTask;

QCoro::Task<int> failing(std::shared_ptr<Clock> clock) {
    co_await clock->sleep(1ms);
    throw std::invalid_argument("bad disk");
}

TEST(TaskDriver, RethrowsTheTasksExceptionInsteadOfHanging) {
    EXPECT_THROW(runTask(failing(LiveClock::shared())), std::invalid_argument);
}

TEST(TaskDriver, WatchdogReportsAHungTask) {
    auto clock = std::make_shared<ManualClock>();
    EXPECT_NONFATAL_FAILURE(
        {
            try {
                runTask(clock->sleep(1h), 20ms);
            } catch (const test::TaskWatchdogExpired&) {
            }
        },
        "did not finish within 20 ms");
    // Let the abandoned task end, so its frames are freed.
    clock->advance(1h);
    test::processQueuedEvents();
}

QCoro::Task<void> assertsInside(int value, std::shared_ptr<bool> continued) {
    co_await LiveClock::shared()->sleep(0ms);
    SCOPED_TRACE("value is off");
    CO_ASSERT_EQ(value, 3);
    *continued = true;
}

TEST(TaskDriver, CoroutineAssertionStopsTheCoroutine) {
    auto continued = std::make_shared<bool>(false);
    EXPECT_FATAL_FAILURE(
        {
            auto stopped = std::make_shared<bool>(false);
            try {
                runTask(assertsInside(4, stopped));
            } catch (const test::CoroutineAssertionFailure&) {
            }
        },
        "value is off");
    runTask(assertsInside(3, continued));
    EXPECT_TRUE(*continued);
}

} // namespace
} // namespace berthkeep

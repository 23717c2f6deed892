#include "BerthkeepShared/Completion.hpp"
#include "BerthkeepShared/ManualClock.hpp"
#include "BerthkeepShared/SharedTask.hpp"

#include <memory>
#include <thread>
#include <vector>

#include "TaskDriver.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

using test::runTask;

QCoro::Task<std::string> produce(std::shared_ptr<Clock> clock, std::shared_ptr<int> runs, bool fail) {
    ++*runs;
    co_await clock->sleep(1s);
    if (fail) {
        throw std::runtime_error("refresh failed");
    }
    co_return std::string("snapshot ") + std::to_string(*runs);
}

QCoro::Task<void> join(SharedTask<std::string> shared, std::shared_ptr<std::vector<std::string>> results) {
    try {
        results->push_back(co_await shared);
    } catch (const std::exception& error) {
        results->push_back(std::string("error: ") + error.what());
    }
}

TEST(SharedTask, EveryJoinerGetsTheOneRunsResult) {
    auto clock = std::make_shared<ManualClock>();
    auto runs = std::make_shared<int>(0);
    auto results = std::make_shared<std::vector<std::string>>();
    SharedTask<std::string> refresh(produce(clock, runs, false));
    join(refresh, results);
    join(refresh, results);
    join(refresh, results);
    EXPECT_FALSE(refresh.isDone());
    clock->advance(1s);
    EXPECT_TRUE(refresh.isDone());
    join(refresh, results); // joins after the end get the same value at once
    const std::vector<std::string> expected(4, "snapshot 1");
    EXPECT_EQ(*results, expected);
    EXPECT_EQ(*runs, 1);
}

TEST(SharedTask, EveryJoinerGetsTheException) {
    auto clock = std::make_shared<ManualClock>();
    auto runs = std::make_shared<int>(0);
    auto results = std::make_shared<std::vector<std::string>>();
    SharedTask<std::string> refresh(produce(clock, runs, true));
    join(refresh, results);
    join(refresh, results);
    clock->advance(1s);
    join(refresh, results);
    const std::vector<std::string> expected(3, "error: refresh failed");
    EXPECT_EQ(*results, expected);
}

TEST(SharedTask, ProducerRunsOnWhenAllHandlesAreDropped) {
    auto clock = std::make_shared<ManualClock>();
    auto runs = std::make_shared<int>(0);
    { SharedTask<std::string> dropped(produce(clock, runs, false)); }
    EXPECT_EQ(clock->sleeperCount(), 1u);
    clock->advance(1s);
    EXPECT_EQ(clock->sleeperCount(), 0u);
    EXPECT_FALSE(SharedTask<int>().isValid());
}

QCoro::Task<void> awaitVoid(Completion<void> completion, std::shared_ptr<int> resumed) {
    co_await completion;
    ++*resumed;
}

TEST(Completion, FirstSettlementWinsAndWaitersResumeInsideItOnTheMainThread) {
    Completion<void> completion;
    auto resumed = std::make_shared<int>(0);
    awaitVoid(completion, resumed);
    awaitVoid(completion, resumed);
    EXPECT_EQ(completion.waiterCount(), 2u);
    EXPECT_TRUE(completion.resolve());
    EXPECT_EQ(*resumed, 2);
    EXPECT_FALSE(completion.fail(std::make_exception_ptr(std::runtime_error("late"))));
    EXPECT_NO_THROW(runTask(awaitVoid(completion, resumed)));
}

QCoro::Task<std::unique_ptr<int>> awaitMoveOnly(Completion<std::unique_ptr<int>> completion) {
    co_return co_await completion;
}

TEST(Completion, SettledFromAnotherThreadResumesOnTheMainThread) {
    Completion<std::unique_ptr<int>> completion;
    auto task = awaitMoveOnly(completion);
    std::thread worker([completion] { completion.resolve(std::make_unique<int>(7)); });
    worker.join();
    EXPECT_FALSE(task.isReady()); // the resume waits for the main loop
    const auto value = runTask(std::move(task));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, 7);
}

} // namespace
} // namespace berthkeep

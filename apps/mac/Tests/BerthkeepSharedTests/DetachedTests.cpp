#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepShared/ProcessRunnerAsync.hpp"

#include <QThread>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "TaskDriver.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

using test::runTask;

struct Threads {
    QThread* work = nullptr;
    QThread* resumed = nullptr;
};

QCoro::Task<int> detachedSum(std::shared_ptr<Threads> threads, std::shared_ptr<Executor> executor) {
    // The lambda goes into a local: g++ 12 destroys a lambda temporary in a
    // co_await full-expression twice.
    auto work = [threads] {
        threads->work = QThread::currentThread();
        return 20 + 22;
    };
    const int value = co_await runDetached(work, executor);
    threads->resumed = QThread::currentThread();
    co_return value;
}

TEST(Detached, RunsOnThePoolAndResumesOnTheMainThread) {
    auto threads = std::make_shared<Threads>();
    EXPECT_EQ(runTask(detachedSum(threads, nullptr)), 42);
    EXPECT_NE(threads->work, QThread::currentThread());
    EXPECT_EQ(threads->resumed, QThread::currentThread());
}

TEST(Detached, InlineExecutorRunsAtOnceOnTheCallingThread) {
    auto threads = std::make_shared<Threads>();
    auto task = detachedSum(threads, std::make_shared<InlineExecutor>());
    EXPECT_TRUE(task.isReady());
    EXPECT_EQ(runTask(std::move(task)), 42);
    EXPECT_EQ(threads->work, QThread::currentThread());
}

TEST(Detached, ExceptionOfTheWorkReachesTheAwaiter) {
    auto task = runDetached([]() -> int { throw std::out_of_range("no such volume"); });
    try {
        runTask(std::move(task));
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "no such volume");
    }
    bool ran = false;
    runTask(runDetached([&ran] { ran = true; }, std::make_shared<InlineExecutor>()));
    EXPECT_TRUE(ran);
}

// Two hops on the pool, the second started only once the first is back on the
// main thread, as a refresh follows a failed eject.
QCoro::Task<void> twoHops(std::shared_ptr<std::atomic<int>> steps) {
    auto slow = [] {
        std::this_thread::sleep_for(150ms);
    };
    co_await runDetached(slow);
    ++*steps;
    co_await runDetached(slow);
    ++*steps;
}

TEST(Detached, FinishingWaitsForWorkAndWhatItStartsOnceBack) {
    auto steps = std::make_shared<std::atomic<int>>(0);
    auto running = twoHops(steps);
    EXPECT_TRUE(finishDetachedWork(5s));
    EXPECT_EQ(*steps, 2);
    EXPECT_TRUE(running.isReady());

    // Work that cannot end in time is reported, not waited for past the limit.
    std::promise<void> release;
    auto blocked = [gate = release.get_future().share()] {
        gate.wait();
    };
    auto task = runDetached(blocked);
    EXPECT_FALSE(finishDetachedWork(100ms));
    EXPECT_FALSE(task.isReady());
    release.set_value();
    EXPECT_TRUE(finishDetachedWork(5s));
    EXPECT_TRUE(task.isReady());
}

// An executor of its own thread, late to start, as a serial work queue is.
class LateThreadExecutor final : public Executor {
public:
    void execute(std::function<void()> work) override {
        std::thread([work = countedUntilRun(std::move(work))]() mutable {
            std::this_thread::sleep_for(150ms);
            work();
        }).detach();
    }
};

TEST(Detached, FinishingWaitsForCountedWorkOfAnyExecutor) {
    bool ran = false;
    auto work = [&ran] {
        ran = true;
    };
    auto task = runDetached(work, std::make_shared<LateThreadExecutor>());
    EXPECT_TRUE(finishDetachedWork(5s));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(task.isReady());

    // Work dropped unrun is no longer waited for.
    countedUntilRun([] {});
    EXPECT_TRUE(finishDetachedWork(100ms));
}

TEST(ProcessRunnerAsync, RunsTheChildOffTheMainThread) {
    ProcessRequest request;
    request.executablePath = "/bin/sh";
    request.arguments = {"-c", "read line; echo \"got $line\""};
    request.standardInput = "hello\n";
    request.timeout = 2s;
    const auto result = runTask(runProcessAsync(request));
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, "got hello\n");

    request.executablePath = "/nonexistent/berthkeep-tool";
    EXPECT_THROW(runTask(runProcessAsync(request)), ProcessLaunchError);
}

} // namespace
} // namespace berthkeep

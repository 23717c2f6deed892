#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepShared/ProcessRunnerAsync.hpp"

#include <QThread>

#include <memory>

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

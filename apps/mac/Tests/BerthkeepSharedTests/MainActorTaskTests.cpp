#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/ManualClock.hpp"

#include <QPointer>
#include <QThread>
#include <QtGlobal>

#include <thread>
#include <vector>

#include "TaskDriver.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

using test::processQueuedEvents;
using test::runTask;

QCoro::Task<int> recordSteps(std::shared_ptr<std::vector<std::string>> log, std::shared_ptr<Clock> clock) {
    log->push_back("started");
    co_await clock->sleep(1s);
    log->push_back("woke");
    co_return 42;
}

TEST(MainActorTask, StartsOnALaterTurnOfTheLoopNotInsideTheCall) {
    auto log = std::make_shared<std::vector<std::string>>();
    auto clock = std::make_shared<ManualClock>();
    auto handle = startMainActorTask([log, clock] { return recordSteps(log, clock); });
    log->push_back("after start");
    processQueuedEvents();
    EXPECT_EQ(clock->sleeperCount(), 1u);
    clock->advance(1s);
    const std::vector<std::string> expected = {"after start", "started", "woke"};
    EXPECT_EQ(*log, expected);
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(runTask(handle.task()), 42);
}

QCoro::Task<void> throwAfterSleep(std::shared_ptr<Clock> clock, std::shared_ptr<bool> reached) {
    co_await clock->sleep(10ms);
    *reached = true;
    throw std::runtime_error("detached failure");
}

QtMessageHandler previousHandler = nullptr;
std::vector<QString>* capturedWarnings = nullptr;

void captureWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg && capturedWarnings) {
        capturedWarnings->push_back(message);
    }
}

struct WarningCapture {
    std::vector<QString> warnings;
    WarningCapture() {
        capturedWarnings = &warnings;
        previousHandler = qInstallMessageHandler(captureWarnings);
    }
    ~WarningCapture() {
        qInstallMessageHandler(previousHandler);
        capturedWarnings = nullptr;
    }
};

TEST(MainActorTask, ExceptionNobodyAwaitsIsLoggedAndDoesNotCrash) {
    WarningCapture capture;
    auto clock = std::make_shared<ManualClock>();
    auto reached = std::make_shared<bool>(false);
    startMainActorTask([clock, reached] { return throwAfterSleep(clock, reached); }, "volume watcher");
    processQueuedEvents();
    clock->advance(10ms);
    EXPECT_TRUE(*reached);
    ASSERT_EQ(capture.warnings.size(), 1u);
    EXPECT_TRUE(capture.warnings[0].contains("volume watcher")) << capture.warnings[0].toStdString();
    EXPECT_TRUE(capture.warnings[0].contains("detached failure")) << capture.warnings[0].toStdString();
}

QCoro::Task<void> throwCancelled() {
    throw CancellationError();
    co_return;
}

TEST(MainActorTask, FactoryThatThrowsAndCancellationEndAreHandled) {
    WarningCapture capture;
    startMainActorTask([]() -> QCoro::Task<void> { throw std::logic_error("factory failed"); });
    startMainActorTask([] { return throwCancelled(); });
    processQueuedEvents();
    ASSERT_EQ(capture.warnings.size(), 1u); // the cancellation is not a fault
    EXPECT_TRUE(capture.warnings[0].contains("factory failed"));
}

TEST(MainActorTask, AwaitedExceptionReachesTheAwaiterAndIsNotLogged) {
    WarningCapture capture;
    auto clock = std::make_shared<ManualClock>();
    auto reached = std::make_shared<bool>(false);
    auto handle = startMainActorTask([clock, reached] { return throwAfterSleep(clock, reached); });
    auto awaiting = handle.task();
    processQueuedEvents();
    clock->advance(10ms);
    EXPECT_THROW(runTask(std::move(awaiting)), std::runtime_error);
    EXPECT_TRUE(capture.warnings.empty());
}

QCoro::Task<void> noteThread(std::shared_ptr<QThread*> ranOn) {
    *ranOn = QThread::currentThread();
    co_return;
}

TEST(MainActorTask, StartedFromAWorkerThreadRunsOnTheMainThread) {
    auto ranOn = std::make_shared<QThread*>(nullptr);
    std::thread worker([ranOn] {
        startMainActorTask([ranOn] { return noteThread(ranOn); });
    });
    worker.join();
    EXPECT_TRUE(test::processEventsUntil([ranOn] { return *ranOn != nullptr; }));
    EXPECT_EQ(*ranOn, QThread::currentThread());
}

QCoro::Task<void> countWhileAlive(QPointer<QObject> owner, std::shared_ptr<Clock> clock, std::shared_ptr<int> ticks) {
    while (true) {
        co_await clock->sleep(1s);
        if (!owner) {
            co_return; // the owner went away while we slept
        }
        ++*ticks;
    }
}

TEST(MainActorTask, WeaklyHeldOwnerEndsTheLoopWhenItGoes) {
    auto clock = std::make_shared<ManualClock>();
    auto ticks = std::make_shared<int>(0);
    auto* owner = new QObject();
    auto handle = startMainActorTask([owner = QPointer<QObject>(owner), clock, ticks] {
        return countWhileAlive(owner, clock, ticks);
    });
    processQueuedEvents();
    clock->advance(3s);
    EXPECT_EQ(*ticks, 3);
    delete owner;
    clock->advance(1s);
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

} // namespace
} // namespace berthkeep

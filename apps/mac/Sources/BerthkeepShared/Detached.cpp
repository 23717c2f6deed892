#include "BerthkeepShared/Detached.hpp"

#include <condition_variable>
#include <mutex>

#include <QCoreApplication>
#include <QEvent>
#include <QThreadPool>

namespace berthkeep {

ThreadPoolExecutor::ThreadPoolExecutor(QThreadPool* pool)
    : m_pool(pool ? pool : QThreadPool::globalInstance()) {}

void ThreadPoolExecutor::execute(std::function<void()> work) {
    m_pool->start(countedUntilRun(std::move(work)));
}

std::shared_ptr<Executor> defaultExecutor() {
    static const auto executor = std::make_shared<ThreadPoolExecutor>();
    return executor;
}

namespace {

// Work that has been handed to a thread and not yet run to its end.
struct WorkUnderWay {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t count = 0;
};

WorkUnderWay& workUnderWay() {
    // Never destroyed: pool threads may finish after static destruction began.
    static auto* const state = new WorkUnderWay;
    return *state;
}

// Counts one piece of work from its creation to its destruction.
class WorkCount {
public:
    WorkCount() {
        std::lock_guard lock(workUnderWay().mutex);
        ++workUnderWay().count;
    }
    ~WorkCount() {
        {
            std::lock_guard lock(workUnderWay().mutex);
            --workUnderWay().count;
        }
        workUnderWay().changed.notify_all();
    }
    WorkCount(const WorkCount&) = delete;
    WorkCount& operator=(const WorkCount&) = delete;
};

// True when nothing is under way, waiting up to `slice` for that.
bool waitForNoWork(std::chrono::milliseconds slice) {
    std::unique_lock lock(workUnderWay().mutex);
    return workUnderWay().changed.wait_for(lock, slice, [] { return workUnderWay().count == 0; });
}

} // namespace

std::function<void()> countedUntilRun(std::function<void()> work) {
    // The count ends after the work: what it hands back is posted by then.
    return [work = std::move(work), count = std::make_shared<WorkCount>()]() mutable {
        work();
        count.reset();
    };
}

bool finishDetachedWork(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Resumed work may start more (a refresh after a failed eject), and each
    // hand-back is one more posted event: look again after each slice, until
    // two slices in a row find nothing under way. Only posted events run here,
    // no timers or sockets: a quitting program hears no more of the world.
    constexpr std::chrono::milliseconds slice{10};
    constexpr int passesPerSlice = 10;
    int quietSlices = 0;
    while (quietSlices < 2) {
        const bool idleBefore = waitForNoWork(slice);
        for (int pass = 0; pass < passesPerSlice; ++pass) {
            QCoreApplication::sendPostedEvents();
            // Outside any event loop deleteLater() is not honoured on its own.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        quietSlices =
            idleBefore && waitForNoWork(std::chrono::milliseconds(0)) ? quietSlices + 1 : 0;
        if (quietSlices < 2 && std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

} // namespace berthkeep

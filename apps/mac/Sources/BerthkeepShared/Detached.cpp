#include "BerthkeepShared/Detached.hpp"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QThreadPool>

namespace berthkeep {

ThreadPoolExecutor::ThreadPoolExecutor(QThreadPool* pool)
    : m_pool(pool ? pool : QThreadPool::globalInstance()) {}

void ThreadPoolExecutor::execute(std::function<void()> work) {
    m_pool->start(std::move(work));
}

std::shared_ptr<Executor> defaultExecutor() {
    static const auto executor = std::make_shared<ThreadPoolExecutor>();
    return executor;
}

bool finishDetachedWork(std::chrono::milliseconds limit) {
    QThreadPool* pool = QThreadPool::globalInstance();
    const QDeadlineTimer deadline(limit);
    // Resumed work may start more (a refresh after a failed eject), and each
    // hand-back is one more posted event: the pool is asked again after each
    // slice, until two slices in a row start nothing new. Only posted events
    // run here, no timers or sockets: a quitting program hears no more of the
    // world.
    constexpr int waitSliceMs = 10;
    constexpr int passesPerSlice = 10;
    int quietSlices = 0;
    while (quietSlices < 2) {
        const bool idleBefore = pool->waitForDone(waitSliceMs);
        for (int pass = 0; pass < passesPerSlice; ++pass) {
            QCoreApplication::sendPostedEvents();
            // Outside any event loop deleteLater() is not honoured on its own.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        quietSlices = idleBefore && pool->waitForDone(0) ? quietSlices + 1 : 0;
        if (quietSlices < 2 && deadline.hasExpired()) {
            return false;
        }
    }
    return true;
}

} // namespace berthkeep

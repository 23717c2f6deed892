#include "TaskDriver.hpp"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace berthkeep::test::detail {

bool spinUntilFinished(const std::shared_ptr<DriverLoop>& state, std::chrono::milliseconds watchdog) {
    if (state->finished) {
        return true;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(watchdog);
    state->loop = &loop;
    loop.exec();
    state->loop = nullptr;
    return state->finished;
}

void reportWatchdog(std::chrono::milliseconds watchdog) {
    ADD_FAILURE() << "the task did not finish within " << watchdog.count() << " ms";
}

void markFinished(DriverLoop& state) {
    state.finished = true;
    if (state.loop) {
        state.loop->quit();
    }
}

} // namespace berthkeep::test::detail

namespace berthkeep::test {

void processQueuedEvents() {
    // Queued work may queue more; a bound keeps a self-requeueing task from
    // hanging the test.
    for (int round = 0; round < 100; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void processEventsFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool processEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    if (condition()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition()) {
            loop.quit();
        }
    });
    poll.start(std::chrono::milliseconds(5));
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

} // namespace berthkeep::test

#include "BerthkeepShared/Clock.hpp"

#include <QObject>
#include <QTimer>

#include "BerthkeepShared/Completion.hpp"

namespace berthkeep {

namespace {

// A free coroutine: it uses nothing of the clock after its first suspension.
QCoro::Task<bool> sleepOnTimer(Clock::Duration duration, std::shared_ptr<CancelToken> token) {
    if (token && token->isCancelled()) {
        co_return false;
    }
    Completion<bool> elapsed;
    // Deleted later, not in the frame: the frame may end inside the timer's own
    // timeout signal, and a QObject must not be destroyed while it emits.
    auto* timer = new QTimer();
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, [elapsed] { elapsed.resolve(true); });
    CancelToken::CallbackId callbackId = 0;
    if (token) {
        callbackId = token->onCancel([elapsed] { elapsed.resolve(false); });
    }
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(std::max(duration, Clock::Duration::zero()));
    timer->start(milliseconds);

    const bool fired = co_await elapsed;

    timer->stop();
    timer->deleteLater();
    if (token) {
        token->removeCallback(callbackId);
    }
    co_return fired;
}

} // namespace

std::shared_ptr<LiveClock> LiveClock::shared() {
    static const auto clock = std::make_shared<LiveClock>();
    return clock;
}

Clock::TimePoint LiveClock::now() const {
    return std::chrono::steady_clock::now();
}

QCoro::Task<bool> LiveClock::sleep(Duration duration, std::shared_ptr<CancelToken> token) {
    return sleepOnTimer(duration, std::move(token));
}

} // namespace berthkeep

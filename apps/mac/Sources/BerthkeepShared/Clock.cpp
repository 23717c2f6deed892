#include "BerthkeepShared/Clock.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <sys/timerfd.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "BerthkeepShared/Completion.hpp"

namespace berthkeep {

namespace {

Clock::TimePoint deadlineAfter(Clock::TimePoint from, Clock::Duration duration) {
    duration = std::max(duration, Clock::Duration::zero());
    return duration >= Clock::TimePoint::max() - from ? Clock::TimePoint::max() : from + duration;
}

// A one-shot timer for an absolute boot-time instant; -1 when none can be made.
// A QTimer runs on the monotonic clock and would fire late by the time slept.
int armBootTimeAlarm(Clock::TimePoint deadline) {
    const int fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC | TFD_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    const auto sinceBoot = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceBoot);
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(seconds.count());
    // An all-zero value would disarm it instead.
    spec.it_value.tv_nsec = std::max<long>(static_cast<long>((sinceBoot - seconds).count()), 1);
    if (::timerfd_settime(fd, TFD_TIMER_ABSTIME, &spec, nullptr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Resolves `elapsed` with true on the main loop once the deadline has passed;
// the returned object is the caller's to dispose of with disarm().
QObject* startAlarm(Clock::TimePoint deadline, const Completion<bool>& elapsed) {
    const int fd = armBootTimeAlarm(deadline);
    if (fd >= 0) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, [elapsed, fd] {
            std::uint64_t expirations = 0;
            if (::read(fd, &expirations, sizeof expirations) == sizeof expirations) {
                elapsed.resolve(true);
            }
        });
        QObject::connect(notifier, &QObject::destroyed, [fd] { ::close(fd); });
        return notifier;
    }
    // Out of descriptors: the monotonic timer, late by any time slept.
    auto* timer = new QTimer();
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, [elapsed] { elapsed.resolve(true); });
    // QTimer counts in int milliseconds.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        std::max(deadline - BootTimeClock::now(), Clock::Duration::zero()));
    timer->start(std::min(left, std::chrono::milliseconds(std::numeric_limits<int>::max())));
    return timer;
}

void disarm(QObject* alarm) {
    if (auto* notifier = qobject_cast<QSocketNotifier*>(alarm)) {
        notifier->setEnabled(false);
    } else if (auto* timer = qobject_cast<QTimer*>(alarm)) {
        timer->stop();
    }
    // Deleted later, not in the frame: the frame may end inside the alarm's own
    // signal, and a QObject must not be destroyed while it emits.
    alarm->deleteLater();
}

// A free coroutine: it uses nothing of the clock after its first suspension.
QCoro::Task<bool> sleepUntilBootTime(Clock::TimePoint deadline,
                                     std::shared_ptr<CancelToken> token) {
    if (token && token->isCancelled()) {
        co_return false;
    }
    Completion<bool> elapsed;
    QObject* alarm = startAlarm(deadline, elapsed);
    CancelToken::CallbackId callbackId = 0;
    if (token) {
        callbackId = token->onCancel([elapsed] { elapsed.resolve(false); });
    }

    const bool fired = co_await elapsed;

    disarm(alarm);
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
    return BootTimeClock::now();
}

QCoro::Task<bool> LiveClock::sleep(Duration duration, std::shared_ptr<CancelToken> token) {
    return sleepUntilBootTime(deadlineAfter(now(), duration), std::move(token));
}

} // namespace berthkeep

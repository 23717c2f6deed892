#pragma once

#include <chrono>
#include <memory>

#include <QCoroTask>

#include "BerthkeepShared/BootTimeClock.hpp"
#include "BerthkeepShared/CancelToken.hpp"

namespace berthkeep {

// Injected time. Every delay, debounce, retry and time-out of the program goes
// through a Clock, so tests can drive time with ManualClock.
class Clock {
public:
    using Duration = BootTimeClock::duration;
    using TimePoint = BootTimeClock::time_point;

    virtual ~Clock() = default;

    // Monotonic, and counts while the machine sleeps; callable from any thread.
    virtual TimePoint now() const = 0;

    // Call on the main thread; resumes on it. True when the whole duration has
    // passed, false when the token was cancelled first (at once if it already
    // is). A zero or negative duration still returns to the event loop once on
    // the live clock.
    virtual QCoro::Task<bool> sleep(Duration duration, std::shared_ptr<CancelToken> token = {}) = 0;

    QCoro::Task<bool> sleepUntil(TimePoint deadline, std::shared_ptr<CancelToken> token = {}) {
        return sleep(deadline - now(), std::move(token));
    }
};

// Real time: the boot-time clock, and a timer on that clock watched by the main
// loop, so a sleep ends when its time has passed, asleep or awake.
class LiveClock final : public Clock {
public:
    // The one live clock the composition root hands out.
    static std::shared_ptr<LiveClock> shared();

    TimePoint now() const override;
    QCoro::Task<bool> sleep(Duration duration, std::shared_ptr<CancelToken> token = {}) override;
};

} // namespace berthkeep

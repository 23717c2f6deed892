#pragma once

#include <chrono>
#include <memory>

#include <QCoroTask>

#include "BerthkeepShared/CancelToken.hpp"

namespace berthkeep {

// Injected time. Every delay, debounce, retry and time-out of the program goes
// through a Clock, so tests can drive time with ManualClock.
class Clock {
public:
    using Duration = std::chrono::steady_clock::duration;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;

    // Monotonic; callable from any thread.
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

// Real time: steady_clock, and a precise QTimer on the main thread.
class LiveClock final : public Clock {
public:
    // The one live clock the composition root hands out.
    static std::shared_ptr<LiveClock> shared();

    TimePoint now() const override;
    QCoro::Task<bool> sleep(Duration duration, std::shared_ptr<CancelToken> token = {}) override;
};

} // namespace berthkeep

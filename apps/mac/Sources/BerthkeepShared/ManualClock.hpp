#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "BerthkeepShared/Clock.hpp"
#include "BerthkeepShared/Completion.hpp"

namespace berthkeep {

// Test time: now() moves only when a test advances it, and sleepers wake in
// deadline order (ties in the order they started sleeping) inside advance().
class ManualClock final : public Clock {
public:
    // The start is arbitrary but far from the epoch, so code subtracting
    // durations from now() stays in range.
    explicit ManualClock(TimePoint start = TimePoint{} + std::chrono::hours(24));

    TimePoint now() const override;

    // Cancelled or zero-length sleeps return at once, without advance().
    QCoro::Task<bool> sleep(Duration duration, std::shared_ptr<CancelToken> token = {}) override;

    // Moves time forward, resuming each sleeper that falls due (on the calling
    // thread, which should be the main one) with now() set to its deadline;
    // a sleeper that sleeps again within the step is woken in the same call.
    void advance(Duration step);
    void advanceTo(TimePoint target);

    // Sleepers still waiting (cancelled ones are gone).
    std::size_t sleeperCount() const;
    std::optional<TimePoint> nextDeadline() const;

private:
    struct Sleeper {
        TimePoint deadline;
        std::uint64_t order;
        Completion<bool> wake;
    };
    struct State {
        mutable std::mutex mutex;
        TimePoint now;
        std::uint64_t nextOrder = 0;
        std::vector<Sleeper> sleepers;
    };

    static QCoro::Task<bool> sleepOn(std::shared_ptr<State> state, Duration duration,
                                     std::shared_ptr<CancelToken> token);
    static void removeSleeper(State& state, std::uint64_t order);

    std::shared_ptr<State> m_state;
};

} // namespace berthkeep

#pragma once

#include <chrono>

namespace berthkeep {

// Time since boot, counting while the machine sleeps (CLOCK_BOOTTIME), where
// steady_clock stops. A clock type of its own, so its instants never mix with
// steady_clock's. Callable from any thread.
struct BootTimeClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<BootTimeClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept;
};

} // namespace berthkeep

#include "BerthkeepShared/BootTimeClock.hpp"

#include <ctime>

namespace berthkeep {

BootTimeClock::time_point BootTimeClock::now() noexcept {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

} // namespace berthkeep

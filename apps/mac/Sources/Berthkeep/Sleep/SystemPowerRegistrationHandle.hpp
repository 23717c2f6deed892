#pragma once

#include <cstdint>

namespace berthkeep {

// A live registration for system power messages. The power monitor is its only
// caller; both operations are synchronous and main-thread.
class SystemPowerRegistrationHandle {
public:
    virtual ~SystemPowerRegistrationHandle() = default;

    // Undoes the registration; a second call does nothing. Releasing the handle
    // without it leaves the registration in place.
    virtual void invalidate() = 0;
    // Acknowledges the power message with this notification id; nothing once
    // invalidated.
    virtual void allowPowerChange(std::intptr_t notificationID) = 0;
};

} // namespace berthkeep

#pragma once

#include <memory>

#include "Berthkeep/Sleep/SystemPowerRegistrationHandle.hpp"
#include "platform/Power/SystemPowerManagement.hpp"

namespace berthkeep {

// How the power monitor registers for system power messages; injected so tests
// can deliver messages by hand.
class SystemPowerRegistering {
public:
    virtual ~SystemPowerRegistering() = default;

    // The callback receives `refcon` with every message, on the main loop. Null
    // when registration failed.
    virtual std::shared_ptr<SystemPowerRegistrationHandle>
    registerForSystemPower(void* refcon, SystemPowerCallback callback) = 0;
};

} // namespace berthkeep

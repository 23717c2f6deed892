#pragma once

#include <cstdint>

namespace berthkeep {

// Handles of the power-management service: small numbers, 0 meaning none.
using SystemPowerConnection = std::uint32_t;
using SystemPowerNotifier = std::uint32_t;
using SystemPowerNotificationPort = std::uint32_t;
using SystemPowerReturn = std::int32_t;

// Called with the registration's refcon, the service that sent the message, the
// message type and its argument (a can-sleep or will-sleep message's argument is
// its notification id, to be handed back when acknowledging).
using SystemPowerCallback = void (*)(void* refcon, std::uint32_t service, std::uint32_t messageType,
                                     void* messageArgument);

namespace SystemPowerMessageType {
inline constexpr std::uint32_t canSystemSleep = 0xE0000270;
inline constexpr std::uint32_t systemWillSleep = 0xE0000280;
inline constexpr std::uint32_t systemWillNotSleep = 0xE0000290;
inline constexpr std::uint32_t systemHasPoweredOn = 0xE0000300;
inline constexpr std::uint32_t systemWillPowerOn = 0xE0000320;
} // namespace SystemPowerMessageType

namespace SystemPowerResult {
inline constexpr SystemPowerReturn success = 0;
inline constexpr SystemPowerReturn error = static_cast<SystemPowerReturn>(0xE00002BC);
inline constexpr SystemPowerReturn badArgument = static_cast<SystemPowerReturn>(0xE00002C2);
inline constexpr SystemPowerReturn notOpen = static_cast<SystemPowerReturn>(0xE00002CD);
} // namespace SystemPowerResult

// The system's power management: registration for the sleep and wake messages,
// their acknowledgement, and the request to sleep. Registration, scheduling and
// teardown belong to the main thread; messages arrive on the main loop once the
// registration's port has been added to it.
class SystemPowerManagement {
public:
    virtual ~SystemPowerManagement() = default;

    // Returns the connection to the root power domain (0 on failure) and fills in
    // the notification port and the notifier (left 0 when not made).
    virtual SystemPowerConnection registerForSystemPower(void* refcon,
                                                         SystemPowerNotificationPort* port,
                                                         SystemPowerCallback callback,
                                                         SystemPowerNotifier* notifier) = 0;
    // Starts delivery on the main loop; false when the port has no source to add.
    virtual bool addNotificationPortToMainLoop(SystemPowerNotificationPort port) = 0;
    virtual void removeNotificationPortFromMainLoop(SystemPowerNotificationPort port) = 0;
    virtual SystemPowerReturn deregisterForSystemPower(SystemPowerNotifier* notifier) = 0;
    virtual void destroyNotificationPort(SystemPowerNotificationPort port) = 0;
    virtual SystemPowerReturn closeService(SystemPowerConnection connection) = 0;

    // Lets the power change with this notification id proceed, for this
    // registration only.
    virtual SystemPowerReturn allowPowerChange(SystemPowerConnection rootConnection,
                                               std::intptr_t notificationID) = 0;

    // A connection for the sleep request; 0 when power management is unavailable.
    virtual SystemPowerConnection findPowerManagement() = 0;
    // Asks the system to sleep now; returns once it accepted or refused.
    virtual SystemPowerReturn sleepSystem(SystemPowerConnection connection) = 0;
};

} // namespace berthkeep

#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Berthkeep/Sleep/SystemPowerRegistering.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"

namespace berthkeep {

// The program's registration for system power messages, from construction to
// destruction. A will-sleep message reaches onWillSleep with an acknowledge
// callback that lets that power change, and only that one, proceed; the monitor
// never acknowledges a will-sleep itself. A can-sleep message is allowed at
// once, and a has-powered-on message reaches onDidWake. A failed registration is
// logged and not retried: the program then hears no power messages at all.
// Main thread only.
class SystemPowerMonitor {
public:
    using Acknowledge = std::function<void()>;
    using WillSleepHandler = std::function<void(Acknowledge acknowledge)>;
    using DidWakeHandler = std::function<void()>;

    // Registers at once through the registrar.
    SystemPowerMonitor(BerthkeepLogger logger, WillSleepHandler onWillSleep,
                       DidWakeHandler onDidWake, std::shared_ptr<SystemPowerRegistering> registrar);
    // Invalidates the registration first, so no message arrives after it.
    ~SystemPowerMonitor();
    SystemPowerMonitor(const SystemPowerMonitor&) = delete;
    SystemPowerMonitor& operator=(const SystemPowerMonitor&) = delete;

    // Registers through the system's power management on the main loop.
    static std::shared_ptr<SystemPowerRegistering>
    liveRegistrar(std::shared_ptr<SystemPowerManagement> powerManagement);

    bool isRegistered() const { return m_state->registration != nullptr; }

private:
    // What an acknowledge callback may still reach after the monitor is gone: it
    // holds this weakly.
    struct State {
        std::shared_ptr<SystemPowerRegistrationHandle> registration;
    };

    void start();
    void handle(std::uint32_t messageType, void* messageArgument);
    static void powerCallback(void* refcon, std::uint32_t service, std::uint32_t messageType,
                              void* messageArgument);
    void logNotice(const char* name, const char* message) const;
    void logError(const char* name, const char* message) const;

    WillSleepHandler m_onWillSleep;
    DidWakeHandler m_onDidWake;
    BerthkeepLogger m_logger;
    std::shared_ptr<SystemPowerRegistering> m_registrar;
    std::shared_ptr<State> m_state;
};

} // namespace berthkeep

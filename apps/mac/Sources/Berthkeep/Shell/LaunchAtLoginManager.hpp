#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Berthkeep/Shell/LaunchAtLoginError.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "platform/LoginItems/LoginItemService.hpp"

namespace berthkeep {

// Registers the application as a login item, and refuses where a registration
// would be wrong: while tests run, or outside a packaged application bundle.
// Main thread only; the login-item calls are synchronous.
class LaunchAtLoginManager {
public:
    struct RuntimeContext {
        std::string bundlePath;
        std::string executablePath; // empty when the bundle has no executable
        std::map<std::string, std::string> environment;
        // The main bundle's identifier, for the failure log.
        std::optional<std::string> bundleIdentifier;

        // The running process: its main bundle and its environment.
        static RuntimeContext live();

        bool operator==(const RuntimeContext&) const = default;
    };

    // service: the login-item registration the caller chose (the desktop's
    // autostart entry, or the simulated one); not null: std::invalid_argument.
    LaunchAtLoginManager(BerthkeepLogger logger, RuntimeContext runtimeContext,
                         std::shared_ptr<LoginItemService> service);

    // Nothing when launch at login can be managed, otherwise the reason to show.
    std::optional<std::string> unavailableReason() const;
    bool isAvailable() const { return !unavailableReason().has_value(); }

    // Both throw LaunchAtLoginError.
    void enable();
    void disable();

    const RuntimeContext& runtimeContext() const { return m_runtimeContext; }

    static constexpr const char* testEnvironmentKey = "XCTestConfigurationFilePath";
    static constexpr const char* testsRunningReason =
        "Launch at Login is disabled while Berthkeep tests are running.";
    static constexpr const char* unpackagedReason =
        "Launch at Login is only available from a packaged Berthkeep.app bundle. Development "
        "launches from .build would otherwise register Terminal-backed login items.";

private:
    BerthkeepLogger m_logger;
    RuntimeContext m_runtimeContext;
    std::shared_ptr<LoginItemService> m_service;
};

} // namespace berthkeep

#pragma once

#include "Berthkeep/Domain/TriggerReason.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace berthkeep {

// The safety state of all managed drives taken together. A payload enumeration:
// build it through the static factories; only the payload of its own case is kept,
// so equality is "same case, equal payload".
class GlobalSafetyState {
public:
    enum class Kind {
        limitedProtection,
        attention,
        working,
        noManagedDrives,
        fullMonitoringUnavailable,
        fullMonitoringVerifying,
        safe,
    };

    // Default: noManagedDrives, the state of an empty drive list.
    GlobalSafetyState() = default;

    static GlobalSafetyState limitedProtection(std::string supportingCopy);
    static GlobalSafetyState attention(std::int64_t problemDriveCount);
    static GlobalSafetyState working(TriggerReason trigger);
    static GlobalSafetyState noManagedDrives();
    static GlobalSafetyState fullMonitoringUnavailable();
    static GlobalSafetyState fullMonitoringVerifying();
    static GlobalSafetyState safe();

    Kind kind() const { return m_kind; }

    // Payload of attention; absent for every other case.
    std::optional<std::int64_t> problemDriveCount() const;
    // Payload of working; absent for every other case.
    std::optional<TriggerReason> trigger() const;

    // The header line of the menu for this state.
    std::string headerCopy() const;
    // The second header line; for limitedProtection its payload.
    std::string supportingCopy() const;

    bool operator==(const GlobalSafetyState&) const = default;

    // The case name with its payload, for log metadata: "safe",
    // "attention(problemDriveCount: 2)", "working(trigger: manual_eject_all)",
    // "limitedProtection(supportingCopy: \"...\")".
    std::string description() const;

private:
    Kind m_kind = Kind::noManagedDrives;
    std::string m_supportingCopy;
    std::int64_t m_problemDriveCount = 0;
    TriggerReason m_trigger = TriggerReason::systemSleep;
};

} // namespace berthkeep

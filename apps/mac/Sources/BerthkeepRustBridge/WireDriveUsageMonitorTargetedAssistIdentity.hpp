#pragma once

#include <string>

namespace berthkeep {

// A viewer application the monitor watches closely, or observed.
struct WireDriveUsageMonitorTargetedAssistIdentity {
    std::string identity;
    std::string displayName;

    bool operator==(const WireDriveUsageMonitorTargetedAssistIdentity&) const = default;
};

} // namespace berthkeep

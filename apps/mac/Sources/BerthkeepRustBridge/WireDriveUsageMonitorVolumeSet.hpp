#pragma once

#include <vector>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorTargetedAssistIdentity.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorVolume.hpp"

namespace berthkeep {

// The update payload: the complete set of drives to watch.
struct WireDriveUsageMonitorVolumeSet {
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    std::vector<WireDriveUsageMonitorVolume> volumes;
    bool adaptiveTargetedAssistEnabled = false;
    std::vector<WireDriveUsageMonitorTargetedAssistIdentity> promotedTargetedAssistIdentities;

    bool operator==(const WireDriveUsageMonitorVolumeSet&) const = default;
};

} // namespace berthkeep

#pragma once

#include <map>
#include <string>
#include <vector>

#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"
#include "BerthkeepRustBridge/WireActivityMonitorDebugStatFsSample.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorTargetedAssistIdentity.hpp"

namespace berthkeep {

// The snapshot reply. Only the usage map is required; the other two read as
// empty when absent or null.
struct WireDriveUsageMonitorSnapshot {
    std::map<std::string, DriveUsageSnapshot> usageSnapshotsByDriveID;
    std::map<std::string, WireActivityMonitorDebugStatFsSample> debugStatfsByDriveID;
    std::vector<WireDriveUsageMonitorTargetedAssistIdentity> observedTargetedAssistIdentities;

    bool operator==(const WireDriveUsageMonitorSnapshot&) const = default;
};

} // namespace berthkeep

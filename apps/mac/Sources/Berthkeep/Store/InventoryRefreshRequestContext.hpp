#pragma once

#include <set>
#include <string>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"

namespace berthkeep {

// What an asynchronous inventory refresh was asked for. Two refreshes with equal
// contexts would produce the same list, so a caller may join a running one.
struct InventoryRefreshRequestContext {
    std::set<std::string> excludedDriveIDs;
    bool allowMountedVolumeAccess = false;
    ActivityDetectionMode activityDetectionMode = ActivityDetectionMode::coreOnly;

    bool operator==(const InventoryRefreshRequestContext&) const = default;
};

} // namespace berthkeep

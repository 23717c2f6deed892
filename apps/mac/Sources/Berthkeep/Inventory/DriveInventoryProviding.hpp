#pragma once

#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Inventory/DriveInventoryAuditContext.hpp"

namespace berthkeep {

// The store's source of drives. Synchronous and never failing: a source that
// cannot answer falls back to what it still knows. A drive whose id is in the
// excluded set comes back with scope `excluded`.
class DriveInventoryProviding {
public:
    virtual ~DriveInventoryProviding() = default;

    virtual std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                                bool allowMountedVolumeAccess) = 0;
};

// The form the store prefers: the snapshot knows its mode, phase and stage.
// Returns the drives sorted by name.
class ContextualDriveInventoryProviding : public DriveInventoryProviding {
public:
    using DriveInventoryProviding::snapshot;

    virtual std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                                const DriveInventoryAuditContext& context) = 0;
};

} // namespace berthkeep

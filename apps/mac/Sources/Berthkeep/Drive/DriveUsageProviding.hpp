#pragma once

#include <map>
#include <string>
#include <vector>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// A source of drive usage (the core library's activity monitor, or a stand-in
// that fails). Lives below the bridge, which implements it, and the app library,
// which calls it.
//
// Both calls are synchronous and may block; callers call updateManagedVolumes()
// before usageSnapshotsByDriveID() on every collection. Errors are thrown as the
// source's own exception types and pass to the caller unchanged.
class DriveUsageProviding {
public:
    virtual ~DriveUsageProviding() = default;

    // Which drives to watch and in which mode: always the complete set.
    virtual void updateManagedVolumes(const std::vector<DetectedDrive>& drives,
                                      ActivityDetectionMode mode) = 0;
    // The latest snapshots, keyed by drive identifier.
    virtual std::map<std::string, DriveUsageSnapshot> usageSnapshotsByDriveID() = 0;
};

} // namespace berthkeep

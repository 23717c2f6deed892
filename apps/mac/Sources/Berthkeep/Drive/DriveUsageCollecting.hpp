#pragma once

#include <map>
#include <string>
#include <vector>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// What the store asks for drive usage. Synchronous and possibly blocking (it may
// talk to the core library), so it is called off the main thread. Errors are
// whatever the usage source behind it throws.
class DriveUsageCollecting {
public:
    virtual ~DriveUsageCollecting() = default;

    // Usage of the given drives under the mode, keyed by drive identifier.
    virtual std::map<std::string, DriveUsageSnapshot>
    snapshot(const std::vector<DetectedDrive>& drives, ActivityDetectionMode mode) = 0;
};

} // namespace berthkeep

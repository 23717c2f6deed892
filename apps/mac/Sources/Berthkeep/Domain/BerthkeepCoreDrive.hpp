#pragma once

#include "Berthkeep/Domain/BerthkeepCoreDriveScope.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"

#include <string>

namespace berthkeep {

// One drive as the decision core sees it.
struct BerthkeepCoreDrive {
    std::string id;
    std::string name;
    BerthkeepCoreDriveScope scope = BerthkeepCoreDriveScope::managed;
    bool isMounted = false;
    DriveUsageSnapshot usageSnapshot = DriveUsageSnapshot::zero();

    bool operator==(const BerthkeepCoreDrive&) const = default;
};

} // namespace berthkeep

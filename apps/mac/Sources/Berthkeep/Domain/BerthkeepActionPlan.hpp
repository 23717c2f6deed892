#pragma once

#include <string>
#include <vector>

namespace berthkeep {

// The answer of planAction.
struct BerthkeepActionPlan {
    enum class Disposition {
        execute,
        noTargets,
    };

    Disposition disposition = Disposition::noTargets;
    // The drives to eject, in eject order.
    std::vector<std::string> targetDriveIDs;

    bool operator==(const BerthkeepActionPlan&) const = default;
};

} // namespace berthkeep

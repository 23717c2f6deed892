#pragma once

#include "Berthkeep/Domain/BerthkeepCoreDrive.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"

#include <string>
#include <vector>

namespace berthkeep {

// The question of planAction.
struct BerthkeepActionPlanningInput {
    TriggerReason trigger = TriggerReason::manualEjectAll;
    std::vector<BerthkeepCoreDrive> drives;
    // The drives that needed attention before (what a retry aims at); read as a set.
    std::vector<std::string> attentionDriveIDs;

    bool operator==(const BerthkeepActionPlanningInput&) const = default;
};

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

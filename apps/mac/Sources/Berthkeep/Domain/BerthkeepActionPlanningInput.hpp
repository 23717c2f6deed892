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

} // namespace berthkeep

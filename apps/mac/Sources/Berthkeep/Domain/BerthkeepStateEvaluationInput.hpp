#pragma once

#include "Berthkeep/Domain/BerthkeepCoreDrive.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// The question of evaluateState.
struct BerthkeepStateEvaluationInput {
    // In the order the caller shows them.
    std::vector<BerthkeepCoreDrive> drives;
    // The drives an eject attempt works on now; read as a set.
    std::vector<std::string> workingDriveIDs;
    std::optional<TriggerReason> activeTrigger;
    std::optional<LastActionSummary> lastAction;

    bool operator==(const BerthkeepStateEvaluationInput&) const = default;
};

} // namespace berthkeep

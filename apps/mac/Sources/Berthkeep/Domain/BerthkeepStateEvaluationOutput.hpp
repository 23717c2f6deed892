#pragma once

#include "Berthkeep/Domain/BerthkeepEvaluatedDrive.hpp"
#include "Berthkeep/Domain/GlobalSafetyState.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/PrimaryAction.hpp"

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// The answer of evaluateState.
struct BerthkeepStateEvaluationOutput {
    GlobalSafetyState globalState;
    std::optional<std::string> scopeNote;
    std::optional<PrimaryAction> primaryAction;
    std::optional<PrimaryAction> secondaryAction;
    std::optional<LastActionSummary> lastAction;
    std::vector<BerthkeepEvaluatedDrive> drives;

    bool operator==(const BerthkeepStateEvaluationOutput&) const = default;
};

} // namespace berthkeep

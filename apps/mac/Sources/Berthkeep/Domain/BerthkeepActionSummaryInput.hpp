#pragma once

#include "Berthkeep/Domain/TriggerReason.hpp"

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// The question of summarizeAction. The three lists are read as sets.
struct BerthkeepActionSummaryInput {
    std::optional<TriggerReason> trigger;
    std::vector<std::string> attemptedDriveIDs;
    // The managed drives still present when the attempt is judged.
    std::vector<std::string> remainingManagedDriveIDs;
    std::vector<std::string> confirmedSuccessfulDriveIDs;

    bool operator==(const BerthkeepActionSummaryInput&) const = default;
};

} // namespace berthkeep

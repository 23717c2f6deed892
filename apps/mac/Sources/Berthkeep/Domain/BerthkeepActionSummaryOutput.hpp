#pragma once

#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// The answer of summarizeAction.
struct BerthkeepActionSummaryOutput {
    // Attempted drives still present whose eject was not confirmed, sorted.
    std::vector<std::string> busyDriveIDs;
    LastActionSummary lastAction;
    std::optional<PendingSleepFailureNotification> pendingSleepFailureNotification;

    bool operator==(const BerthkeepActionSummaryOutput&) const = default;
};

} // namespace berthkeep

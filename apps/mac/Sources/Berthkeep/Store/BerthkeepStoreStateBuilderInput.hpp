#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Store/BerthkeepStorePresentationSource.hpp"

namespace berthkeep {

// One snapshot of the store's state, taken by the state rebuild for the builder.
struct BerthkeepStoreStateBuilderInput {
    BerthkeepStorePresentationSource presentationSource;
    // The current inventory, in inventory order.
    std::vector<DetectedDrive> detectedDrives;
    // The trigger whose eject runs.
    std::optional<TriggerReason> activeTrigger;
    // Drives a manual mount or the wake remount works on.
    std::set<std::string> mountingDriveIDs;
    // Drives being ejected, by whichever work.
    std::set<std::string> workingDriveIDs;
    // Passed through to the menu.
    std::optional<MenubarRemediationAction> remediationAction;
    bool adaptiveTargetedAssistEnabled = true;

    bool operator==(const BerthkeepStoreStateBuilderInput&) const = default;
};

} // namespace berthkeep

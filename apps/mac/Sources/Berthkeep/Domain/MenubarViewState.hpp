#pragma once

#include "Berthkeep/Domain/DriveAction.hpp"
#include "Berthkeep/Domain/DriveGroupState.hpp"
#include "Berthkeep/Domain/DriveRowState.hpp"
#include "Berthkeep/Domain/GlobalSafetyState.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"
#include "Berthkeep/Domain/PrimaryAction.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// Everything the menu bar shows. The store replaces the whole value after every
// change; equality over all fields (lists in order) decides whether it changed.
// Derived texts are computed on each read, never stored.
struct MenubarViewState {
    GlobalSafetyState globalState;
    std::optional<std::string> scopeNote;
    std::optional<MenubarRemediationAction> remediationAction;
    std::vector<MenubarUtilityAction> utilityActions;
    std::optional<PrimaryAction> primaryAction;
    std::optional<PrimaryAction> secondaryAction;
    std::vector<DriveAction> driveActions;
    std::optional<LastActionSummary> lastAction;
    std::vector<DriveRowState> drives;
    std::vector<DriveGroupState> driveGroups;

    // The second line of the menu header.
    std::string summarySupportingCopy() const;
    // The text of the "Last attempt: " row; absent without a last action.
    std::optional<std::string> lastActionText() const;
    // "2 managed drives connected"; present only under limited protection with at
    // least one row that is not excluded.
    std::optional<std::string> managedDriveCountText() const;

    // Number of rows whose status is ejecting (the header line uses it too).
    std::int64_t ejectingRowCount() const;
    // The attention reason of the first busy row that has one.
    std::optional<std::string> attentionDetail() const;

    bool operator==(const MenubarViewState&) const = default;
};

} // namespace berthkeep

#include "Berthkeep/Domain/MenubarViewState.hpp"

#include "Berthkeep/Domain/DriveCountText.hpp"

#include <algorithm>

namespace berthkeep {

std::int64_t MenubarViewState::ejectingRowCount() const {
    return std::count_if(drives.begin(), drives.end(), [](const DriveRowState& row) {
        return row.status == DriveStatus::ejecting;
    });
}

std::optional<std::string> MenubarViewState::attentionDetail() const {
    for (const DriveRowState& row : drives) {
        if (row.status == DriveStatus::busy && !row.attentionReasonCodes.empty()) {
            return row.attentionReasonCopy();
        }
    }
    return std::nullopt;
}

std::string MenubarViewState::summarySupportingCopy() const {
    // A running eject is what the user wants to see, whatever the global state says.
    if (const std::int64_t ejecting = ejectingRowCount(); ejecting > 0) {
        return "Ejecting " + driveCountText(ejecting);
    }
    if (globalState.kind() == GlobalSafetyState::Kind::attention) {
        if (const auto detail = attentionDetail()) {
            return *detail + ". Try again after it stops";
        }
    }
    return globalState.supportingCopy();
}

std::optional<std::string> MenubarViewState::lastActionText() const {
    if (!lastAction) {
        return std::nullopt;
    }
    std::string text = lastAction->text();
    if (lastAction->hasBusyResult()) {
        if (const auto detail = attentionDetail()) {
            text += " \u00B7 " + *detail;
        }
    }
    return text;
}

std::optional<std::string> MenubarViewState::managedDriveCountText() const {
    if (globalState.kind() != GlobalSafetyState::Kind::limitedProtection) {
        return std::nullopt;
    }
    const std::int64_t managed =
        std::count_if(drives.begin(), drives.end(),
                      [](const DriveRowState& row) { return row.status != DriveStatus::excluded; });
    if (managed == 0) {
        return std::nullopt;
    }
    return std::to_string(managed) + " managed " + driveNoun(managed) + " connected";
}

} // namespace berthkeep

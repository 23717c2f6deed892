#include "Berthkeep/Domain/MenubarPreviewScenario.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"

#include <optional>
#include <string>

namespace berthkeep {

namespace {

using Status = DriveStatus;
using Visibility = DriveStatusVisibility;
using Result = LastActionSummary::Result;

DriveRowState backupSSD(Status status, Visibility visibility) {
    return DriveRowState{"backup-ssd", "Backup SSD", status, visibility, {}};
}

DriveRowState travelSSD(Status status, Visibility visibility) {
    return DriveRowState{"travel-ssd", "Travel SSD", status, visibility, {}};
}

DriveRowState archiveSSD(Status status, Visibility visibility) {
    return DriveRowState{"archive-ssd", "Archive SSD", status, visibility, {}};
}

DriveRowState samsungSSD(Status status, Visibility visibility) {
    return DriveRowState{"samsung-ssd", "Samsung SSD", status, visibility, {}};
}

DriveRowState cameraCard(Status status, Visibility visibility) {
    return DriveRowState{"camera-card", "Camera Card", status, visibility, {}};
}

MenubarViewState sample(GlobalSafetyState globalState, std::vector<DriveRowState> drives,
                        Result lastAction, std::optional<std::string> scopeNote = std::nullopt,
                        std::optional<MenubarRemediationAction> remediation = std::nullopt) {
    MenubarViewState state;
    state.globalState = std::move(globalState);
    state.scopeNote = std::move(scopeNote);
    state.remediationAction = std::move(remediation);
    state.lastAction = LastActionSummary{lastAction};
    state.drives = std::move(drives);
    return state;
}

const std::optional<std::string> kOneExcluded = SwiftBerthkeepCore::scopeNote(1);

} // namespace

MenubarViewState state(MenubarPreviewScenario scenario) {
    switch (scenario) {
    case MenubarPreviewScenario::limitedProtection:
        return sample(GlobalSafetyState::limitedProtection("Some app activity may not be detected"),
                      {backupSSD(Status::connected, Visibility::hidden),
                       travelSSD(Status::notMounted, Visibility::activity)},
                      Result::noneFound(), std::nullopt,
                      MenubarRemediationAction::enableFullMonitoring());
    case MenubarPreviewScenario::fullMonitoringUnavailable:
        return sample(GlobalSafetyState::fullMonitoringUnavailable(),
                      {backupSSD(Status::connected, Visibility::hidden),
                       archiveSSD(Status::excluded, Visibility::neutral)},
                      Result::stillBusy(1), std::nullopt,
                      MenubarRemediationAction::openSystemSettings());
    case MenubarPreviewScenario::fullMonitoringVerifying:
        return sample(GlobalSafetyState::fullMonitoringVerifying(),
                      {backupSSD(Status::connected, Visibility::hidden)}, Result::noneFound());
    case MenubarPreviewScenario::safe:
        return sample(GlobalSafetyState::safe(),
                      {samsungSSD(Status::safe, Visibility::activity),
                       backupSSD(Status::excluded, Visibility::neutral)},
                      Result::ejected(2), kOneExcluded);
    case MenubarPreviewScenario::attention:
        return sample(GlobalSafetyState::attention(1),
                      {backupSSD(Status::busy, Visibility::activity),
                       samsungSSD(Status::safe, Visibility::activity)},
                      Result::stillBusy(1));
    case MenubarPreviewScenario::multipleDrivesBusy:
        return sample(GlobalSafetyState::attention(2),
                      {cameraCard(Status::busy, Visibility::activity),
                       backupSSD(Status::busy, Visibility::activity),
                       archiveSSD(Status::excluded, Visibility::neutral)},
                      Result::stillBusy(2), kOneExcluded);
    case MenubarPreviewScenario::working:
        return sample(GlobalSafetyState::working(TriggerReason::lidCloseSleep),
                      {samsungSSD(Status::ejecting, Visibility::activity),
                       backupSSD(Status::ejecting, Visibility::activity)},
                      Result::stillBusy(1));
    case MenubarPreviewScenario::noManagedDrives:
        return sample(GlobalSafetyState::noManagedDrives(), {}, Result::noneFound());
    case MenubarPreviewScenario::excludedDrivesOnly:
        return sample(GlobalSafetyState::noManagedDrives(),
                      {archiveSSD(Status::excluded, Visibility::neutral),
                       travelSSD(Status::excluded, Visibility::neutral)},
                      Result::noneFound(), SwiftBerthkeepCore::scopeNote(2));
    }
    return MenubarViewState{};
}

} // namespace berthkeep

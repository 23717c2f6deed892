#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <algorithm>

namespace berthkeep {

namespace {

constexpr const char* kNotDeterminedCopy = "Some app activity may not be detected";
constexpr const char* kFullMonitoringOffCopy = "Full Monitoring is off";

} // namespace

void BerthkeepStore::rebuildCurrentState(BerthkeepCoreHandling& core) {
    const MenubarViewState previousState = m_currentState;

    // Every drive an eject command works on, not only the running attempt's: a
    // wake closes an attempt whose last eject still runs.
    std::set<std::string> ejecting = m_ejectAttempt.drivesBeingEjected();
    auto source = blockedPresentationSource();
    if (!source) {
        BerthkeepStateEvaluationInput evaluation;
        evaluation.drives = coreDrives();
        // Sorted, so equal store states give equal core inputs.
        evaluation.workingDriveIDs.assign(ejecting.begin(), ejecting.end());
        evaluation.activeTrigger = m_ejectAttempt.activeTrigger();
        evaluation.lastAction = m_lastActionSummary;
        source = BerthkeepStorePresentationSource::evaluated(core.evaluateState(evaluation));
    }

    BerthkeepStoreStateBuilderInput input;
    input.presentationSource = std::move(*source);
    input.detectedDrives = m_detectedDrives;
    input.activeTrigger = m_ejectAttempt.activeTrigger();
    input.mountingDriveIDs = mountingDriveIDs();
    input.workingDriveIDs = std::move(ejecting);
    input.remediationAction = remediationAction();
    input.adaptiveTargetedAssistEnabled = adaptiveTargetedAssistEnabled();

    publishCurrentState(m_stateBuilder.build(input));
    logStateTransitionIfNeeded(previousState);
}

void BerthkeepStore::publishCurrentState(MenubarViewState state) {
    // Observers hear of every rebuild, an unchanged state included.
    emit objectWillChange();
    m_currentState = std::move(state);
    emit currentStateChanged();
}

std::optional<BerthkeepStorePresentationSource> BerthkeepStore::blockedPresentationSource() const {
    const bool anyManaged = std::any_of(
        m_detectedDrives.begin(), m_detectedDrives.end(),
        [](const DetectedDrive& drive) { return drive.scope() == DetectedDrive::Scope::managed; });
    if (!anyManaged) {
        return std::nullopt;
    }
    const auto blocked = [this](GlobalSafetyState state) {
        return BerthkeepStorePresentationSource::blocked(std::move(state), m_lastActionSummary);
    };
    switch (fullMonitoringStatus()) {
    case FullMonitoringStatus::notDetermined:
        return blocked(GlobalSafetyState::limitedProtection(kNotDeterminedCopy));
    case FullMonitoringStatus::deferred:
    case FullMonitoringStatus::acknowledged:
        return blocked(GlobalSafetyState::limitedProtection(kFullMonitoringOffCopy));
    case FullMonitoringStatus::checking:
        return blocked(GlobalSafetyState::fullMonitoringVerifying());
    case FullMonitoringStatus::setupRequired:
        return blocked(GlobalSafetyState::fullMonitoringUnavailable());
    case FullMonitoringStatus::active:
        break;
    }
    return std::nullopt;
}

std::optional<MenubarRemediationAction> BerthkeepStore::remediationAction() const {
    if (managedDrives().empty()) {
        return std::nullopt;
    }
    switch (fullMonitoringStatus()) {
    case FullMonitoringStatus::checking:
    case FullMonitoringStatus::active:
        return std::nullopt;
    case FullMonitoringStatus::setupRequired:
        return MenubarRemediationAction::openSystemSettings();
    case FullMonitoringStatus::notDetermined:
    case FullMonitoringStatus::deferred:
    case FullMonitoringStatus::acknowledged:
        return MenubarRemediationAction::enableFullMonitoring();
    }
    return std::nullopt;
}

std::vector<BerthkeepCoreDrive> BerthkeepStore::coreDrives() const {
    std::vector<BerthkeepCoreDrive> drives;
    drives.reserve(m_detectedDrives.size());
    for (const DetectedDrive& drive : m_detectedDrives) {
        const auto usage = m_driveUsageSnapshotsByDriveID.find(drive.id());
        drives.push_back(BerthkeepCoreDrive{
            drive.id(), drive.name(),
            drive.scope() == DetectedDrive::Scope::managed ? BerthkeepCoreDriveScope::managed
                                                           : BerthkeepCoreDriveScope::excluded,
            drive.isMounted(),
            usage == m_driveUsageSnapshotsByDriveID.end() ? DriveUsageSnapshot::zero()
                                                          : usage->second});
    }
    return drives;
}

void BerthkeepStore::logStateTransitionIfNeeded(const MenubarViewState& previousState) {
    if (previousState == m_currentState) {
        return;
    }
    m_logger.notice(BerthkeepLogCategory::state, "state.transition", "Menubar state changed",
                    {{"from", previousState.globalState.headerCopy()},
                     {"to", m_currentState.globalState.headerCopy()},
                     {"drive_count", std::to_string(m_currentState.drives.size())}});
}

} // namespace berthkeep

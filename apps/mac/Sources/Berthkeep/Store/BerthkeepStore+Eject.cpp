#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <algorithm>

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Actions/EjectOutcome.hpp"

namespace berthkeep {

DriveEjectMode BerthkeepStore::ejectMode(const DetectedDrive& drive) const {
    // Ejecting the disk would take the volume the user excluded down with it.
    return visibleExcludedSiblingExists(driveGroupID(drive)) ? DriveEjectMode::volume
                                                             : DriveEjectMode::device;
}

std::vector<EjectTargetGroup>
BerthkeepStore::ejectTargetGroups(const std::vector<DetectedDrive>& drives) const {
    std::vector<EjectTargetGroup> groups;
    for (const DetectedDrive& drive : drives) {
        const std::string key = driveGroupID(drive);
        if (ejectMode(drive) == DriveEjectMode::volume) {
            groups.push_back({key, {drive}, DriveEjectMode::volume});
            continue;
        }
        auto it = std::find_if(groups.begin(), groups.end(), [&key](const EjectTargetGroup& group) {
            return group.id == key && group.mode == DriveEjectMode::device;
        });
        if (it == groups.end()) {
            groups.push_back({key, {drive}});
        } else {
            it->members.push_back(drive);
        }
    }
    return groups;
}

std::string BerthkeepStore::currentGlobalStateHeaderCopy() const {
    return m_currentState.globalState.headerCopy();
}

QCoro::Task<void> BerthkeepStore::refreshInventoryAfterEjectAttempt(bool needsSettlement) {
    const QPointer<BerthkeepStore> self(this);
    co_await refreshInventoryNow();
    if (!self || !needsSettlement || m_timing.sleepEjectSettleDelay <= Duration::zero()) {
        co_return;
    }
    const std::shared_ptr<Clock> clock = m_platform.clock;
    co_await clock->sleep(m_timing.sleepEjectSettleDelay);
    if (self) {
        co_await refreshInventoryNow();
    }
}

QCoro::Task<void> BerthkeepStore::runPlannedTrigger(TriggerReason trigger,
                                                    ShownDriveIDs shownDriveIDs,
                                                    std::set<std::string> followMounts) {
    co_await m_actionCoordinator->runPlannedTrigger(trigger, *this, std::move(shownDriveIDs),
                                                    std::move(followMounts));
}

QCoro::Task<void> BerthkeepStore::ejectDrive(std::string driveID) {
    if (!m_ejectAttempt.mayEjectDriveAlone(driveID)) {
        co_return;
    }
    const auto it =
        std::find_if(m_detectedDrives.begin(), m_detectedDrives.end(),
                     [&driveID](const DetectedDrive& drive) { return drive.id() == driveID; });
    if (it == m_detectedDrives.end() || it->scope() != DetectedDrive::Scope::managed ||
        !it->isMounted()) {
        co_return;
    }
    co_await ejectExplicitDrive(*it);
}

QCoro::Task<void> BerthkeepStore::ejectExplicitDrive(DetectedDrive drive) {
    if (!m_ejectAttempt.mayEjectDriveAlone(drive.id()) ||
        drive.scope() != DetectedDrive::Scope::managed || !drive.isMounted()) {
        co_return;
    }
    const QPointer<BerthkeepStore> self(this);
    const std::uint64_t reportNumber = takeReportNumber();
    setLastObservedTrigger(TriggerReason::manualRetry);
    forgetWakeRemount({drive}, "manual_eject", reportNumber);
    m_ejectAttempt.markDriveWorking(drive.id());
    rebuildCurrentState();
    m_transientActionStatusPresenter->present({TransientActionStatusAction::eject,
                                               "Ejecting drive...", drive.name(),
                                               TransientActionStatusTone::progress});

    // Under the same time-out as every other eject: while it waits, the drive's
    // id in the working set refuses every other road.
    const DriveEjectMode mode = ejectMode(drive);
    m_ejectAttempt.ejectCommandStarted({drive});
    std::exception_ptr failure;
    try {
        const auto timeout = m_timing.sleepTriggeredEjectTimeout;
        if (timeout > Duration::zero()) {
            BerthkeepActionCoordinator::EjectOperation operation =
                [ejector = m_ejector, drive, mode](std::shared_ptr<CancelToken> token) {
                    return ejector->eject(drive, mode, std::move(token));
                };
            co_await m_actionCoordinator->runWithTimeout(timeout, std::move(operation));
        } else {
            co_await m_ejector->eject(drive, mode, nullptr);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    m_ejectAttempt.ejectCommandEnded({drive});
    if (failure) {
        m_logger.error(BerthkeepLogCategory::reliability, "reliability.eject.drive.failed",
                       "Explicit drive eject failed",
                       {{"drive_id", drive.id()},
                        {"drive_name", drive.name()},
                        {"error", DriveOperationError::describe(failure)}});
    } else {
        m_ejectAttempt.markEjectReturned(drive.id());
    }
    co_await refreshInventoryNow();
    if (!self) {
        co_return;
    }
    m_ejectAttempt.refreshedAfterEject(drive.id());
    // The refreshed inventory decides, not the command's answer.
    const EjectOutcome outcome =
        settledEjectOutcome(failure, !drives({drive.id()}).empty(), isCurrentlyMounted(drive.id()));
    const bool gone = outcome == EjectOutcome::notAttached;
    const bool ejected = outcome == EjectOutcome::ejected;
    std::vector<std::string> confirmed;
    if (ejected) {
        confirmed.push_back(drive.id());
    }
    m_ejectAttempt.endDriveWork(drive.id(), !ejected && !gone);
    m_transientActionStatusPresenter->present(
        TransientActionStatus::result(TransientActionStatusAction::eject, ejected ? 1 : 0,
                                      ejected || gone ? 0 : 1, drive.name(), gone ? 1 : 0));

    // A drive that is gone was neither ejected nor busy: the summary leaves it out.
    std::vector<std::string> attempted;
    if (!gone) {
        attempted.push_back(drive.id());
    }
    std::vector<std::string> remaining = mountedManagedDriveIDs();
    if (!ejected && !gone) {
        remaining.push_back(drive.id());
        std::sort(remaining.begin(), remaining.end());
        remaining.erase(std::unique(remaining.begin(), remaining.end()), remaining.end());
    }
    const BerthkeepActionSummaryOutput output =
        m_core->summarizeAction({TriggerReason::manualRetry, attempted, remaining, confirmed});
    recordLastAction(output.lastAction, reportNumber);
    rebuildCurrentState();
}

QCoro::Task<void> BerthkeepStore::ejectDriveGroup(std::string groupID,
                                                  ShownDriveIDs shownDriveIDs) {
    // A group id is a disk's BSD name: after a replug it may name another disk,
    // whose drives the card never showed.
    const auto inGroup = [&groupID, &shownDriveIDs](const DetectedDrive& drive) {
        return driveGroupID(drive) == groupID &&
               (!shownDriveIDs || shownDriveIDs->contains(drive.id()));
    };
    std::vector<std::string> driveIDs;
    for (const DetectedDrive& drive : m_detectedDrives) {
        if (drive.scope() == DetectedDrive::Scope::managed && drive.isMounted() && inGroup(drive)) {
            driveIDs.push_back(drive.id());
        }
    }
    std::set<std::string> beingMounted;
    if (!driveIDs.empty() && !m_ejectAttempt.isRunning()) { // the coordinator will run it
        beingMounted = speakForEject(inGroup, "group_eject");
    }
    co_await m_actionCoordinator->runExplicitEject(std::move(driveIDs), TriggerReason::manualRetry,
                                                   *this, std::move(beingMounted));
}

} // namespace berthkeep

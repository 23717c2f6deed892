#include "Berthkeep/Actions/EjectAttemptState.hpp"

#include <algorithm>

#include <QUuid>

namespace berthkeep {

std::string EjectAttemptState::begin(std::vector<DetectedDrive> targets, std::uint64_t wakeCount,
                                     std::uint64_t reportNumber) {
    m_activeAttemptID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
    m_targets = std::move(targets);
    m_successfulTargets.clear();
    m_startedAtWake = wakeCount;
    m_reportNumber = reportNumber;
    return *m_activeAttemptID;
}

void EjectAttemptState::addTargets(const std::vector<DetectedDrive>& drives) {
    for (const DetectedDrive& drive : drives) {
        m_targets.push_back(drive);
        m_attentionDriveIDs.erase(drive.id());
        m_workingDriveIDs.insert(drive.id());
    }
}

bool EjectAttemptState::dropTarget(const std::string& driveID) {
    std::erase_if(m_targets,
                  [&driveID](const DetectedDrive& drive) { return drive.id() == driveID; });
    return leaveWorking(driveID);
}

void EjectAttemptState::markWorking(std::optional<TriggerReason> trigger) {
    m_workingDriveIDs.clear();
    for (const DetectedDrive& target : m_targets) {
        m_attentionDriveIDs.erase(target.id());
        m_workingDriveIDs.insert(target.id());
    }
    m_activeTrigger = trigger;
}

bool EjectAttemptState::recordEjected(const DetectedDrive& drive, bool staysWorking) {
    if (std::none_of(m_successfulTargets.begin(), m_successfulTargets.end(),
                     [&drive](const DetectedDrive& known) { return known.id() == drive.id(); })) {
        m_successfulTargets.push_back(drive);
    }
    return !staysWorking && leaveWorking(drive.id());
}

void EjectAttemptState::endRunning() {
    m_activeTrigger.reset();
    m_activeAttemptID.reset();
    m_targets.clear();
    m_successfulTargets.clear();
    m_workingDriveIDs.clear();
}

void EjectAttemptState::close(std::set<std::string> busy) {
    m_attentionDriveIDs = std::move(busy);
    endRunning();
}

void EjectAttemptState::endWithoutTargets(bool clearAttention) {
    if (clearAttention) {
        m_attentionDriveIDs.clear();
    }
    m_targets.clear();
    m_successfulTargets.clear();
    m_activeAttemptID.reset();
}

void EjectAttemptState::closeAfterWake(const std::set<std::string>& stillMountedBusy) {
    for (const std::string& id : stillMountedBusy) {
        if (!m_workingDriveIDs.contains(id)) {
            m_attentionDriveIDs.insert(id);
        }
    }
}

bool EjectAttemptState::interruptedByWake(std::uint64_t wakeCount) const {
    return m_activeTrigger && isSleepTrigger(*m_activeTrigger) && m_startedAtWake < wakeCount;
}

std::optional<std::string> EjectAttemptState::closeByWake(std::set<std::string> takenOff) {
    const std::optional<std::string> attemptID = m_activeAttemptID;
    if (attemptID) {
        m_closedByWake[*attemptID] = std::move(takenOff);
    }
    // The attempt's own task finds its id gone at its next check and closes
    // itself without touching the running state again.
    endRunning();
    return attemptID;
}

std::set<std::string>
EjectAttemptState::takeDrivesTakenOffBeforeWake(const std::string& attemptID) {
    const auto node = m_closedByWake.extract(attemptID);
    return node ? node.mapped() : std::set<std::string>{};
}

bool EjectAttemptState::mayEjectDriveAlone(const std::string& driveID) const {
    // Eject All runs with no trigger set. Its attempt id still refuses: this eject
    // would relabel the running attempt, and the next refresh would then prune
    // Eject All's working set, letting a second attempt start under it.
    return !m_activeTrigger && !m_activeAttemptID && !m_workingDriveIDs.contains(driveID);
}

void EjectAttemptState::ejectCommandStarted(const std::vector<DetectedDrive>& drives) {
    for (const DetectedDrive& drive : drives) {
        ++m_ejectCommands[drive.id()];
    }
}

void EjectAttemptState::ejectCommandEnded(const std::vector<DetectedDrive>& drives) {
    for (const DetectedDrive& drive : drives) {
        const auto running = m_ejectCommands.find(drive.id());
        if (running != m_ejectCommands.end() && --running->second <= 0) {
            m_ejectCommands.erase(running);
        }
    }
}

std::set<std::string> EjectAttemptState::drivesBeingEjected() const {
    std::set<std::string> ejecting = m_workingDriveIDs;
    ejecting.insert(m_ejectReturned.begin(), m_ejectReturned.end());
    for (const auto& [id, count] : m_ejectCommands) {
        ejecting.insert(id);
    }
    return ejecting;
}

void EjectAttemptState::markDriveWorking(const std::string& driveID) {
    m_attentionDriveIDs.erase(driveID);
    m_workingDriveIDs.insert(driveID);
}

void EjectAttemptState::endDriveWork(const std::string& driveID, bool needsAttention) {
    m_workingDriveIDs.erase(driveID);
    if (needsAttention) {
        m_attentionDriveIDs.insert(driveID);
    } else {
        m_attentionDriveIDs.erase(driveID);
    }
}

void EjectAttemptState::forgetAttention(const std::string& driveID) {
    m_attentionDriveIDs.erase(driveID);
}

void EjectAttemptState::keepOnly(const std::set<std::string>& detectedIDs,
                                 const std::set<std::string>& managedIDs, bool keepWorking) {
    std::erase_if(m_attentionDriveIDs, [&](const auto& id) { return !managedIDs.contains(id); });
    if (!keepWorking) {
        std::erase_if(m_workingDriveIDs, [&](const auto& id) { return !detectedIDs.contains(id); });
    }
}

} // namespace berthkeep

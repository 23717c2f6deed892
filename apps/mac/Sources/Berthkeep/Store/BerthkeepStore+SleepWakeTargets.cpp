#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <algorithm>

namespace berthkeep {

bool BerthkeepStore::isListedUnmounted(const std::string& driveID) const {
    return !drives({driveID}).empty() && !isCurrentlyMounted(driveID);
}

std::vector<DetectedDrive> BerthkeepStore::mergedAttemptSuccessTargets() const {
    std::vector<DetectedDrive> merged = m_ejectAttempt.successfulTargets();
    for (const DetectedDrive& drive : m_ejectAttempt.targets()) {
        // One no longer listed was pulled out, not taken down.
        if (!isListedUnmounted(drive.id())) {
            continue;
        }
        const auto known =
            std::find_if(merged.begin(), merged.end(),
                         [&drive](const DetectedDrive& other) { return other.id() == drive.id(); });
        if (known == merged.end()) {
            merged.push_back(drive);
        } else {
            *known = drive;
        }
    }
    return merged;
}

void BerthkeepStore::preserveCompletedSleepEjectTargetsForWakeRemount() {
    const std::vector<DetectedDrive> drives = mergedAttemptSuccessTargets();
    if (drives.empty()) {
        return;
    }
    std::vector<RemountTarget> targets;
    for (const DetectedDrive& drive : drives) {
        if (auto target = wakeRemountTarget(drive, allowsGroupedWakeRemount(driveGroupID(drive)))) {
            targets.push_back(std::move(*target));
        }
    }
    wakeRemountQueue().merge(targets, m_ejectAttempt.begun());
}

bool BerthkeepStore::isTargetMounted(const RemountTarget& target) const {
    const DetectedDrive* drive = WakeRemountQueue::findDrive(target, m_detectedDrives);
    return drive && drive->isMounted();
}

void BerthkeepStore::forgetWakeRemount(const std::vector<DetectedDrive>& drives, const char* reason,
                                       std::uint64_t word) {
    const std::vector<RemountTarget> forgotten = wakeRemountQueue().remove(drives, word);
    if (forgotten.empty()) {
        return;
    }
    m_logger.notice(BerthkeepLogCategory::reliability, "sleep.wake.remount.dequeued",
                    "Took drives the user acted on off the wake remount queue",
                    {{"reason", reason},
                     {"drive_names", WakeRemountQueue::driveNames(forgotten)},
                     {"pending_retry_count", std::to_string(wakeRemountQueue().size())}});
}

std::set<std::string>
BerthkeepStore::speakForEject(const std::function<bool(const DetectedDrive&)>& covered,
                              const char* reason, bool keepsQueued) {
    std::vector<DetectedDrive> spoken;
    std::set<std::string> beingMounted;
    for (const DetectedDrive& drive : m_detectedDrives) {
        if (drive.scope() != DetectedDrive::Scope::managed || !covered(drive)) {
            continue;
        }
        spoken.push_back(drive);
        if (isBeingMounted(drive.id())) {
            beingMounted.insert(drive.id());
        }
    }
    if (keepsQueued) {
        wakeRemountQueue().keepForNextWake(spoken, {takeReportNumber(), wakeCount()});
    } else {
        forgetWakeRemount(spoken, reason, takeReportNumber());
    }
    return beingMounted;
}

std::vector<RemountTarget>
BerthkeepStore::sanitizedWakeRemountTargets(std::vector<RemountTarget> targets) const {
    for (RemountTarget& target : targets) {
        if (!target.remountGroupBSDName) {
            continue;
        }
        const std::string key = target.remountGroupID.value_or(*target.remountGroupBSDName);
        // Mounting the whole disk would also mount the volume the user excluded.
        if (key != target.driveID && visibleExcludedSiblingExists(key)) {
            target.remountGroupBSDName.reset();
            target.remountGroupID = target.driveID;
        }
    }
    return targets;
}

} // namespace berthkeep

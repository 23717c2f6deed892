#include "Berthkeep/Sleep/WakeRemountQueue.hpp"

#include <algorithm>

namespace berthkeep {

namespace {

// With nothing to compare on either side (a reading that gave no facts), the
// id is all there is; the executors check the drive again before they act.
bool isDrive(const RemountTarget& target, const DetectedDrive& drive) {
    if (target.identity.isEmpty() || drive.identity().isEmpty()) {
        return drive.id() == target.driveID;
    }
    return target.identity.matches(drive.identity());
}

} // namespace

bool WakeRemountQueue::add(RemountTarget target) {
    const auto queued =
        std::find_if(m_targets.begin(), m_targets.end(), [&target](const RemountTarget& entry) {
            return entry.driveID == target.driveID;
        });
    if (queued == m_targets.end()) {
        m_targets.push_back(std::move(target));
        return true;
    }
    if (queued->identity.isEmpty()) {
        queued->identity = std::move(target.identity);
    }
    return false;
}

std::size_t WakeRemountQueue::merge(const std::vector<RemountTarget>& targets) {
    std::size_t appended = 0;
    for (const RemountTarget& target : targets) {
        appended += add(target) ? 1 : 0;
    }
    return appended;
}

std::vector<RemountTarget> WakeRemountQueue::take(const std::set<std::string>& driveIDs) {
    std::vector<RemountTarget> taken;
    std::erase_if(m_targets, [&driveIDs, &taken](const RemountTarget& target) {
        if (!driveIDs.contains(target.driveID)) {
            return false;
        }
        taken.push_back(target);
        return true;
    });
    return taken;
}

std::vector<RemountTarget> WakeRemountQueue::remove(const std::vector<DetectedDrive>& drives) {
    std::set<std::string> driveIDs;
    for (const RemountTarget& target : m_targets) {
        if (std::any_of(drives.begin(), drives.end(),
                        [&target](const DetectedDrive& drive) { return isDrive(target, drive); })) {
            driveIDs.insert(target.driveID);
        }
    }
    return take(driveIDs);
}

const DetectedDrive* WakeRemountQueue::findDrive(const RemountTarget& target,
                                                 const std::vector<DetectedDrive>& drives) {
    const auto byID =
        std::find_if(drives.begin(), drives.end(), [&target](const DetectedDrive& drive) {
            return drive.id() == target.driveID;
        });
    if (byID != drives.end() && isDrive(target, *byID)) {
        return &*byID;
    }
    if (target.identity.isEmpty()) {
        return nullptr;
    }
    const auto byIdentity =
        std::find_if(drives.begin(), drives.end(),
                     [&target](const DetectedDrive& drive) { return isDrive(target, drive); });
    return byIdentity == drives.end() ? nullptr : &*byIdentity;
}

std::string WakeRemountQueue::driveNames(const std::vector<RemountTarget>& targets) {
    std::string names;
    for (const RemountTarget& target : targets) {
        names += (names.empty() ? "" : ", ") + target.driveName;
    }
    return names;
}

std::optional<RemountTarget> WakeRemountQueue::resolved(const RemountTarget& target,
                                                        const std::vector<DetectedDrive>& drives) {
    const DetectedDrive* drive = findDrive(target, drives);
    if (!drive) {
        return std::nullopt;
    }
    return retargeted(target, *drive);
}

RemountTarget WakeRemountQueue::retargeted(const RemountTarget& target,
                                           const DetectedDrive& drive) {
    RemountTarget now = target;
    if (drive.bsdName()) {
        now.bsdName = *drive.bsdName();
    }
    if (target.remountGroupBSDName && drive.ejectTargetBSDName()) {
        // The group key is the whole disk's name, lent like the rest.
        now.remountGroupBSDName = drive.ejectTargetBSDName();
        now.remountGroupID = drive.ejectGroupID();
    }
    return now;
}

} // namespace berthkeep

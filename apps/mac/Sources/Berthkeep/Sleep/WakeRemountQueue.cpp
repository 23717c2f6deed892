#include "Berthkeep/Sleep/WakeRemountQueue.hpp"

#include <algorithm>

namespace berthkeep {

namespace {

// With nothing to compare on either side (a reading that gave no facts), the
// id is all there is; the executors check the drive again before they act.
bool sameDrive(const std::string& recordedID, const DriveIdentity& recorded, const std::string& id,
               const DriveIdentity& identity) {
    if (recorded.isEmpty() || identity.isEmpty()) {
        return id == recordedID;
    }
    return recorded.matches(identity);
}

bool isDrive(const RemountTarget& target, const DetectedDrive& drive) {
    return sameDrive(target.driveID, target.identity, drive.id(), drive.identity());
}

} // namespace

bool WakeRemountQueue::add(RemountTarget target, QueuedBy by) {
    if (spokenAboutSince(target, by.number)) {
        return false;
    }
    const auto queued =
        std::find_if(m_targets.begin(), m_targets.end(), [&target](const RemountTarget& entry) {
            return entry.driveID == target.driveID;
        });
    if (queued == m_targets.end()) {
        m_stamps[target.driveID] = Stamp{m_latestSnapshot, by.wakesSeen};
        m_targets.push_back(std::move(target));
        return true;
    }
    if (queued->identity.isEmpty()) {
        queued->identity = std::move(target.identity);
    }
    return false;
}

std::size_t WakeRemountQueue::merge(const std::vector<RemountTarget>& targets, QueuedBy by) {
    std::size_t appended = 0;
    for (const RemountTarget& target : targets) {
        appended += add(target, by) ? 1 : 0;
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
    for (const RemountTarget& target : taken) {
        m_stamps.erase(target.driveID);
    }
    return taken;
}

void WakeRemountQueue::noteWord(const std::vector<DetectedDrive>& drives, std::uint64_t word) {
    for (const DetectedDrive& drive : drives) {
        const auto known = std::find_if(m_words.begin(), m_words.end(), [&drive](const Word& w) {
            return sameDrive(w.driveID, w.identity, drive.id(), drive.identity());
        });
        if (known == m_words.end()) {
            m_words.push_back({drive.id(), drive.identity(), word});
        } else {
            *known = {drive.id(), drive.identity(), std::max(known->number, word)};
        }
    }
    if (m_words.size() > kWordLimit) {
        std::sort(m_words.begin(), m_words.end(),
                  [](const Word& a, const Word& b) { return a.number > b.number; });
        m_words.resize(kWordLimit);
    }
}

std::set<std::string>
WakeRemountQueue::queuedIDsOf(const std::vector<DetectedDrive>& drives) const {
    std::set<std::string> driveIDs;
    for (const RemountTarget& target : m_targets) {
        if (std::any_of(drives.begin(), drives.end(),
                        [&target](const DetectedDrive& drive) { return isDrive(target, drive); })) {
            driveIDs.insert(target.driveID);
        }
    }
    return driveIDs;
}

std::vector<RemountTarget> WakeRemountQueue::remove(const std::vector<DetectedDrive>& drives,
                                                    std::uint64_t word) {
    noteWord(drives, word);
    return take(queuedIDsOf(drives));
}

void WakeRemountQueue::keepForNextWake(const std::vector<DetectedDrive>& drives, QueuedBy by) {
    noteWord(drives, by.number);
    for (const std::string& id : queuedIDsOf(drives)) {
        m_stamps[id].wakesSeen = by.wakesSeen;
    }
}

std::vector<RemountTarget> WakeRemountQueue::takeMounted(const std::vector<DetectedDrive>& drives,
                                                         std::uint64_t snapshotNumber) {
    std::set<std::string> driveIDs;
    for (const RemountTarget& target : m_targets) {
        const auto stamp = m_stamps.find(target.driveID);
        if (stamp != m_stamps.end() && stamp->second.snapshot >= snapshotNumber) {
            continue;
        }
        const DetectedDrive* drive = findDrive(target, drives);
        if (drive && drive->isMounted()) {
            driveIDs.insert(target.driveID);
        }
    }
    return take(driveIDs);
}

bool WakeRemountQueue::isDue(const RemountTarget& target, std::uint64_t wakeCount) const {
    const auto stamp = m_stamps.find(target.driveID);
    return stamp == m_stamps.end() || stamp->second.wakesSeen < wakeCount;
}

bool WakeRemountQueue::anyDue(std::uint64_t wakeCount) const {
    return std::any_of(
        m_targets.begin(), m_targets.end(),
        [this, wakeCount](const RemountTarget& target) { return isDue(target, wakeCount); });
}

bool WakeRemountQueue::spokenAboutSince(const RemountTarget& target, std::uint64_t begunAt) const {
    return std::any_of(m_words.begin(), m_words.end(), [&target, begunAt](const Word& word) {
        return word.number > begunAt &&
               sameDrive(word.driveID, word.identity, target.driveID, target.identity);
    });
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

std::map<std::string, std::string>
WakeRemountQueue::scheduledMetadata(std::size_t newTargetCount, std::size_t preservedCount) const {
    return {{"target_count", std::to_string(m_targets.size())},
            {"new_target_count", std::to_string(newTargetCount)},
            {"preserved_target_count", std::to_string(preservedCount)},
            {"drive_names", driveNames(m_targets)}};
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

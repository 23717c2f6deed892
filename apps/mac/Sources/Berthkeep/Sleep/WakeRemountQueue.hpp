#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Actions/RemountTarget.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// The drives to mount again after the next wake: only drives the program took
// down itself and the user has not acted on since. One entry per drive (by
// `driveID`), in the order they were queued. Each entry keeps the identity the
// drive had when it was queued: the BSD names it holds are only lent, and by
// the wake they may name another disk, so a mount first finds the drive again
// (findDrive) and takes the names it has now (retargeted).
//
// It also keeps the newest word on each drive: the number of the user's last
// act on it (an eject, a mount, an exclusion, Eject All). Work that began
// before that word, such as a sleep eject ending after the wake, queues the
// drive no more. And a drive that a fresh snapshot shows mounted, by whoever,
// leaves the queue: there is nothing left to bring back. Main thread only.
class WakeRemountQueue {
public:
    const std::vector<RemountTarget>& targets() const { return m_targets; }
    bool empty() const { return m_targets.empty(); }
    std::size_t size() const { return m_targets.size(); }

    // The work that queues a drive, as of when it began: the number its
    // reports carry, and how many wakes had been seen then. Its drives are
    // brought back by the first wake after that: an Eject & Sleep that queues
    // them during one wake is followed by its own sleep first.
    struct QueuedBy {
        std::uint64_t number = 0;
        std::uint64_t wakesSeen = 0;
    };

    // Appends the target unless its drive is queued already, or the user spoke
    // about the drive after the work began. A queued entry that was recorded
    // without an identity takes the new one. True when appended.
    bool add(RemountTarget target, QueuedBy by);
    // add() for each, in order; how many were appended.
    std::size_t merge(const std::vector<RemountTarget>& targets, QueuedBy by);
    // Whether the target's drive may be mounted again now that `wakeCount`
    // wakes have been seen: queued by work begun before the latest one.
    bool isDue(const RemountTarget& target, std::uint64_t wakeCount) const;
    bool anyDue(std::uint64_t wakeCount) const;
    // Takes out the entries of these drives and returns them, in queue order.
    std::vector<RemountTarget> take(const std::set<std::string>& driveIDs);
    // The user's word, numbered `word`, on these drives: their entries, found
    // by id or by identity (a drive known by its BSD name has a new id once
    // renumbered), are taken out and returned, and work begun before the word
    // does not queue them again.
    std::vector<RemountTarget> remove(const std::vector<DetectedDrive>& drives, std::uint64_t word);
    // The user's word that these drives sleep first (Eject & Sleep): their
    // entries stay, but come due only at the first wake after `by`, and work
    // begun before the word (an older wake's remount) leaves them alone.
    void keepForNextWake(const std::vector<DetectedDrive>& drives, QueuedBy by);

    // Whether the user spoke about the target's drive after work numbered
    // `begunAt` began.
    bool spokenAboutSince(const RemountTarget& target, std::uint64_t begunAt) const;

    // The inventory's snapshots are numbered as they begin; an entry is judged
    // only by snapshots that began after it was queued, since an older one may
    // still list the drive mounted.
    void snapshotBegun(std::uint64_t snapshotNumber) { m_latestSnapshot = snapshotNumber; }
    // Takes out the entries whose drives snapshot `snapshotNumber` lists
    // mounted, and returns them.
    std::vector<RemountTarget> takeMounted(const std::vector<DetectedDrive>& drives,
                                           std::uint64_t snapshotNumber);

    // The drive in `drives` that the target names: the one with its id unless the
    // recorded identity says that is another drive now, else the one with the
    // recorded identity. Null when the drive is not attached.
    static const DetectedDrive* findDrive(const RemountTarget& target,
                                          const std::vector<DetectedDrive>& drives);
    // The target with the BSD names its drive has now; its id, name, identity
    // and whether it goes with its whole disk stay.
    static RemountTarget retargeted(const RemountTarget& target, const DetectedDrive& drive);
    // Both at once: the target as its drive is named now; none when not attached.
    static std::optional<RemountTarget> resolved(const RemountTarget& target,
                                                 const std::vector<DetectedDrive>& drives);

    // The targets' drive names joined with ", ", for log lines.
    static std::string driveNames(const std::vector<RemountTarget>& targets);
    // What "sleep.wake.remount.scheduled" says of the queue after a merge of
    // `newTargetCount` targets into `preservedCount` entries.
    std::map<std::string, std::string> scheduledMetadata(std::size_t newTargetCount,
                                                         std::size_t preservedCount) const;

private:
    void noteWord(const std::vector<DetectedDrive>& drives, std::uint64_t word);
    std::set<std::string> queuedIDsOf(const std::vector<DetectedDrive>& drives) const;

    struct Word {
        std::string driveID;
        DriveIdentity identity;
        std::uint64_t number = 0;
    };
    // Kept for this many drives at most, the newest: a word only matters to work
    // still under way that began before it.
    static constexpr std::size_t kWordLimit = 64;

    struct Stamp {
        // The latest snapshot number when the entry was queued.
        std::uint64_t snapshot = 0;
        std::uint64_t wakesSeen = 0;
    };

    std::vector<RemountTarget> m_targets;
    // By drive id.
    std::map<std::string, Stamp> m_stamps;
    std::uint64_t m_latestSnapshot = 0;
    std::vector<Word> m_words;
};

} // namespace berthkeep

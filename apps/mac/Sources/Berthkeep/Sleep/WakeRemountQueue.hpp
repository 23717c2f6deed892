#pragma once

#include <cstddef>
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
// (findDrive) and takes the names it has now (retargeted). Main thread only.
class WakeRemountQueue {
public:
    const std::vector<RemountTarget>& targets() const { return m_targets; }
    bool empty() const { return m_targets.empty(); }
    std::size_t size() const { return m_targets.size(); }

    // Appends the target unless its drive is queued already; a queued entry
    // that was recorded without an identity takes the new one. True when appended.
    bool add(RemountTarget target);
    // add() for each, in order; how many were appended.
    std::size_t merge(const std::vector<RemountTarget>& targets);
    // Takes out the entries of these drives and returns them, in queue order.
    std::vector<RemountTarget> take(const std::set<std::string>& driveIDs);
    // Takes out the entries that are these drives, by id or by identity (a
    // drive known by its BSD name has a new id once renumbered).
    std::vector<RemountTarget> remove(const std::vector<DetectedDrive>& drives);

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

private:
    std::vector<RemountTarget> m_targets;
};

} // namespace berthkeep

#pragma once

#include <optional>
#include <string>

#include "Berthkeep/Drive/DriveIdentity.hpp"

namespace berthkeep {

// A drive queued or asked for to be mounted again.
struct RemountTarget {
    std::string driveID;
    std::string driveName;
    // What `mount` is given.
    std::string bsdName;
    // The whole disk, when the drive may be mounted together with its disk.
    std::optional<std::string> remountGroupBSDName;
    std::optional<std::string> remountGroupID;
    // The drive's, so the mount goes to that drive or to none. Not part of what
    // makes two targets the same: one recorded before its identity was read is
    // the same target as one recorded after.
    DriveIdentity identity;

    bool operator==(const RemountTarget& other) const {
        return driveID == other.driveID && driveName == other.driveName &&
               bsdName == other.bsdName && remountGroupBSDName == other.remountGroupBSDName &&
               remountGroupID == other.remountGroupID;
    }
};

} // namespace berthkeep

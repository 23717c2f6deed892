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
    // The drive's, so the mount goes to that drive or to none.
    DriveIdentity identity;

    bool operator==(const RemountTarget&) const = default;
};

} // namespace berthkeep

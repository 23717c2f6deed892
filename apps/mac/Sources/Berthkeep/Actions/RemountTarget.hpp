#pragma once

#include <optional>
#include <string>

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

    bool operator==(const RemountTarget&) const = default;
};

} // namespace berthkeep

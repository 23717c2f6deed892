#pragma once

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// A physical-disk group that the drive list draws as one card. Identity is `id`.
struct DriveGroupState {
    std::string id;
    std::optional<std::string> title;
    // The `id` of each member row.
    std::vector<std::string> driveIDs;

    bool operator==(const DriveGroupState&) const = default;
};

} // namespace berthkeep

#pragma once

#include <string>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// The drives one eject step handles together because they share a drive group:
// one `diskutil eject` of the first mounted member stands for all of them.
struct EjectTargetGroup {
    std::string id;
    // In the order of the list the groups were built from.
    std::vector<DetectedDrive> members;

    bool operator==(const EjectTargetGroup&) const = default;
};

} // namespace berthkeep

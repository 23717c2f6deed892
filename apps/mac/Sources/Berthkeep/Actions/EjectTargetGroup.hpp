#pragma once

#include <string>
#include <vector>

#include "Berthkeep/Actions/DriveEjectMode.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// The drives one eject step handles together because they share a drive group:
// one `diskutil eject` of the first mounted member stands for all of them. A
// disk that also holds a volume the user excluded is never ejected whole: each
// managed volume of it is a group of its own, unmounted in volume mode.
struct EjectTargetGroup {
    std::string id;
    // In the order of the list the groups were built from.
    std::vector<DetectedDrive> members;
    DriveEjectMode mode = DriveEjectMode::device;

    bool operator==(const EjectTargetGroup&) const = default;
};

} // namespace berthkeep

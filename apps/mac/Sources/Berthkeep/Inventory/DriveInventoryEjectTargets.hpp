#pragma once

#include <map>
#include <string>
#include <vector>

#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"

namespace berthkeep {

// Which physical whole disk `diskutil eject` must be given to take a device
// away. Devices with the same target form one group: they are ejected and
// remounted together.
namespace DriveInventoryEjectTargets {

// An entry for every device of the input: a partition resolves through its
// parent, an APFS volume through its container's first physical store, to the
// physical whole disk; a reference to a device that is not in the input is
// skipped, and a loop of references ends at the device's own fallback.
std::map<std::string, std::string>
ejectTargetBSDNamesByDeviceIdentifier(const std::vector<DiskUtilityVolumeFacts>& facts);

// The identifier with a trailing "s" and digits removed: "disk4s2" gives
// "disk4", "disk4" stays "disk4". The grouping used wherever no resolved eject
// target is known.
std::string wholeDiskIdentifier(const std::string& deviceIdentifier);

} // namespace DriveInventoryEjectTargets

} // namespace berthkeep

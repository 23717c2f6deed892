#pragma once

#include <string>
#include <vector>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// What a wake re-enumerates, as a USB bus does: every parked drive (ejected but
// still plugged in) comes back with its containers, no volume mounted. Disk
// images are not hardware and stay parked; detached disks are not parked, so
// they stay gone; a drive with a BSD name taken meanwhile stays parked, whole,
// and of two parked drives on one name the older comes back.
// Returns the BSD names added.
std::vector<std::string> bringBackParkedDisks(SimulatedWorld& world);

} // namespace berthkeep

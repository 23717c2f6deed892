#pragma once

#include <string>
#include <vector>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// What a wake re-enumerates, as a USB bus does: every parked disk (ejected but
// still plugged in) comes back with its containers, no volume mounted. Disk
// images are not hardware and stay parked; detached disks are not parked, so
// they stay gone; a disk whose BSD name was taken meanwhile stays parked.
// Returns the BSD names added.
std::vector<std::string> bringBackParkedDisks(SimulatedWorld& world);

} // namespace berthkeep

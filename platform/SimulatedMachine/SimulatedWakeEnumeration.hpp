#pragma once

#include <string>
#include <vector>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// What a wake re-enumerates: the disks the machine had when it went to sleep and
// has no longer (ejected meanwhile) come back, with no volume mounted. Disk
// images are not hardware and stay gone; a disk whose BSD name was taken by
// another one meanwhile is not brought back. The disks brought back leave the
// parked list. Returns the BSD names added.
std::vector<std::string> bringBackDisksGoneSince(SimulatedWorld& world,
                                                 const SimulatedWorld& asleep);

} // namespace berthkeep

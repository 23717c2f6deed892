#pragma once

#include <vector>

#include "platform/DiskArbitration/DiskArbitrationSession.hpp"
#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// Every disk the disk service would report for this world, in a stable order:
// whole disks, their volumes, then network volumes (identity "network:<path>").
std::vector<DiskArbitrationDisk> simulatedDiskArbitrationDisks(const SimulatedWorld& world);

} // namespace berthkeep

#pragma once

#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// The one order of every drive list the inventory hands out: by name in
// natural order (see NaturalNameOrder). Stable: names that compare equal keep
// their incoming order.
std::vector<DetectedDrive> sortedByLocalizedDriveName(std::vector<DetectedDrive> drives);

} // namespace berthkeep

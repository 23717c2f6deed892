#pragma once

#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// The one order of every drive list the inventory hands out: by name, as a file
// browser orders names (locale-aware, case-insensitive, runs of digits by value,
// so "Disk 9" comes before "Disk 10"). Stable: names that compare equal keep
// their incoming order.
std::vector<DetectedDrive> sortedByLocalizedDriveName(std::vector<DetectedDrive> drives);

// The comparison behind it: negative, zero or positive.
int localizedStandardCompare(const std::string& left, const std::string& right);

} // namespace berthkeep

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// The XML property lists the disk tools print for this world.

// `diskutil list -plist external`: every disk not internal (disk images included),
// with its partitions and the APFS containers on it.
std::string renderDiskUtilityExternalList(const SimulatedWorld& world);
// `diskutil info -plist <device>`; none when the device is unknown.
std::optional<std::string> renderDiskUtilityInfo(const SimulatedWorld& world,
                                                 std::string_view device);
// `hdiutil info -plist`.
std::string renderDiskImageInfo(const SimulatedWorld& world);

} // namespace berthkeep

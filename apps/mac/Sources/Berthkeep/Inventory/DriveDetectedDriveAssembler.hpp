#pragma once

#include <optional>
#include <set>
#include <string>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "platform/Paths/VolumesFolder.hpp"

namespace berthkeep {

// One drive record from one device's `diskutil info` facts.
namespace DriveDetectedDriveAssembler {

// What the facts say the device is, blank values left out. The drive actions
// compare it with a fresh reading before they act.
DriveIdentity identity(const DiskUtilityVolumeFacts& facts);

// Nothing when the facts carry no identity at all (no name, UUID or file
// system). The id is the volume UUID, else the device identifier; without an
// eject target the device is its own target and group. The mount URL is the
// mount point exactly as `diskutil` gave it: blanks at its ends are part of the
// folder's name.
std::optional<DetectedDrive>
buildDetectedDrive(const DiskUtilityVolumeFacts& facts,
                   const std::set<std::string>& excludedDriveIDs,
                   const std::optional<std::string>& ejectTargetBSDName,
                   bool allowsGroupedWakeRemount, const VolumesFolder& volumesFolder);

} // namespace DriveDetectedDriveAssembler

} // namespace berthkeep

#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Inventory/DiskArbitrationDiskDescription.hpp"
#include "Berthkeep/Inventory/DriveInventoryAuditContext.hpp"
#include "Berthkeep/Inventory/MountedVolumeFacts.hpp"
#include "platform/MountedVolumes/MountedVolumeListing.hpp"
#include "platform/Paths/VolumesFolder.hpp"

namespace berthkeep {

// Drives found without starting any process: from the disk service's cached
// descriptions, or from the mounted-volume listing completed by those
// descriptions. Stateless; any thread.
namespace DriveInventoryMountedVolumeBootstrap {

// A drive for a cached description of a mounted, local, not internal volume
// under the volumes folder; nothing for anything else. The id is the volume
// UUID, else the BSD name; the eject target and group are the whole disk. The
// mount URL is the description's own.
std::optional<DetectedDrive> detectedDriveFromDiskArbitration(
    const std::string& bsdName, const std::optional<DiskArbitrationDiskDescription>& description,
    const std::set<std::string>& excludedDriveIDs, const DriveInventoryAuditContext& context,
    const VolumesFolder& volumesFolder);

// One facts record per mounted volume the listing reports (hidden ones
// skipped), in its order; values the listing does not give are taken from the
// description mounted at the same path. Unfiltered: the caller classifies. A
// volume whose values cannot be read is left out, with an error line. Every
// value the listing knows is asked for.
std::vector<MountedVolumeFacts> mountedVolumeFacts(
    const std::map<std::string, DiskArbitrationDiskDescription>& descriptionsByBSDName,
    const DriveInventoryAuditContext& context, const MountedVolumeListing& fileManager);

} // namespace DriveInventoryMountedVolumeBootstrap

} // namespace berthkeep

#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Inventory/DiskArbitrationDescribing.hpp"
#include "Berthkeep/Inventory/DiskImageAttachment.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "Berthkeep/Inventory/DriveClassification.hpp"
#include "BerthkeepShared/BerthkeepLogEvent.hpp"
#include "platform/Paths/VolumesFolder.hpp"

namespace berthkeep {

// The detailed inventory's last step: hydrated `diskutil info` facts to the
// sorted list of physical external drives.
namespace DriveInventoryDiskDrivesAssembler {

// Each device identifier occurs once in `diskFacts`. Every device is classified;
// one drive is built per physical external device, with its resolved eject
// target as target and group. A group that also holds a device of another
// classification (the whole disk, an EFI partition, ...) is not remounted as a
// group after wake.
std::vector<DetectedDrive> buildSortedPhysicalExternalDrives(
    const std::vector<DiskUtilityVolumeFacts>& diskFacts,
    DiskArbitrationDescribing& diskArbitrationProvider,
    const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
    const std::set<std::string>& excludedDriveIDs, const VolumesFolder& volumesFolder);

// The audit form of one verdict: "bsd_name", "classification"
// ("physical_external", "network_volume" or "ignored"), "group_id", and
// "ignore_reason" for ignored devices only.
BerthkeepLogMetadata classificationAuditMetadata(const DriveClassification& classification,
                                                 const DiskUtilityVolumeFacts& facts,
                                                 const std::string& groupID);

} // namespace DriveInventoryDiskDrivesAssembler

} // namespace berthkeep

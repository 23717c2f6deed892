#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Inventory/DiskArbitrationDiskDescription.hpp"
#include "Berthkeep/Inventory/DiskImageAttachment.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "Berthkeep/Inventory/DriveClassification.hpp"
#include "Berthkeep/Inventory/MountedVolumeFacts.hpp"

namespace berthkeep {

// Decides whether a disk or mounted volume is a physical external volume, a
// network volume, or something to ignore (and why). Pure functions; the rules run
// in a fixed order and the first that matches decides.
namespace DriveInventoryClassifier {

DriveClassification
classifyDiskFacts(const DiskUtilityVolumeFacts& facts,
                  const std::optional<DiskImageAttachment>& diskImageAttachment,
                  const std::optional<DiskArbitrationDiskDescription>& diskArbitrationDescription);

DriveClassification classifyMountedVolumeFacts(const MountedVolumeFacts& facts);

// Whether the facts name the volume at all: a volume name that is not blank, or
// a UUID or file-system type or name (for these three presence alone counts, an
// empty string included).
bool hasIdentity(const DiskUtilityVolumeFacts& facts);

// Folders of simulator runtimes and system assets, which mount disk images that
// look like external volumes.
const std::vector<std::string>& virtualSystemPathPrefixes();
// Plain, case-sensitive prefix test against virtualSystemPathPrefixes().
bool hasVirtualPrefix(const std::string& path);

} // namespace DriveInventoryClassifier

} // namespace berthkeep

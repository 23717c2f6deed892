#include "Berthkeep/Inventory/DriveDetectedDriveAssembler.hpp"

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "Berthkeep/Inventory/DriveInventoryClassifier.hpp"
#include "Berthkeep/Inventory/DriveInventoryPaths.hpp"
#include "Berthkeep/Inventory/DriveInventoryText.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/MountedVolumes/MountedVolumeListing.hpp"

namespace berthkeep::DriveDetectedDriveAssembler {

namespace {

// Core-only mode must not touch removable volumes; building a URL for one is
// recorded as a violation. The URL is built all the same: the caller decides.
QUrl buildMountURL(const std::string& path, ActivityDetectionMode mode,
                   BerthkeepAuditWorkPhase phase, const std::string& component,
                   const std::string& method, const VolumesFolder& volumesFolder) {
    if (mode == ActivityDetectionMode::coreOnly && volumesFolder.contains(path)) {
        BerthkeepStartupAudit::coreOnlyViolation(component, method, phase,
                                                 "Attempted to construct a filesystem URL for a "
                                                 "mounted removable path in core-only mode",
                                                 path);
    } else {
        BerthkeepStartupAudit::debug(component, method, mode, phase,
                                     "Constructing filesystem URL from mount path", path);
    }
    // The form the disk service and the listing hand out: one volume, one URL.
    return volumeDirectoryURL(path);
}

} // namespace

DriveIdentity identity(const DiskUtilityVolumeFacts& facts) {
    DriveIdentity identity;
    identity.volumeUUID = DriveInventoryText::nonEmpty(facts.volumeUUID);
    identity.diskUUID = DriveInventoryText::nonEmpty(facts.diskUUID);
    identity.mediaName = DriveInventoryText::nonEmpty(facts.mediaName);
    identity.sizeBytes = facts.size;
    identity.busPath = DriveInventoryText::nonEmpty(facts.deviceTreePath);
    return identity;
}

std::optional<DetectedDrive>
buildDetectedDrive(const DiskUtilityVolumeFacts& facts,
                   const std::set<std::string>& excludedDriveIDs,
                   const std::optional<std::string>& ejectTargetBSDName,
                   bool allowsGroupedWakeRemount, const VolumesFolder& volumesFolder) {
    if (!DriveInventoryClassifier::hasIdentity(facts)) {
        return std::nullopt;
    }
    // Trimmed only to see whether there is a mount point: "/Volumes/Untitled " is
    // a folder of its own, and its trimmed form names one that does not exist.
    std::optional<QUrl> mountURL;
    if (DriveInventoryText::nonEmpty(facts.mountPoint)) {
        mountURL =
            buildMountURL(*facts.mountPoint, ActivityDetectionMode::enhanced,
                          BerthkeepAuditWorkPhase::backgroundWork, "MountedVolumeInventoryService",
                          "buildDetectedDrive", volumesFolder);
    }
    std::string id = facts.volumeUUID ? *facts.volumeUUID : facts.deviceIdentifier;

    std::string name;
    if (const auto volumeName = DriveInventoryText::nonEmpty(facts.volumeName)) {
        name = *volumeName;
    } else if (mountURL) {
        name = DriveInventoryText::trimmed(DriveInventoryPaths::lastPathComponent(*mountURL));
    } else if (const auto entryName = DriveInventoryText::nonEmpty(facts.ioRegistryEntryName)) {
        name = *entryName;
    } else if (const auto mediaName = DriveInventoryText::nonEmpty(facts.mediaName)) {
        name = *mediaName;
    } else {
        name = facts.deviceIdentifier;
    }

    const auto scope = excludedDriveIDs.count(id) > 0 ? DetectedDrive::Scope::excluded
                                                      : DetectedDrive::Scope::managed;
    const std::string target = ejectTargetBSDName.value_or(facts.deviceIdentifier);
    return DetectedDrive(std::move(id), std::move(name), std::move(mountURL), scope,
                         facts.ejectable.value_or(false), facts.deviceIdentifier, target, target,
                         allowsGroupedWakeRemount, identity(facts));
}

} // namespace berthkeep::DriveDetectedDriveAssembler

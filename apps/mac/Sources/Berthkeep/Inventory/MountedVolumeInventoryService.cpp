#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"

#include <stdexcept>

#include "Berthkeep/Inventory/DetectedDrive+Sorting.hpp"
#include "Berthkeep/Inventory/DiskUtilityListOutput.hpp"
#include "Berthkeep/Inventory/DriveInventoryClassifier.hpp"
#include "Berthkeep/Inventory/DriveInventoryDiskDrivesAssembler.hpp"
#include "Berthkeep/Inventory/DriveInventoryEjectTargets.hpp"
#include "Berthkeep/Inventory/DriveInventoryMountedVolumeBootstrap.hpp"
#include "Berthkeep/Inventory/DriveInventoryPaths.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep {

namespace {

const char* const auditComponent = "MountedVolumeInventoryService";

void audit(const DriveInventoryAuditContext& context, const char* method, const char* message,
           const std::optional<std::string>& targetPath = std::nullopt,
           const BerthkeepLogMetadata& metadata = {}) {
    BerthkeepStartupAudit::debug(auditComponent, method, context.mode, context.phase, message,
                                 targetPath, metadata);
}

} // namespace

MountedVolumeInventoryService::MountedVolumeInventoryService(
    std::shared_ptr<const DiskUtilityRunning> diskUtilityRunner,
    std::shared_ptr<const DiskImageListing> diskImageRegistry,
    std::shared_ptr<LiveDiskArbitrationProvider> diskArbitrationProvider,
    std::shared_ptr<const MountedVolumeListing> fileManager, VolumesFolder volumesFolder)
    : m_diskImageRegistry(std::move(diskImageRegistry))
    , m_diskArbitrationProvider(std::move(diskArbitrationProvider))
    , m_fileManager(std::move(fileManager))
    , m_volumesFolder(std::move(volumesFolder))
    , m_ignoredCandidateCache(std::make_shared<IgnoredDriveCandidateCache>())
    , m_diskFactsHydrator(std::make_shared<DiskUtilityDriveFactsHydrator>(
          std::move(diskUtilityRunner), m_diskArbitrationProvider, m_ignoredCandidateCache)) {
    if (!m_fileManager) {
        throw std::invalid_argument("MountedVolumeInventoryService: no mounted-volume listing");
    }
}

std::vector<DetectedDrive>
MountedVolumeInventoryService::snapshot(const std::set<std::string>& excludedDriveIDs,
                                        const DriveInventoryAuditContext& context) {
    audit(context, "snapshot", "Starting drive inventory refresh");
    const bool detailed = context.mode != ActivityDetectionMode::coreOnly &&
                          context.stage != DriveInventoryRefreshStage::bootstrap;
    auto drives = detailed ? detailedSnapshot(excludedDriveIDs, context)
                           : coreOnlySnapshot(excludedDriveIDs, context);
    audit(context, "snapshot", "Finished drive inventory refresh", std::nullopt,
          {{"drive_count", std::to_string(drives.size())}, {"stage", toString(context.stage)}});
    return drives;
}

std::vector<DetectedDrive>
MountedVolumeInventoryService::snapshot(const std::set<std::string>& excludedDriveIDs,
                                        bool allowMountedVolumeAccess) {
    const DriveInventoryAuditContext context{
        allowMountedVolumeAccess ? ActivityDetectionMode::enhanced
                                 : ActivityDetectionMode::coreOnly,
        BerthkeepAuditWorkPhase::backgroundWork, DriveInventoryRefreshStage::reconcile};
    return snapshot(excludedDriveIDs, context);
}

std::vector<DetectedDrive>
MountedVolumeInventoryService::detailedSnapshot(const std::set<std::string>& excludedDriveIDs,
                                                const DriveInventoryAuditContext& context) {
    std::map<std::string, DiskImageAttachment> images;
    try {
        images = m_diskImageRegistry->currentImagesByDeviceIdentifier();
    } catch (...) {
        // The listing promises not to throw; should it, go on without images
        // as it would after its own failure.
        images.clear();
    }
    const auto list = m_diskFactsHydrator->decodeDiskUtilityOutput<DiskUtilityListOutput>(
        context, {"list", "-plist", "external"});
    std::optional<std::vector<DiskUtilityVolumeFacts>> facts;
    if (list) {
        const auto candidates =
            m_diskFactsHydrator->prefilterHydrationCandidates(list->allDisks, images, context);
        facts = m_diskFactsHydrator->decodeDiskFactsInParallel(candidates, context, images,
                                                               list->entriesByIdentifier);
    }
    if (!facts) {
        audit(context, "detailedSnapshot",
              "Falling back to core-only inventory after diskutil hydration failed");
        return coreOnlySnapshot(excludedDriveIDs, context);
    }
    return DriveInventoryDiskDrivesAssembler::buildSortedPhysicalExternalDrives(
        *facts, *m_diskArbitrationProvider, images, excludedDriveIDs, m_volumesFolder);
}

std::vector<DetectedDrive>
MountedVolumeInventoryService::coreOnlySnapshot(const std::set<std::string>& excludedDriveIDs,
                                                const DriveInventoryAuditContext& context) {
    const auto descriptions = m_diskArbitrationProvider->cachedDescriptionsByBSDName();
    std::vector<DetectedDrive> drives;
    for (const auto& [bsdName, description] : descriptions) {
        std::optional<std::string> targetPath;
        if (description.volumePath) {
            targetPath = DriveInventoryPaths::filePath(*description.volumePath);
        }
        audit(context, "coreOnlySnapshot",
              "Handling Disk Arbitration cached candidate in core-only mode", targetPath,
              {{"bsd_name", bsdName}});
        if (auto drive = DriveInventoryMountedVolumeBootstrap::detectedDriveFromDiskArbitration(
                bsdName, description, excludedDriveIDs, context, m_volumesFolder)) {
            drives.push_back(std::move(*drive));
        }
    }
    if (!drives.empty()) {
        return sortedByLocalizedDriveName(std::move(drives));
    }
    audit(context, "coreOnlySnapshot",
          "Falling back to mounted volume bootstrap because Disk Arbitration cache is empty");
    const auto volumes = DriveInventoryMountedVolumeBootstrap::mountedVolumeFacts(
        descriptions, context, *m_fileManager);
    return sortedByLocalizedDriveName(snapshotFromMountedVolumes(volumes, excludedDriveIDs));
}

std::vector<DetectedDrive> MountedVolumeInventoryService::snapshotFromMountedVolumes(
    const std::vector<MountedVolumeFacts>& facts, const std::set<std::string>& excludedDriveIDs) {
    std::vector<DetectedDrive> drives;
    for (const auto& volume : facts) {
        if (auto drive = makeDrive(volume, excludedDriveIDs)) {
            drives.push_back(std::move(*drive));
        }
    }
    return sortedByLocalizedDriveName(std::move(drives));
}

std::optional<DetectedDrive>
MountedVolumeInventoryService::makeDrive(const MountedVolumeFacts& facts,
                                         const std::set<std::string>& excludedDriveIDs) {
    const auto classification = DriveInventoryClassifier::classifyMountedVolumeFacts(facts);
    if (classification.kind() != DriveClassification::Kind::physicalExternal) {
        return std::nullopt;
    }
    // A volume without a UUID must keep the identity the detailed and the
    // cached-description paths give it (its BSD name): an id that changes with
    // the path would let an excluded drive come back as managed.
    std::string id;
    if (facts.volumeUUIDString) {
        id = *facts.volumeUUIDString;
    } else if (facts.bsdName) {
        id = *facts.bsdName;
    } else {
        id = DriveInventoryPaths::filePath(facts.mountURL);
    }
    std::string name;
    if (facts.volumeLocalizedName) {
        name = *facts.volumeLocalizedName;
    } else if (facts.volumeName) {
        name = *facts.volumeName;
    } else {
        name = DriveInventoryPaths::lastPathComponent(facts.mountURL);
    }
    const auto scope = excludedDriveIDs.count(id) > 0 ? DetectedDrive::Scope::excluded
                                                      : DetectedDrive::Scope::managed;
    std::optional<std::string> ejectTarget;
    if (facts.bsdName) {
        ejectTarget = DriveInventoryEjectTargets::wholeDiskIdentifier(*facts.bsdName);
    }
    std::string groupID = ejectTarget ? *ejectTarget : id;
    DriveIdentity identity;
    identity.volumeUUID = facts.volumeUUIDString;
    return DetectedDrive(std::move(id), std::move(name), facts.mountURL, scope,
                         facts.volumeIsEjectable.value_or(false), facts.bsdName, ejectTarget,
                         std::move(groupID), true, std::move(identity));
}

} // namespace berthkeep

#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Inventory/DiskImageListing.hpp"
#include "Berthkeep/Inventory/DiskUtilityDriveFactsHydrator.hpp"
#include "Berthkeep/Inventory/DiskUtilityRunning.hpp"
#include "Berthkeep/Inventory/DriveInventoryProviding.hpp"
#include "Berthkeep/Inventory/IgnoredDriveCandidateCache.hpp"
#include "Berthkeep/Inventory/LiveDiskArbitrationProvider.hpp"
#include "Berthkeep/Inventory/MountedVolumeFacts.hpp"
#include "platform/MountedVolumes/MountedVolumeListing.hpp"
#include "platform/Paths/VolumesFolder.hpp"

namespace berthkeep {

// The program's inventory: every snapshot returns the complete list of attached
// external drives, sorted by name, and never fails.
//
// - Detailed path (reconcile stage, mode not core-only): `hdiutil` for the
//   attached images, `diskutil list` and `diskutil info` for every candidate,
//   classified and grouped by physical whole disk. Any failure on the way
//   discards the attempt and the core-only result is returned instead.
// - Core-only path (core-only mode, or the launch-time bootstrap stage in any
//   mode): no child process; drives from the disk service's cached descriptions,
//   or, when those give none, from the mounted volumes.
//
// Blocks its caller (the detailed path for several seconds at worst): run it
// off the main thread except for the bootstrap stage. Copies share the
// ignored-candidate cache and the hydrator; two snapshots may run at once.
class MountedVolumeInventoryService final : public ContextualDriveInventoryProviding {
public:
    // `fileManager` (not null: std::invalid_argument) lists the mounted volumes
    // and `volumesFolder` is where they mount: both come from the same machine,
    // live or simulated, which the caller chooses.
    MountedVolumeInventoryService(
        std::shared_ptr<const DiskUtilityRunning> diskUtilityRunner,
        std::shared_ptr<const DiskImageListing> diskImageRegistry,
        std::shared_ptr<LiveDiskArbitrationProvider> diskArbitrationProvider,
        std::shared_ptr<const MountedVolumeListing> fileManager, VolumesFolder volumesFolder);

    std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                        const DriveInventoryAuditContext& context) override;
    // Mode `enhanced` when access is allowed, else `coreOnly`; background work,
    // reconcile stage.
    std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                        bool allowMountedVolumeAccess) override;

    // The store empties it on every disk event, before it schedules a refresh.
    const std::shared_ptr<IgnoredDriveCandidateCache>& ignoredCandidateCache() const {
        return m_ignoredCandidateCache;
    }

    // One mounted volume to a drive: only physical external volumes give one.
    // The id is the volume UUID, else the BSD name, else the mount path, the
    // same identity the other paths give the same volume.
    static std::optional<DetectedDrive> makeDrive(const MountedVolumeFacts& facts,
                                                  const std::set<std::string>& excludedDriveIDs);

private:
    std::vector<DetectedDrive> detailedSnapshot(const std::set<std::string>& excludedDriveIDs,
                                                const DriveInventoryAuditContext& context);
    std::vector<DetectedDrive> coreOnlySnapshot(const std::set<std::string>& excludedDriveIDs,
                                                const DriveInventoryAuditContext& context);
    static std::vector<DetectedDrive>
    snapshotFromMountedVolumes(const std::vector<MountedVolumeFacts>& facts,
                               const std::set<std::string>& excludedDriveIDs);

    std::shared_ptr<const DiskImageListing> m_diskImageRegistry;
    std::shared_ptr<LiveDiskArbitrationProvider> m_diskArbitrationProvider;
    std::shared_ptr<const MountedVolumeListing> m_fileManager;
    VolumesFolder m_volumesFolder;
    std::shared_ptr<IgnoredDriveCandidateCache> m_ignoredCandidateCache;
    std::shared_ptr<DiskUtilityDriveFactsHydrator> m_diskFactsHydrator;
};

} // namespace berthkeep

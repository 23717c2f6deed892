#include "Berthkeep/Inventory/DriveInventoryMountedVolumeBootstrap.hpp"

#include "Berthkeep/Inventory/DriveInventoryClassifier.hpp"
#include "Berthkeep/Inventory/DriveInventoryEjectTargets.hpp"
#include "Berthkeep/Inventory/DriveInventoryPaths.hpp"
#include "Berthkeep/Inventory/DriveInventoryText.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep::DriveInventoryMountedVolumeBootstrap {

namespace {

const char* const auditComponent = "MountedVolumeInventoryService";

struct IndexedDescription {
    std::string bsdName;
    const DiskArbitrationDiskDescription* description;
};

template <typename T>
std::optional<T> either(const std::optional<T>& first, const std::optional<T>& second) {
    return first ? first : second;
}

} // namespace

std::optional<DetectedDrive> detectedDriveFromDiskArbitration(
    const std::string& bsdName, const std::optional<DiskArbitrationDiskDescription>& description,
    const std::set<std::string>& excludedDriveIDs, const DriveInventoryAuditContext& context,
    const VolumesFolder& volumesFolder) {
    if (!description || !description->volumePath) {
        return std::nullopt;
    }
    const std::string path = DriveInventoryPaths::filePath(*description->volumePath);
    if (!volumesFolder.contains(path)) {
        return std::nullopt;
    }
    if (description->volumeNetwork.value_or(false) || description->deviceInternal.value_or(false)) {
        return std::nullopt;
    }
    if (DriveInventoryClassifier::hasVirtualPrefix(path)) {
        return std::nullopt;
    }

    std::string id = description->volumeUUIDString ? *description->volumeUUIDString : bsdName;
    std::string name;
    if (const auto volumeName = DriveInventoryText::nonEmpty(description->volumeName)) {
        name = *volumeName;
    } else {
        name = DriveInventoryText::trimmed(
            DriveInventoryPaths::lastPathComponent(*description->volumePath));
        if (name.empty()) {
            name = bsdName;
        }
    }
    const auto scope = excludedDriveIDs.count(id) > 0 ? DetectedDrive::Scope::excluded
                                                      : DetectedDrive::Scope::managed;
    const bool isEjectable =
        description->mediaEjectable.value_or(false) || description->mediaRemovable.value_or(false);
    const std::string target = DriveInventoryEjectTargets::wholeDiskIdentifier(bsdName);

    BerthkeepStartupAudit::debug(auditComponent, "makeMountedDriveFromDiskArbitrationDescription",
                                 context.mode, context.phase,
                                 "Building mounted drive from Disk Arbitration metadata only", path,
                                 {{"bsd_name", bsdName}});
    DriveIdentity identity;
    identity.volumeUUID = description->volumeUUIDString;
    return DetectedDrive(std::move(id), std::move(name), description->volumePath, scope,
                         isEjectable, bsdName, target, target, true, std::move(identity));
}

std::vector<MountedVolumeFacts> mountedVolumeFacts(
    const std::map<std::string, DiskArbitrationDiskDescription>& descriptionsByBSDName,
    const DriveInventoryAuditContext& context, const MountedVolumeListing& fileManager) {
    // Two descriptions never share a mount path; should it happen, the first
    // BSD name in order wins.
    std::map<std::string, IndexedDescription> descriptionsByPath;
    for (const auto& [bsdName, description] : descriptionsByBSDName) {
        if (!description.volumePath) {
            continue;
        }
        descriptionsByPath.emplace(DriveInventoryPaths::filePath(description.volumePath->adjusted(
                                       QUrl::NormalizePathSegments)),
                                   IndexedDescription{bsdName, &description});
    }

    std::vector<MountedVolumeFacts> result;
    const auto urls =
        fileManager.mountedVolumeURLs(allVolumeResourceKeys(), MountedVolumeListingOptions{true});
    if (!urls) {
        return result;
    }
    for (const QUrl& listed : *urls) {
        const QUrl url = listed.adjusted(QUrl::NormalizePathSegments);
        const std::string path = DriveInventoryPaths::filePath(url);
        VolumeResourceValues values;
        try {
            values = fileManager.resourceValues(url, allVolumeResourceKeys());
        } catch (...) {
            BerthkeepStartupAudit::error(auditComponent, "mountedVolumeFactsForBootstrap",
                                         context.mode, context.phase,
                                         "Failed to read mounted volume resource values", path);
            continue;
        }
        const auto match = descriptionsByPath.find(path);
        const DiskArbitrationDiskDescription* description =
            match == descriptionsByPath.end() ? nullptr : match->second.description;

        MountedVolumeFacts facts;
        static_cast<VolumeResourceValues&>(facts) = values;
        facts.mountURL = url;
        if (description) {
            facts.bsdName = match->second.bsdName;
            facts.volumeUUIDString = either(values.volumeUUIDString, description->volumeUUIDString);
            facts.volumeName = either(values.volumeName, description->volumeName);
            facts.volumeIsEjectable = either(values.volumeIsEjectable, description->mediaEjectable);
            facts.volumeIsInternal = either(values.volumeIsInternal, description->deviceInternal);
            std::optional<bool> local;
            if (description->volumeNetwork) {
                local = !*description->volumeNetwork;
            }
            facts.volumeIsLocal = either(values.volumeIsLocal, local);
            facts.volumeIsRemovable = either(values.volumeIsRemovable, description->mediaRemovable);
        }
        result.push_back(std::move(facts));
    }
    return result;
}

} // namespace berthkeep::DriveInventoryMountedVolumeBootstrap

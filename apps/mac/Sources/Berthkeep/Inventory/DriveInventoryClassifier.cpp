#include "Berthkeep/Inventory/DriveInventoryClassifier.hpp"

#include "Berthkeep/Inventory/DriveInventoryPaths.hpp"
#include "Berthkeep/Inventory/DriveInventoryText.hpp"

namespace berthkeep::DriveInventoryClassifier {

namespace {

bool isTrue(const std::optional<bool>& flag) {
    return flag.has_value() && *flag;
}

bool isFalse(const std::optional<bool>& flag) {
    return flag.has_value() && !*flag;
}

bool equals(const std::optional<std::string>& text, const char* expected) {
    return text.has_value() && *text == expected;
}

// The EFI system partition and the APFS container partition are never
// candidates; the container's volumes are classified in their own right.
bool isUserMountableVolume(const DiskUtilityVolumeFacts& facts) {
    if (!facts.content) {
        return true;
    }
    const std::string content = DriveInventoryText::trimmed(*facts.content);
    return content != "EFI" && content != "Apple_APFS";
}

bool isKnownVirtualDiskImage(const DiskUtilityVolumeFacts& facts,
                             const std::optional<DiskImageAttachment>& attachment,
                             const std::optional<DiskArbitrationDiskDescription>& description) {
    if (attachment) {
        return true;
    }
    if (isTrue(facts.systemImage) || equals(facts.virtualOrPhysical, "Virtual") ||
        equals(facts.busProtocol, "Disk Image")) {
        return true;
    }
    if (description && equals(description->deviceProtocol, "Disk Image")) {
        return true;
    }
    if (const auto mountPoint = DriveInventoryText::nonEmpty(facts.mountPoint);
        mountPoint && hasVirtualPrefix(*mountPoint)) {
        return true;
    }
    return description && description->volumePath &&
           hasVirtualPrefix(DriveInventoryPaths::filePath(*description->volumePath));
}

} // namespace

bool hasIdentity(const DiskUtilityVolumeFacts& facts) {
    return DriveInventoryText::nonEmpty(facts.volumeName) || facts.volumeUUID ||
           facts.filesystemType || facts.filesystemName;
}

const std::vector<std::string>& virtualSystemPathPrefixes() {
    static const std::vector<std::string> prefixes{
        "/Library/Developer/CoreSimulator/",
        "/System/Library/AssetsV2/",
    };
    return prefixes;
}

bool hasVirtualPrefix(const std::string& path) {
    for (const auto& prefix : virtualSystemPathPrefixes()) {
        if (path.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

DriveClassification
classifyDiskFacts(const DiskUtilityVolumeFacts& facts,
                  const std::optional<DiskImageAttachment>& diskImageAttachment,
                  const std::optional<DiskArbitrationDiskDescription>& description) {
    using Reason = DriveIgnoreReason;
    if (isTrue(facts.wholeDisk) || (description && isTrue(description->mediaWhole))) {
        return DriveClassification::ignored(Reason::wholeDisk);
    }
    if (description && isTrue(description->volumeNetwork)) {
        return DriveClassification::networkVolume();
    }
    // Only an explicit "not internal" lets a disk through.
    if (!isFalse(facts.internal) || (description && isTrue(description->deviceInternal))) {
        return DriveClassification::ignored(Reason::internalMedia);
    }
    if (description && isFalse(description->mediaLeaf)) {
        return DriveClassification::ignored(Reason::nonLeafMedia);
    }
    if ((description && isFalse(description->volumeMountable)) || !isUserMountableVolume(facts)) {
        return DriveClassification::ignored(Reason::notUserMountable);
    }
    if (isKnownVirtualDiskImage(facts, diskImageAttachment, description)) {
        return DriveClassification::ignored(Reason::diskImage);
    }
    if (!hasIdentity(facts)) {
        return DriveClassification::ignored(Reason::missingIdentity);
    }
    if (isTrue(facts.removableMediaOrExternalDevice) || isTrue(facts.ejectable) ||
        isTrue(facts.removable) || isTrue(facts.removableMedia) ||
        (description &&
         (isTrue(description->mediaEjectable) || isTrue(description->mediaRemovable)))) {
        return DriveClassification::physicalExternal();
    }
    return DriveClassification::ignored(Reason::notPhysicalExternal);
}

DriveClassification classifyMountedVolumeFacts(const MountedVolumeFacts& facts) {
    using Reason = DriveIgnoreReason;
    if (!facts.mountURL.isLocalFile()) {
        return DriveClassification::ignored(Reason::unsupportedURL);
    }
    const std::string path = DriveInventoryPaths::filePath(facts.mountURL);
    if (path == "/") {
        return DriveClassification::ignored(Reason::rootVolume);
    }
    if (isFalse(facts.volumeIsLocal)) {
        return DriveClassification::networkVolume();
    }
    if (isFalse(facts.volumeIsBrowsable)) {
        return DriveClassification::ignored(Reason::hiddenVolume);
    }
    // An absent internal flag is no evidence either way.
    const bool externalEvidence = isFalse(facts.volumeIsInternal) ||
                                  isTrue(facts.volumeIsEjectable) ||
                                  isTrue(facts.volumeIsRemovable);
    if (!externalEvidence) {
        return DriveClassification::ignored(Reason::notPhysicalExternal);
    }
    if (hasVirtualPrefix(path)) {
        return DriveClassification::ignored(Reason::diskImage);
    }
    return DriveClassification::physicalExternal();
}

} // namespace berthkeep::DriveInventoryClassifier

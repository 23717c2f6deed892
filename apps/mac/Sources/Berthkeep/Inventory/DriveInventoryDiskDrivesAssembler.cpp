#include "Berthkeep/Inventory/DriveInventoryDiskDrivesAssembler.hpp"

#include <optional>

#include "Berthkeep/Inventory/DetectedDrive+Sorting.hpp"
#include "Berthkeep/Inventory/DriveDetectedDriveAssembler.hpp"
#include "Berthkeep/Inventory/DriveInventoryClassifier.hpp"
#include "Berthkeep/Inventory/DriveInventoryEjectTargets.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep::DriveInventoryDiskDrivesAssembler {

namespace {

const char* const auditComponent = "DriveInventoryDiskDrivesAssembler";
const char* const auditMethod = "buildSortedPhysicalExternalDrives";

template <typename Value>
std::optional<Value> lookup(const std::map<std::string, Value>& values, const std::string& key) {
    const auto found = values.find(key);
    if (found == values.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string groupIdentifier(const DiskUtilityVolumeFacts& facts,
                            const std::map<std::string, std::string>& ejectTargets) {
    if (auto target = lookup(ejectTargets, facts.deviceIdentifier)) {
        return *target;
    }
    return DriveInventoryEjectTargets::wholeDiskIdentifier(facts.deviceIdentifier);
}

void writeClassificationLine(const char* message, const DiskUtilityVolumeFacts& facts,
                             const BerthkeepLogMetadata& metadata) {
    BerthkeepStartupAudit::debug(auditComponent, auditMethod, std::nullopt,
                                 BerthkeepAuditWorkPhase::backgroundWork, message, facts.mountPoint,
                                 metadata);
}

} // namespace

BerthkeepLogMetadata classificationAuditMetadata(const DriveClassification& classification,
                                                 const DiskUtilityVolumeFacts& facts,
                                                 const std::string& groupID) {
    BerthkeepLogMetadata metadata{{"bsd_name", facts.deviceIdentifier}, {"group_id", groupID}};
    switch (classification.kind()) {
    case DriveClassification::Kind::physicalExternal:
        metadata["classification"] = "physical_external";
        break;
    case DriveClassification::Kind::networkVolume:
        metadata["classification"] = "network_volume";
        break;
    case DriveClassification::Kind::ignored:
        metadata["classification"] = "ignored";
        metadata["ignore_reason"] = toString(*classification.ignoreReason());
        break;
    }
    return metadata;
}

std::vector<DetectedDrive> buildSortedPhysicalExternalDrives(
    const std::vector<DiskUtilityVolumeFacts>& diskFacts,
    DiskArbitrationDescribing& diskArbitrationProvider,
    const std::map<std::string, DiskImageAttachment>& diskImagesByDeviceIdentifier,
    const std::set<std::string>& excludedDriveIDs, const VolumesFolder& volumesFolder) {
    const auto ejectTargets =
        DriveInventoryEjectTargets::ejectTargetBSDNamesByDeviceIdentifier(diskFacts);

    std::map<std::string, std::optional<DiskArbitrationDiskDescription>> descriptions;
    for (const auto& facts : diskFacts) {
        descriptions[facts.deviceIdentifier] =
            diskArbitrationProvider.description(facts.deviceIdentifier);
    }

    std::map<std::string, DriveClassification> classifications;
    for (const auto& facts : diskFacts) {
        classifications.insert_or_assign(
            facts.deviceIdentifier,
            DriveInventoryClassifier::classifyDiskFacts(
                facts, lookup(diskImagesByDeviceIdentifier, facts.deviceIdentifier),
                descriptions[facts.deviceIdentifier]));
    }

    std::set<std::string> nonManagedGroups;
    for (const auto& facts : diskFacts) {
        const DriveClassification& classification = classifications.at(facts.deviceIdentifier);
        if (classification.kind() == DriveClassification::Kind::physicalExternal) {
            continue;
        }
        const std::string groupID = groupIdentifier(facts, ejectTargets);
        writeClassificationLine("Classified disk facts as excluded from managed scope", facts,
                                classificationAuditMetadata(classification, facts, groupID));
        nonManagedGroups.insert(groupID);
    }

    std::vector<DetectedDrive> drives;
    for (const auto& facts : diskFacts) {
        const DriveClassification& classification = classifications.at(facts.deviceIdentifier);
        if (classification.kind() != DriveClassification::Kind::physicalExternal) {
            continue;
        }
        const std::string groupID = groupIdentifier(facts, ejectTargets);
        writeClassificationLine("Classified disk facts as managed candidate", facts,
                                classificationAuditMetadata(classification, facts, groupID));
        auto drive = DriveDetectedDriveAssembler::buildDetectedDrive(
            facts, excludedDriveIDs, lookup(ejectTargets, facts.deviceIdentifier),
            nonManagedGroups.count(groupID) == 0, volumesFolder);
        if (drive) {
            drives.push_back(std::move(*drive));
        }
    }
    return sortedByLocalizedDriveName(std::move(drives));
}

} // namespace berthkeep::DriveInventoryDiskDrivesAssembler

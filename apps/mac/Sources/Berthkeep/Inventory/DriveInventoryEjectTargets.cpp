#include "Berthkeep/Inventory/DriveInventoryEjectTargets.hpp"

#include <optional>
#include <set>

#include "Berthkeep/Inventory/DriveInventoryText.hpp"

namespace berthkeep::DriveInventoryEjectTargets {

namespace {

using FactsByIdentifier = std::map<std::string, const DiskUtilityVolumeFacts*>;

bool isAsciiDigit(char character) {
    return character >= '0' && character <= '9';
}

std::optional<std::string>
resolvePhysicalWholeDiskBSDName(const std::string& identifier,
                                const FactsByIdentifier& factsByIdentifier,
                                std::set<std::string> visited) {
    if (visited.count(identifier) > 0 || factsByIdentifier.empty()) {
        return std::nullopt;
    }
    const auto found = factsByIdentifier.find(identifier);
    if (found == factsByIdentifier.end()) {
        return std::nullopt;
    }
    const DiskUtilityVolumeFacts& facts = *found->second;
    // Each branch below gets the path walked so far; branches do not see each
    // other's visits.
    visited.insert(identifier);

    const bool isWholeDisk = facts.wholeDisk.value_or(false);
    if (isWholeDisk && facts.virtualOrPhysical == std::optional<std::string>("Physical")) {
        return identifier;
    }
    const auto parent = DriveInventoryText::nonEmpty(facts.parentWholeDisk);
    if (parent && *parent != identifier) {
        if (auto resolved = resolvePhysicalWholeDiskBSDName(*parent, factsByIdentifier, visited)) {
            return resolved;
        }
    }
    if (facts.apfsPhysicalStores && !facts.apfsPhysicalStores->empty()) {
        const std::string& store = facts.apfsPhysicalStores->front().apfsPhysicalStore;
        if (auto resolved = resolvePhysicalWholeDiskBSDName(store, factsByIdentifier, visited)) {
            return resolved;
        }
    }
    const auto container = DriveInventoryText::nonEmpty(facts.apfsContainerReference);
    if (container && *container != identifier) {
        if (auto resolved =
                resolvePhysicalWholeDiskBSDName(*container, factsByIdentifier, visited)) {
            return resolved;
        }
    }
    if (!isWholeDisk && parent) {
        return parent;
    }
    return identifier;
}

} // namespace

std::map<std::string, std::string>
ejectTargetBSDNamesByDeviceIdentifier(const std::vector<DiskUtilityVolumeFacts>& facts) {
    FactsByIdentifier factsByIdentifier;
    for (const auto& record : facts) {
        factsByIdentifier.emplace(record.deviceIdentifier, &record);
    }
    std::map<std::string, std::string> targets;
    for (const auto& record : facts) {
        if (auto target =
                resolvePhysicalWholeDiskBSDName(record.deviceIdentifier, factsByIdentifier, {})) {
            targets[record.deviceIdentifier] = std::move(*target);
        }
    }
    return targets;
}

std::string wholeDiskIdentifier(const std::string& deviceIdentifier) {
    std::size_t end = deviceIdentifier.size();
    while (end > 0 && isAsciiDigit(deviceIdentifier[end - 1])) {
        --end;
    }
    if (end == deviceIdentifier.size() || end == 0 || deviceIdentifier[end - 1] != 's') {
        return deviceIdentifier;
    }
    return deviceIdentifier.substr(0, end - 1);
}

} // namespace berthkeep::DriveInventoryEjectTargets

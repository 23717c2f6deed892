#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Inventory/DiskUtilityRunning.hpp"
#include "Berthkeep/Inventory/DriveInventoryAuditContext.hpp"

namespace berthkeep {

// Runs one `diskutil` command for the inventory, with its audit lines (component
// "MountedVolumeInventoryService", method "decodeDiskUtilityOutput", metadata
// "arguments" = the arguments joined with spaces). Never throws:
// - core-only mode: a fault line, no child, nothing returned;
// - the runner failed: an error line, nothing returned;
// - otherwise the child's standard output.
std::optional<std::string> runDiskUtilityForInventory(const DiskUtilityRunning& runner,
                                                      const DriveInventoryAuditContext& context,
                                                      const std::vector<std::string>& arguments);

// The same, decoded as `Output` (DiskUtilityListOutput, DiskUtilityVolumeFacts, or
// any type with `static std::optional<Output> decode(const std::string&)`). An
// undecodable output gives nothing, silently.
template <typename Output>
std::optional<Output> decodeDiskUtilityOutput(const DiskUtilityRunning& runner,
                                              const DriveInventoryAuditContext& context,
                                              const std::vector<std::string>& arguments) {
    const auto bytes = runDiskUtilityForInventory(runner, context, arguments);
    if (!bytes) {
        return std::nullopt;
    }
    return Output::decode(*bytes);
}

} // namespace berthkeep

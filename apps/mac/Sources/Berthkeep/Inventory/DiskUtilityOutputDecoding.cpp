#include "Berthkeep/Inventory/DiskUtilityOutputDecoding.hpp"

#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep {

namespace {

const char* const auditComponent = "MountedVolumeInventoryService";
const char* const auditMethod = "decodeDiskUtilityOutput";

std::string joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        if (index > 0) {
            text += ' ';
        }
        text += arguments[index];
    }
    return text;
}

} // namespace

std::optional<std::string> runDiskUtilityForInventory(const DiskUtilityRunning& runner,
                                                      const DriveInventoryAuditContext& context,
                                                      const std::vector<std::string>& arguments) {
    const BerthkeepStartupAudit::Metadata metadata{{"arguments", joined(arguments)}};
    if (context.mode == ActivityDetectionMode::coreOnly) {
        BerthkeepStartupAudit::coreOnlyViolation(auditComponent, auditMethod, context.phase,
                                                 "Attempted to execute diskutil in core-only mode",
                                                 std::nullopt, metadata);
        return std::nullopt;
    }
    BerthkeepStartupAudit::debug(auditComponent, auditMethod, context.mode, context.phase,
                                 "Executing diskutil", std::nullopt, metadata);
    try {
        return runner.run(arguments);
    } catch (...) {
        BerthkeepStartupAudit::error(auditComponent, auditMethod, context.mode, context.phase,
                                     "diskutil execution failed", std::nullopt, metadata);
        return std::nullopt;
    }
}

} // namespace berthkeep

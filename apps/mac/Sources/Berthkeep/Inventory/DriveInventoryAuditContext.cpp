#include "Berthkeep/Inventory/DriveInventoryAuditContext.hpp"

namespace berthkeep {

std::string toString(DriveInventoryRefreshStage stage) {
    switch (stage) {
    case DriveInventoryRefreshStage::bootstrap:
        return "bootstrap";
    case DriveInventoryRefreshStage::reconcile:
        return "reconcile";
    }
    return "reconcile";
}

std::optional<DriveInventoryRefreshStage>
driveInventoryRefreshStageFromString(std::string_view text) {
    if (text == "bootstrap") {
        return DriveInventoryRefreshStage::bootstrap;
    }
    if (text == "reconcile") {
        return DriveInventoryRefreshStage::reconcile;
    }
    return std::nullopt;
}

} // namespace berthkeep

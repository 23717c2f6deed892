#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "BerthkeepShared/BerthkeepAuditWorkPhase.hpp"

namespace berthkeep {

// `bootstrap` is the synchronous launch-time snapshot, `reconcile` every later one.
enum class DriveInventoryRefreshStage { bootstrap, reconcile };

// "bootstrap" / "reconcile"; the "from" side is exact and case-sensitive.
std::string toString(DriveInventoryRefreshStage stage);
std::optional<DriveInventoryRefreshStage>
driveInventoryRefreshStageFromString(std::string_view text);

// In which mode, work phase and stage one inventory snapshot runs. It goes into
// every audit line of the snapshot; the mode also decides whether child processes
// may run at all.
struct DriveInventoryAuditContext {
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    BerthkeepAuditWorkPhase phase = BerthkeepAuditWorkPhase::backgroundWork;
    DriveInventoryRefreshStage stage = DriveInventoryRefreshStage::reconcile;
};

} // namespace berthkeep

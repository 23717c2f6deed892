#pragma once

#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"

#include <nlohmann/json_fwd.hpp>

namespace berthkeep {

// Writes the camelCase object ("openFileUsage", ..., "isBusy"); "dominantAttentionReason"
// only when a reason is set. Callers that need snake_case keys convert them on top.
// Throws DomainCodingError (invalidValue) for a NaN or infinite risk score: JSON has no
// such number, and writing null would read back as a different snapshot.
nlohmann::json toJson(const DriveUsageSnapshot& snapshot);

// Reads the camelCase form when it carries both counts, else the snake_case form (the
// activity monitor's replies). A wrong type or an unknown reason in the camelCase form
// ends decoding; there is no fallback after it. Throws DomainCodingError.
DriveUsageSnapshot driveUsageSnapshotFromJson(const nlohmann::json& json);

} // namespace berthkeep

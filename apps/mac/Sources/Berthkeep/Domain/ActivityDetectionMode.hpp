#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// How much activity monitoring is allowed.
enum class ActivityDetectionMode {
    coreOnly,
    standard,
    enhanced,
};

// Raw value ("core_only", "standard", "enhanced"); the "from" side is exact and
// case-sensitive.
std::string toString(ActivityDetectionMode mode);
std::optional<ActivityDetectionMode> activityDetectionModeFromString(std::string_view text);

// False only for core-only: no usage collection happens there.
bool usesActivitySignals(ActivityDetectionMode mode);
// Only the enhanced mode adds the supplemental (viewer assist) signals.
bool usesSupplementalSignals(ActivityDetectionMode mode);

} // namespace berthkeep

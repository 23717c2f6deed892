#include "Berthkeep/Domain/ActivityDetectionMode.hpp"

namespace berthkeep {

std::string toString(ActivityDetectionMode mode) {
    switch (mode) {
    case ActivityDetectionMode::coreOnly:
        return "core_only";
    case ActivityDetectionMode::standard:
        return "standard";
    case ActivityDetectionMode::enhanced:
        return "enhanced";
    }
    return {};
}

std::optional<ActivityDetectionMode> activityDetectionModeFromString(std::string_view text) {
    if (text == "core_only") {
        return ActivityDetectionMode::coreOnly;
    }
    if (text == "standard") {
        return ActivityDetectionMode::standard;
    }
    if (text == "enhanced") {
        return ActivityDetectionMode::enhanced;
    }
    return std::nullopt;
}

bool usesActivitySignals(ActivityDetectionMode mode) {
    return mode != ActivityDetectionMode::coreOnly;
}

bool usesSupplementalSignals(ActivityDetectionMode mode) {
    return mode == ActivityDetectionMode::enhanced;
}

} // namespace berthkeep

#include "BerthkeepTelemetry/BerthkeepTelemetryCategory.hpp"

namespace berthkeep {

std::string toString(BerthkeepTelemetryCategory category) {
    switch (category) {
    case BerthkeepTelemetryCategory::operational:
        return "operational";
    case BerthkeepTelemetryCategory::anonymousImprovement:
        return "anonymous_improvement";
    }
    return "operational";
}

std::optional<BerthkeepTelemetryCategory>
berthkeepTelemetryCategoryFromString(std::string_view text) {
    if (text == "operational") {
        return BerthkeepTelemetryCategory::operational;
    }
    if (text == "anonymous_improvement") {
        return BerthkeepTelemetryCategory::anonymousImprovement;
    }
    return std::nullopt;
}

std::optional<BerthkeepTelemetryCategory> decodeBerthkeepTelemetryCategory(std::string_view text) {
    if (text == "anonymousImprovement") {
        return BerthkeepTelemetryCategory::anonymousImprovement;
    }
    return berthkeepTelemetryCategoryFromString(text);
}

} // namespace berthkeep

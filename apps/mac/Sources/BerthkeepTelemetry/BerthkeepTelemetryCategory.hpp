#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

enum class BerthkeepTelemetryCategory {
    operational,          // the program's own running (start, version)
    anonymousImprovement, // anonymous usage, covered by the user's consent
};

// "operational", "anonymous_improvement".
std::string toString(BerthkeepTelemetryCategory category);
// Exactly the two raw values.
std::optional<BerthkeepTelemetryCategory>
berthkeepTelemetryCategoryFromString(std::string_view text);
// What stored or returned JSON may hold: the raw values, and "anonymousImprovement"
// as older files wrote it.
std::optional<BerthkeepTelemetryCategory> decodeBerthkeepTelemetryCategory(std::string_view text);

} // namespace berthkeep

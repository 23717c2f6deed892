#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// What the user asked for.
enum class FullMonitoringPreference {
    off,
    on,
};

// Raw value ("off", "on"); the "from" side is exact and case-sensitive.
std::string toString(FullMonitoringPreference preference);
std::optional<FullMonitoringPreference> fullMonitoringPreferenceFromString(std::string_view text);

} // namespace berthkeep

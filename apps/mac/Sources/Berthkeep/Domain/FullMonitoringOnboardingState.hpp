#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// How far the enable prompt got.
enum class FullMonitoringOnboardingState {
    notDetermined, // never answered
    deferred,      // answered "Not Now"
    acknowledged,  // answered "Continue" (or migrated so)
};

// Raw value ("notDetermined", "deferred", "acknowledged"); any other string (older
// values such as "declined" included) gives no value.
std::string toString(FullMonitoringOnboardingState state);
std::optional<FullMonitoringOnboardingState>
fullMonitoringOnboardingStateFromString(std::string_view text);

} // namespace berthkeep

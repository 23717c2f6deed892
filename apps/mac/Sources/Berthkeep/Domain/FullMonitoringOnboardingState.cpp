#include "Berthkeep/Domain/FullMonitoringOnboardingState.hpp"

namespace berthkeep {

std::string toString(FullMonitoringOnboardingState state) {
    switch (state) {
    case FullMonitoringOnboardingState::notDetermined:
        return "notDetermined";
    case FullMonitoringOnboardingState::deferred:
        return "deferred";
    case FullMonitoringOnboardingState::acknowledged:
        return "acknowledged";
    }
    return {};
}

std::optional<FullMonitoringOnboardingState>
fullMonitoringOnboardingStateFromString(std::string_view text) {
    if (text == "notDetermined") {
        return FullMonitoringOnboardingState::notDetermined;
    }
    if (text == "deferred") {
        return FullMonitoringOnboardingState::deferred;
    }
    if (text == "acknowledged") {
        return FullMonitoringOnboardingState::acknowledged;
    }
    return std::nullopt;
}

} // namespace berthkeep

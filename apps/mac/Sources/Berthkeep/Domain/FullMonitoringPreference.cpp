#include "Berthkeep/Domain/FullMonitoringPreference.hpp"

namespace berthkeep {

std::string toString(FullMonitoringPreference preference) {
    switch (preference) {
    case FullMonitoringPreference::off:
        return "off";
    case FullMonitoringPreference::on:
        return "on";
    }
    return {};
}

std::optional<FullMonitoringPreference> fullMonitoringPreferenceFromString(std::string_view text) {
    if (text == "off") {
        return FullMonitoringPreference::off;
    }
    if (text == "on") {
        return FullMonitoringPreference::on;
    }
    return std::nullopt;
}

} // namespace berthkeep

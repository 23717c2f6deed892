#pragma once

#include <string_view>

namespace berthkeep {

// Where the user finishes Full Monitoring setup. Only the location lives here; the
// settings page and the store open it through the platform layer.
namespace FullMonitoringSystemSettingsOpener {

inline constexpr std::string_view systemSettingsPath = "/System/Applications/System Settings.app";

} // namespace FullMonitoringSystemSettingsOpener

} // namespace berthkeep

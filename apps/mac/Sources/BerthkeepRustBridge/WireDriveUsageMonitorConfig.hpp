#pragma once

#include <cstdint>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"

namespace berthkeep {

// The create payload.
struct WireDriveUsageMonitorConfig {
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    std::int64_t statfsActivityWindowMs = 0;
    std::int64_t fseventsActivityWindowMs = 0;
    std::int64_t viewerAssistWindowMs = 0;
    std::int64_t statfsSamplingBurstMs = 0;

    bool operator==(const WireDriveUsageMonitorConfig&) const = default;
};

} // namespace berthkeep

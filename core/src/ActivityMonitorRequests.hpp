#pragma once

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace berthkeep::core {

// How long each kind of evidence counts after it was seen, and how long free-space
// sampling keeps going after the program last asked.
struct ActivityMonitorConfiguration {
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    std::chrono::milliseconds statfsActivityWindow{0};
    std::chrono::milliseconds fileEventWindow{0};
    std::chrono::milliseconds viewerAssistWindow{0};
    std::chrono::milliseconds statfsSamplingBurst{0};
};

struct MonitoredVolume {
    std::string driveID;
    std::string mountPath;
    std::optional<std::string> bsdName;
};

struct ViewerIdentity {
    std::string identity;
    std::string displayName;

    friend bool operator==(const ViewerIdentity&, const ViewerIdentity&) = default;
};

// The complete set of drives to watch; each update replaces the previous one.
struct MonitoredVolumeSet {
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    std::vector<MonitoredVolume> volumes;
    bool adaptiveTargetedAssistEnabled = false;
    std::vector<ViewerIdentity> promotedIdentities;
};

// Both throw std::invalid_argument (or a JSON parse error) naming what is wrong; the
// whole text is checked before anything is used.
ActivityMonitorConfiguration parseActivityMonitorConfiguration(std::string_view text);
MonitoredVolumeSet parseMonitoredVolumeSet(std::string_view text);

} // namespace berthkeep::core

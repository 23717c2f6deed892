#pragma once

#include <optional>
#include <string>

namespace berthkeep {

// One watched drive.
struct WireDriveUsageMonitorVolume {
    std::string driveID;
    std::string mountPath;
    std::optional<std::string> bsdName; // left out of the JSON when absent

    bool operator==(const WireDriveUsageMonitorVolume&) const = default;
};

} // namespace berthkeep

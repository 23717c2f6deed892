#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"

namespace berthkeep {

// The JSON exchanged with the core library's activity monitor. Decoding is strict:
// a missing required key or a wrong type throws RustRecentActivityCodingError.

class RustRecentActivityCodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A viewer application the monitor watches closely, or observed.
struct WireDriveUsageMonitorTargetedAssistIdentity {
    std::string identity;
    std::string displayName;

    bool operator==(const WireDriveUsageMonitorTargetedAssistIdentity&) const = default;
};

// The create payload.
struct WireDriveUsageMonitorConfig {
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    std::int64_t statfsActivityWindowMs = 0;
    std::int64_t fseventsActivityWindowMs = 0;
    std::int64_t viewerAssistWindowMs = 0;
    std::int64_t statfsSamplingBurstMs = 0;

    bool operator==(const WireDriveUsageMonitorConfig&) const = default;
};

// One watched drive.
struct WireDriveUsageMonitorVolume {
    std::string driveID;
    std::string mountPath;
    std::optional<std::string> bsdName; // left out of the JSON when absent

    bool operator==(const WireDriveUsageMonitorVolume&) const = default;
};

// The update payload: the complete set of drives to watch.
struct WireDriveUsageMonitorVolumeSet {
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    std::vector<WireDriveUsageMonitorVolume> volumes;
    bool adaptiveTargetedAssistEnabled = false;
    std::vector<WireDriveUsageMonitorTargetedAssistIdentity> promotedTargetedAssistIdentities;

    bool operator==(const WireDriveUsageMonitorVolumeSet&) const = default;
};

// One file-system statistics sample; for logging only.
struct WireActivityMonitorDebugStatFsSample {
    std::uint64_t blockSize = 0;
    std::uint64_t blocksTotal = 0;
    std::uint64_t blocksFree = 0;
    std::uint64_t blocksAvailable = 0;
    std::uint64_t usedBytes = 0;
    std::uint64_t freeBytes = 0;
    std::uint64_t availableBytes = 0;
    std::uint64_t sampleAgeMs = 0;

    bool operator==(const WireActivityMonitorDebugStatFsSample&) const = default;
};

// The snapshot reply. Only the usage map is required; the other two read as
// empty when absent or null.
struct WireDriveUsageMonitorSnapshot {
    std::map<std::string, DriveUsageSnapshot> usageSnapshotsByDriveID;
    std::map<std::string, WireActivityMonitorDebugStatFsSample> debugStatfsByDriveID;
    std::vector<WireDriveUsageMonitorTargetedAssistIdentity> observedTargetedAssistIdentities;

    bool operator==(const WireDriveUsageMonitorSnapshot&) const = default;
};

nlohmann::json toJson(const WireDriveUsageMonitorTargetedAssistIdentity& value);
nlohmann::json toJson(const WireDriveUsageMonitorConfig& value);
nlohmann::json toJson(const WireDriveUsageMonitorVolume& value);
nlohmann::json toJson(const WireDriveUsageMonitorVolumeSet& value);
nlohmann::json toJson(const WireActivityMonitorDebugStatFsSample& value);

WireDriveUsageMonitorTargetedAssistIdentity
wireTargetedAssistIdentityFromJson(const nlohmann::json& json);
WireDriveUsageMonitorConfig wireMonitorConfigFromJson(const nlohmann::json& json);
WireDriveUsageMonitorVolume wireMonitorVolumeFromJson(const nlohmann::json& json);
WireDriveUsageMonitorVolumeSet wireMonitorVolumeSetFromJson(const nlohmann::json& json);
WireActivityMonitorDebugStatFsSample wireDebugStatFsSampleFromJson(const nlohmann::json& json);
// Usage entries go through the snapshot record's own decoder (which reads the
// monitor's snake_case keys); its DomainCodingError passes through unchanged.
WireDriveUsageMonitorSnapshot wireMonitorSnapshotFromJson(const nlohmann::json& json);

} // namespace berthkeep

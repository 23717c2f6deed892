#pragma once

#include <nlohmann/json_fwd.hpp>

#include "BerthkeepRustBridge/RustRecentActivityCodingError.hpp"
#include "BerthkeepRustBridge/WireActivityMonitorDebugStatFsSample.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorConfig.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorSnapshot.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorTargetedAssistIdentity.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorVolume.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorVolumeSet.hpp"

namespace berthkeep {

// The JSON exchanged with the core library's activity monitor. Decoding is strict:
// a missing required key or a wrong type throws RustRecentActivityCodingError.
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

#include "BerthkeepRustBridge/WireDriveUsageMonitorCoding.hpp"

#include <limits>

#include <nlohmann/json.hpp>

#include "Berthkeep/Domain/DriveUsageSnapshotCoding.hpp"

namespace berthkeep {

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& what) {
    throw RustRecentActivityCodingError(what);
}

const json& object(const json& value, const char* what) {
    if (!value.is_object()) {
        fail(std::string(what) + ": expected an object");
    }
    return value;
}

const json& required(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end()) {
        fail(std::string("missing key \"") + key + "\"");
    }
    return *found;
}

std::string requiredString(const json& object, const char* key) {
    const auto& value = required(object, key);
    if (!value.is_string()) {
        fail(std::string("\"") + key + "\" is not a string");
    }
    return value.get<std::string>();
}

bool requiredBool(const json& object, const char* key) {
    const auto& value = required(object, key);
    if (!value.is_boolean()) {
        fail(std::string("\"") + key + "\" is not a Boolean");
    }
    return value.get<bool>();
}

std::int64_t requiredInt64(const json& object, const char* key) {
    const auto& value = required(object, key);
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail(std::string("\"") + key + "\" is out of range");
        }
        return static_cast<std::int64_t>(number);
    }
    if (!value.is_number_integer()) {
        fail(std::string("\"") + key + "\" is not an integer");
    }
    return value.get<std::int64_t>();
}

std::uint64_t requiredUInt64(const json& object, const char* key) {
    const auto& value = required(object, key);
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (!value.is_number_integer() || value.get<std::int64_t>() < 0) {
        fail(std::string("\"") + key + "\" is not an unsigned integer");
    }
    return static_cast<std::uint64_t>(value.get<std::int64_t>());
}

ActivityDetectionMode requiredMode(const json& object, const char* key) {
    const auto text = requiredString(object, key);
    const auto mode = activityDetectionModeFromString(text);
    if (!mode) {
        fail(std::string("\"") + key + "\" names no detection mode: " + text);
    }
    return *mode;
}

const json& requiredArray(const json& object, const char* key) {
    const auto& value = required(object, key);
    if (!value.is_array()) {
        fail(std::string("\"") + key + "\" is not an array");
    }
    return value;
}

// Absent or null reads as nothing; anything else must be of the expected kind.
const json* optionalValue(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

std::vector<WireDriveUsageMonitorTargetedAssistIdentity> identities(const json& array) {
    std::vector<WireDriveUsageMonitorTargetedAssistIdentity> result;
    result.reserve(array.size());
    for (const auto& element : array) {
        result.push_back(wireTargetedAssistIdentityFromJson(element));
    }
    return result;
}

} // namespace

json toJson(const WireDriveUsageMonitorTargetedAssistIdentity& value) {
    return json{{"identity", value.identity}, {"display_name", value.displayName}};
}

json toJson(const WireDriveUsageMonitorConfig& value) {
    return json{{"mode", toString(value.mode)},
                {"statfs_activity_window_ms", value.statfsActivityWindowMs},
                {"fsevents_activity_window_ms", value.fseventsActivityWindowMs},
                {"viewer_assist_window_ms", value.viewerAssistWindowMs},
                {"statfs_sampling_burst_ms", value.statfsSamplingBurstMs}};
}

json toJson(const WireDriveUsageMonitorVolume& value) {
    json result{{"drive_id", value.driveID}, {"mount_path", value.mountPath}};
    if (value.bsdName) {
        result["bsd_name"] = *value.bsdName;
    }
    return result;
}

json toJson(const WireDriveUsageMonitorVolumeSet& value) {
    json volumes = json::array();
    for (const auto& volume : value.volumes) {
        volumes.push_back(toJson(volume));
    }
    json promoted = json::array();
    for (const auto& identity : value.promotedTargetedAssistIdentities) {
        promoted.push_back(toJson(identity));
    }
    return json{{"mode", toString(value.mode)},
                {"volumes", std::move(volumes)},
                {"adaptive_targeted_assist_enabled", value.adaptiveTargetedAssistEnabled},
                {"promoted_targeted_assist_identities", std::move(promoted)}};
}

json toJson(const WireActivityMonitorDebugStatFsSample& value) {
    return json{
        {"block_size", value.blockSize},           {"blocks_total", value.blocksTotal},
        {"blocks_free", value.blocksFree},         {"blocks_available", value.blocksAvailable},
        {"used_bytes", value.usedBytes},           {"free_bytes", value.freeBytes},
        {"available_bytes", value.availableBytes}, {"sample_age_ms", value.sampleAgeMs}};
}

WireDriveUsageMonitorTargetedAssistIdentity wireTargetedAssistIdentityFromJson(const json& value) {
    const auto& o = object(value, "targeted-assist identity");
    return {requiredString(o, "identity"), requiredString(o, "display_name")};
}

WireDriveUsageMonitorConfig wireMonitorConfigFromJson(const json& value) {
    const auto& o = object(value, "monitor configuration");
    WireDriveUsageMonitorConfig config;
    config.mode = requiredMode(o, "mode");
    config.statfsActivityWindowMs = requiredInt64(o, "statfs_activity_window_ms");
    config.fseventsActivityWindowMs = requiredInt64(o, "fsevents_activity_window_ms");
    config.viewerAssistWindowMs = requiredInt64(o, "viewer_assist_window_ms");
    config.statfsSamplingBurstMs = requiredInt64(o, "statfs_sampling_burst_ms");
    return config;
}

WireDriveUsageMonitorVolume wireMonitorVolumeFromJson(const json& value) {
    const auto& o = object(value, "monitor volume");
    WireDriveUsageMonitorVolume volume;
    volume.driveID = requiredString(o, "drive_id");
    volume.mountPath = requiredString(o, "mount_path");
    if (const auto* bsdName = optionalValue(o, "bsd_name")) {
        if (!bsdName->is_string()) {
            fail("\"bsd_name\" is not a string");
        }
        volume.bsdName = bsdName->get<std::string>();
    }
    return volume;
}

WireDriveUsageMonitorVolumeSet wireMonitorVolumeSetFromJson(const json& value) {
    const auto& o = object(value, "monitor volume set");
    WireDriveUsageMonitorVolumeSet set;
    set.mode = requiredMode(o, "mode");
    for (const auto& element : requiredArray(o, "volumes")) {
        set.volumes.push_back(wireMonitorVolumeFromJson(element));
    }
    set.adaptiveTargetedAssistEnabled = requiredBool(o, "adaptive_targeted_assist_enabled");
    set.promotedTargetedAssistIdentities =
        identities(requiredArray(o, "promoted_targeted_assist_identities"));
    return set;
}

WireActivityMonitorDebugStatFsSample wireDebugStatFsSampleFromJson(const json& value) {
    const auto& o = object(value, "statfs sample");
    WireActivityMonitorDebugStatFsSample sample;
    sample.blockSize = requiredUInt64(o, "block_size");
    sample.blocksTotal = requiredUInt64(o, "blocks_total");
    sample.blocksFree = requiredUInt64(o, "blocks_free");
    sample.blocksAvailable = requiredUInt64(o, "blocks_available");
    sample.usedBytes = requiredUInt64(o, "used_bytes");
    sample.freeBytes = requiredUInt64(o, "free_bytes");
    sample.availableBytes = requiredUInt64(o, "available_bytes");
    sample.sampleAgeMs = requiredUInt64(o, "sample_age_ms");
    return sample;
}

WireDriveUsageMonitorSnapshot wireMonitorSnapshotFromJson(const json& value) {
    const auto& o = object(value, "monitor snapshot");
    WireDriveUsageMonitorSnapshot snapshot;
    const auto& usage = required(o, "usage_snapshots_by_drive_id");
    if (!usage.is_object()) {
        fail("\"usage_snapshots_by_drive_id\" is not an object");
    }
    for (const auto& [driveID, entry] : usage.items()) {
        snapshot.usageSnapshotsByDriveID.emplace(driveID, driveUsageSnapshotFromJson(entry));
    }
    if (const auto* samples = optionalValue(o, "debug_statfs_by_drive_id")) {
        if (!samples->is_object()) {
            fail("\"debug_statfs_by_drive_id\" is not an object");
        }
        for (const auto& [driveID, entry] : samples->items()) {
            snapshot.debugStatfsByDriveID.emplace(driveID, wireDebugStatFsSampleFromJson(entry));
        }
    }
    if (const auto* observed = optionalValue(o, "observed_targeted_assist_identities")) {
        if (!observed->is_array()) {
            fail("\"observed_targeted_assist_identities\" is not an array");
        }
        snapshot.observedTargetedAssistIdentities = identities(*observed);
    }
    return snapshot;
}

} // namespace berthkeep

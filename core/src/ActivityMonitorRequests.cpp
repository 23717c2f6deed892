#include "ActivityMonitorRequests.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <set>
#include <stdexcept>

namespace berthkeep::core {

namespace {

using json = nlohmann::json;

// A day is far beyond any window the program uses and keeps time arithmetic safe.
constexpr std::int64_t kLongestDurationMs = 24LL * 60 * 60 * 1000;

[[noreturn]] void invalid(const std::string& message) {
    throw std::invalid_argument(message);
}

const json& member(const json& object, const char* key, const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end()) {
        invalid(where + " has no \"" + key + "\"");
    }
    return *found;
}

std::string text(const json& object, const char* key, const std::string& where) {
    const json& value = member(object, key, where);
    if (!value.is_string()) {
        invalid(where + " \"" + key + "\" is not a string");
    }
    return value.get<std::string>();
}

ActivityDetectionMode mode(const json& object, const std::string& where) {
    const std::string raw = text(object, "mode", where);
    const auto parsed = activityDetectionModeFromString(raw);
    if (!parsed) {
        invalid(where + " \"mode\" is not a known mode: " + raw);
    }
    return *parsed;
}

std::chrono::milliseconds duration(const json& object, const char* key, const std::string& where) {
    const json& value = member(object, key, where);
    if (!value.is_number_integer()) {
        invalid(where + " \"" + key + "\" is not an integer");
    }
    if (value.is_number_unsigned() ? value.get<std::uint64_t>() > std::uint64_t(kLongestDurationMs)
                                   : (value.get<std::int64_t>() < 0 ||
                                      value.get<std::int64_t>() > kLongestDurationMs)) {
        invalid(where + " \"" + key + "\" is out of range (0 to " +
                std::to_string(kLongestDurationMs) + " ms)");
    }
    return std::chrono::milliseconds(value.get<std::int64_t>());
}

json parseObject(std::string_view text, const char* what) {
    json parsed;
    try {
        parsed = parseBoundedJson(text);
    } catch (const json::exception& error) {
        // Numbers beyond double range throw out_of_range, not parse_error.
        invalid(std::string(what) + " is not valid JSON (" + error.what() + ")");
    }
    if (!parsed.is_object()) {
        invalid(std::string(what) + " is not a JSON object");
    }
    return parsed;
}

} // namespace

ActivityMonitorConfiguration parseActivityMonitorConfiguration(std::string_view text) {
    const std::string where = "configuration";
    const json object = parseObject(text, "configuration");
    ActivityMonitorConfiguration configuration;
    configuration.mode = mode(object, where);
    configuration.statfsActivityWindow = duration(object, "statfs_activity_window_ms", where);
    configuration.fileEventWindow = duration(object, "fsevents_activity_window_ms", where);
    configuration.viewerAssistWindow = duration(object, "viewer_assist_window_ms", where);
    configuration.statfsSamplingBurst = duration(object, "statfs_sampling_burst_ms", where);
    return configuration;
}

MonitoredVolumeSet parseMonitoredVolumeSet(std::string_view text) {
    const json object = parseObject(text, "volume set");
    MonitoredVolumeSet set;
    set.mode = mode(object, "volume set");

    const json& volumes = member(object, "volumes", "volume set");
    if (!volumes.is_array()) {
        invalid("volume set \"volumes\" is not an array");
    }
    std::set<std::string> driveIDs;
    for (std::size_t index = 0; index < volumes.size(); ++index) {
        const json& entry = volumes[index];
        const std::string where = "volume " + std::to_string(index);
        if (!entry.is_object()) {
            invalid(where + " is not an object");
        }
        MonitoredVolume volume;
        volume.driveID = core::text(entry, "drive_id", where);
        volume.mountPath = core::text(entry, "mount_path", where);
        if (volume.driveID.empty()) {
            invalid(where + " \"drive_id\" is empty");
        }
        // A relative path would be matched against whatever the current directory is.
        if (volume.mountPath.empty() || volume.mountPath.front() != '/') {
            invalid(where + " \"mount_path\" is not an absolute path");
        }
        if (!driveIDs.insert(volume.driveID).second) {
            invalid(where + " repeats drive " + volume.driveID);
        }
        const auto bsdName = entry.find("bsd_name");
        if (bsdName != entry.end() && !bsdName->is_null()) {
            if (!bsdName->is_string()) {
                invalid(where + " \"bsd_name\" is not a string");
            }
            volume.bsdName = bsdName->get<std::string>();
        }
        set.volumes.push_back(std::move(volume));
    }

    const json& adaptive = member(object, "adaptive_targeted_assist_enabled", "volume set");
    if (!adaptive.is_boolean()) {
        invalid("volume set \"adaptive_targeted_assist_enabled\" is not a Boolean");
    }
    set.adaptiveTargetedAssistEnabled = adaptive.get<bool>();

    const json& promoted = member(object, "promoted_targeted_assist_identities", "volume set");
    if (!promoted.is_array()) {
        invalid("volume set \"promoted_targeted_assist_identities\" is not an array");
    }
    for (std::size_t index = 0; index < promoted.size(); ++index) {
        const json& entry = promoted[index];
        const std::string where = "promoted identity " + std::to_string(index);
        if (!entry.is_object()) {
            invalid(where + " is not an object");
        }
        set.promotedIdentities.push_back(
            {core::text(entry, "identity", where), core::text(entry, "display_name", where)});
    }
    return set;
}

} // namespace berthkeep::core

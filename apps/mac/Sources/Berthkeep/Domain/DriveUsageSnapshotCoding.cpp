#include "Berthkeep/Domain/DriveUsageSnapshotCoding.hpp"

#include "Berthkeep/Domain/DomainCodingError.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace berthkeep {

namespace {

using Kind = DomainCodingError::Kind;
using json = nlohmann::json;

struct Keys {
    const char* openFileUsage;
    const char* cwdUsage;
    const char* statfsActivity;
    const char* fseventsActivity;
    const char* viewerAssistActivity;
    const char* ejectFailureRiskScore;
    const char* isBusy;
    const char* dominantAttentionReason;
};

constexpr Keys kCamelCase{"openFileUsage",
                          "cwdUsage",
                          "statfsActivity",
                          "fseventsActivity",
                          "viewerAssistActivity",
                          "ejectFailureRiskScore",
                          "isBusy",
                          "dominantAttentionReason"};

constexpr Keys kSnakeCase{"open_file_usage",
                          "cwd_usage",
                          "statfs_activity",
                          "fsevents_activity",
                          "viewer_assist_activity",
                          "eject_failure_risk_score",
                          "is_busy",
                          "dominant_attention_reason"};

// Absent and null both read as "not there", as for an optional field.
const json* present(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

std::int64_t readInteger(const json& value, const char* key) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() <=
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    throw DomainCodingError(Kind::typeMismatch,
                            std::string("Expected a 64-bit integer under \"") + key + "\"");
}

std::optional<std::int64_t> optionalInteger(const json& object, const char* key) {
    if (const json* value = present(object, key)) {
        return readInteger(*value, key);
    }
    return std::nullopt;
}

bool optionalBool(const json& object, const char* key) {
    const json* value = present(object, key);
    if (!value) {
        return false;
    }
    if (!value->is_boolean()) {
        throw DomainCodingError(Kind::typeMismatch,
                                std::string("Expected a Boolean under \"") + key + "\"");
    }
    return value->get<bool>();
}

double optionalDouble(const json& object, const char* key) {
    const json* value = present(object, key);
    if (!value) {
        return 0.0;
    }
    if (!value->is_number()) {
        throw DomainCodingError(Kind::typeMismatch,
                                std::string("Expected a number under \"") + key + "\"");
    }
    return value->get<double>();
}

std::optional<BerthkeepAttentionReasonCode> optionalReason(const json& object, const char* key) {
    const json* value = present(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        throw DomainCodingError(Kind::typeMismatch,
                                std::string("Expected a string under \"") + key + "\"");
    }
    const auto& text = value->get_ref<const std::string&>();
    if (auto code = attentionReasonCodeFromString(text)) {
        return code;
    }
    throw DomainCodingError(Kind::dataCorrupted, "Unknown attention reason code \"" + text + "\"");
}

DriveUsageSnapshot readRest(const json& object, const Keys& keys, std::int64_t openFileUsage,
                            std::int64_t cwdUsage) {
    DriveUsageSnapshot snapshot;
    snapshot.openFileUsage = openFileUsage;
    snapshot.cwdUsage = cwdUsage;
    snapshot.statfsActivity = optionalBool(object, keys.statfsActivity);
    snapshot.fseventsActivity = optionalBool(object, keys.fseventsActivity);
    snapshot.viewerAssistActivity = optionalBool(object, keys.viewerAssistActivity);
    snapshot.ejectFailureRiskScore = optionalDouble(object, keys.ejectFailureRiskScore);
    snapshot.isBusy = optionalBool(object, keys.isBusy);
    snapshot.dominantAttentionReason = optionalReason(object, keys.dominantAttentionReason);
    return snapshot;
}

std::int64_t requiredInteger(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        throw DomainCodingError(Kind::keyNotFound, std::string("Missing key \"") + key + "\"");
    }
    if (it->is_null()) {
        throw DomainCodingError(Kind::valueNotFound, std::string("Null under \"") + key + "\"");
    }
    return readInteger(*it, key);
}

} // namespace

json toJson(const DriveUsageSnapshot& snapshot) {
    if (!std::isfinite(snapshot.ejectFailureRiskScore)) {
        throw DomainCodingError(Kind::invalidValue, "Eject failure risk score is not finite");
    }
    json object = json::object();
    object[kCamelCase.openFileUsage] = snapshot.openFileUsage;
    object[kCamelCase.cwdUsage] = snapshot.cwdUsage;
    object[kCamelCase.statfsActivity] = snapshot.statfsActivity;
    object[kCamelCase.fseventsActivity] = snapshot.fseventsActivity;
    object[kCamelCase.viewerAssistActivity] = snapshot.viewerAssistActivity;
    object[kCamelCase.ejectFailureRiskScore] = snapshot.ejectFailureRiskScore;
    object[kCamelCase.isBusy] = snapshot.isBusy;
    if (snapshot.dominantAttentionReason) {
        object[kCamelCase.dominantAttentionReason] = toString(*snapshot.dominantAttentionReason);
    }
    return object;
}

DriveUsageSnapshot driveUsageSnapshotFromJson(const json& value) {
    if (!value.is_object()) {
        throw DomainCodingError(Kind::typeMismatch, "Expected a usage snapshot object");
    }

    // The camelCase form counts only when it carries both counts.
    const auto openFileUsage = optionalInteger(value, kCamelCase.openFileUsage);
    const auto cwdUsage = optionalInteger(value, kCamelCase.cwdUsage);
    if (openFileUsage && cwdUsage) {
        return readRest(value, kCamelCase, *openFileUsage, *cwdUsage);
    }

    const std::int64_t snakeOpenFileUsage = requiredInteger(value, kSnakeCase.openFileUsage);
    const std::int64_t snakeCwdUsage = requiredInteger(value, kSnakeCase.cwdUsage);
    return readRest(value, kSnakeCase, snakeOpenFileUsage, snakeCwdUsage);
}

} // namespace berthkeep

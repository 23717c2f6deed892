#include "BerthkeepRustBridge/Wire/WireCoding.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "Berthkeep/Domain/DomainCodingError.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshotCoding.hpp"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>

namespace berthkeep {

namespace {

using json = nlohmann::json;
using Kind = DomainCodingError::Kind;

[[noreturn]] void fail(Kind kind, const std::string& description) {
    throw DomainCodingError(kind, description);
}

// Reading -------------------------------------------------------------------------

// One JSON object seen through the reverse key conversion.
class ObjectReader {
public:
    ObjectReader(const json& value, const char* recordName) {
        if (!value.is_object()) {
            fail(Kind::typeMismatch, std::string("Expected an object for ") + recordName);
        }
        for (auto it = value.begin(); it != value.end(); ++it) {
            const bool snake = it.key().find('_') != std::string::npos;
            const std::string field = wireCamelCaseKey(it.key());
            // The snake_case spelling is the wire's own: it wins over a camelCase twin.
            if (snake) {
                m_fields[field] = &it.value();
            } else {
                m_fields.emplace(field, &it.value());
            }
        }
    }

    // Absent or null.
    const json* optional(const char* field) const {
        const auto it = m_fields.find(field);
        if (it == m_fields.end() || it->second->is_null()) {
            return nullptr;
        }
        return it->second;
    }

    const json& required(const char* field) const {
        const auto it = m_fields.find(field);
        if (it == m_fields.end()) {
            fail(Kind::keyNotFound, "Missing key \"" + wireSnakeCaseKey(field) + "\"");
        }
        if (it->second->is_null()) {
            fail(Kind::valueNotFound, "Null under \"" + wireSnakeCaseKey(field) + "\"");
        }
        return *it->second;
    }

private:
    std::map<std::string, const json*, std::less<>> m_fields;
};

std::string readString(const json& value, const char* field) {
    if (!value.is_string()) {
        fail(Kind::typeMismatch, "Expected a string under \"" + wireSnakeCaseKey(field) + "\"");
    }
    return value.get<std::string>();
}

bool readBool(const json& value, const char* field) {
    if (!value.is_boolean()) {
        fail(Kind::typeMismatch, "Expected a Boolean under \"" + wireSnakeCaseKey(field) + "\"");
    }
    return value.get<bool>();
}

std::int64_t readInteger(const json& value, const char* field) {
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail(Kind::dataCorrupted,
                 "Integer under \"" + wireSnakeCaseKey(field) + "\" does not fit 64 bits");
        }
        return static_cast<std::int64_t>(unsignedValue);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    fail(Kind::typeMismatch, "Expected an integer under \"" + wireSnakeCaseKey(field) + "\"");
}

template <typename Enum, typename FromString>
Enum readEnum(const json& value, const char* field, FromString fromString) {
    const std::string text = readString(value, field);
    if (auto parsed = fromString(text)) {
        return *parsed;
    }
    fail(Kind::dataCorrupted,
         "Unknown value \"" + text + "\" under \"" + wireSnakeCaseKey(field) + "\"");
}

template <typename Element, typename ReadElement>
std::vector<Element> readArray(const json& value, const char* field, ReadElement readElement) {
    if (!value.is_array()) {
        fail(Kind::typeMismatch, "Expected a list under \"" + wireSnakeCaseKey(field) + "\"");
    }
    std::vector<Element> result;
    result.reserve(value.size());
    for (const json& element : value) {
        result.push_back(readElement(element));
    }
    return result;
}

std::vector<std::string> readStrings(const json& value, const char* field) {
    return readArray<std::string>(
        value, field, [field](const json& element) { return readString(element, field); });
}

std::string requiredString(const ObjectReader& reader, const char* field) {
    return readString(reader.required(field), field);
}

bool requiredBool(const ObjectReader& reader, const char* field) {
    return readBool(reader.required(field), field);
}

std::int64_t requiredInteger(const ObjectReader& reader, const char* field) {
    return readInteger(reader.required(field), field);
}

std::vector<std::string> requiredStrings(const ObjectReader& reader, const char* field) {
    return readStrings(reader.required(field), field);
}

std::optional<std::string> optionalString(const ObjectReader& reader, const char* field) {
    if (const json* value = reader.optional(field)) {
        return readString(*value, field);
    }
    return std::nullopt;
}

std::optional<std::int64_t> optionalInteger(const ObjectReader& reader, const char* field) {
    if (const json* value = reader.optional(field)) {
        return readInteger(*value, field);
    }
    return std::nullopt;
}

std::optional<WireTriggerReason> optionalTrigger(const ObjectReader& reader, const char* field) {
    if (const json* value = reader.optional(field)) {
        return readEnum<WireTriggerReason>(*value, field, wireTriggerReasonFromString);
    }
    return std::nullopt;
}

template <typename Record, typename Decode>
std::optional<Record> optionalRecord(const ObjectReader& reader, const char* field, Decode decode) {
    if (const json* value = reader.optional(field)) {
        return decode(*value);
    }
    return std::nullopt;
}

// The snapshot keeps its own coding; we only undo the key conversion in front of it.
DriveUsageSnapshot readUsageSnapshot(const json& value) {
    const ObjectReader reader(value, "usage_snapshot");
    json camelCase = json::object();
    for (const char* field :
         {"openFileUsage", "cwdUsage", "statfsActivity", "fseventsActivity", "viewerAssistActivity",
          "ejectFailureRiskScore", "isBusy", "dominantAttentionReason"}) {
        if (const json* fieldValue = reader.optional(field)) {
            camelCase[field] = *fieldValue;
        }
    }
    // A number too large for a double parses as infinity; it names no real score.
    if (const json* score = reader.optional("ejectFailureRiskScore");
        score && score->is_number_float() && !std::isfinite(score->get<double>())) {
        fail(Kind::dataCorrupted, "Eject failure risk score is not a finite number");
    }
    if (!camelCase.contains("openFileUsage")) {
        fail(Kind::keyNotFound, "Missing key \"open_file_usage\"");
    }
    if (!camelCase.contains("cwdUsage")) {
        fail(Kind::keyNotFound, "Missing key \"cwd_usage\"");
    }
    return driveUsageSnapshotFromJson(camelCase);
}

// Writing -------------------------------------------------------------------------

json snakeCaseKeys(const json& object) {
    json result = json::object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        result[wireSnakeCaseKey(it.key())] = it.value();
    }
    return result;
}

template <typename Record> json arrayOf(const std::vector<Record>& values) {
    json result = json::array();
    for (const Record& value : values) {
        result.push_back(toJson(value));
    }
    return result;
}

json stringArray(const std::vector<std::string>& values) {
    json result = json::array();
    for (const std::string& value : values) {
        result.push_back(value);
    }
    return result;
}

std::string dumpCompact(const json& value) {
    try {
        return value.dump(-1, ' ', false, json::error_handler_t::strict);
    } catch (const json::type_error& error) {
        fail(Kind::invalidValue, std::string("Cannot write JSON: ") + error.what());
    }
}

json parseText(std::string_view text) {
    try {
        return parseBoundedJson(text);
    } catch (const json::exception& error) {
        // Syntax errors, invalid UTF-8 and numbers beyond double range alike.
        fail(Kind::dataCorrupted, std::string("Not valid JSON: ") + error.what());
    }
}

} // namespace

// Key conversions ------------------------------------------------------------------

std::string wireSnakeCaseKey(std::string_view camelCaseKey) {
    std::string result;
    result.reserve(camelCaseKey.size() + 4);
    for (std::size_t index = 0; index < camelCaseKey.size(); ++index) {
        const auto character = static_cast<unsigned char>(camelCaseKey[index]);
        if (std::isupper(character)) {
            if (index > 0) {
                result.push_back('_');
            }
            result.push_back(static_cast<char>(std::tolower(character)));
        } else {
            result.push_back(static_cast<char>(character));
        }
    }
    return result;
}

std::string wireCamelCaseKey(std::string_view snakeCaseKey) {
    std::string result;
    result.reserve(snakeCaseKey.size());
    bool upperNext = false;
    for (const char character : snakeCaseKey) {
        if (character == '_') {
            upperNext = true;
            continue;
        }
        if (upperNext) {
            result.push_back(
                static_cast<char>(std::toupper(static_cast<unsigned char>(character))));
            upperNext = false;
        } else {
            result.push_back(character);
        }
    }
    return result;
}

// Records to JSON -------------------------------------------------------------------

json toJson(const WireDrive& value) {
    return json{{"id", value.id},
                {"name", value.name},
                {"scope", toString(value.scope)},
                {"is_mounted", value.isMounted},
                {"usage_snapshot", snakeCaseKeys(toJson(value.usageSnapshot))}};
}

json toJson(const WireEvaluatedDrive& value) {
    json codes = json::array();
    for (const WireAttentionReasonCode code : value.attentionReasonCodes) {
        codes.push_back(toString(code));
    }
    return json{{"id", value.id},
                {"name", value.name},
                {"status", toString(value.status)},
                {"attention_reason_codes", std::move(codes)}};
}

json toJson(const WireGlobalSafetyState& value) {
    json object{{"kind", toString(value.kind)}};
    if (value.supportingCopy) {
        object["supporting_copy"] = *value.supportingCopy;
    }
    if (value.problemDriveCount) {
        object["problem_drive_count"] = *value.problemDriveCount;
    }
    if (value.trigger) {
        object["trigger"] = toString(*value.trigger);
    }
    return object;
}

json toJson(const WirePrimaryAction& value) {
    return json{{"kind", toString(value.kind)}, {"enabled", value.enabled}};
}

json toJson(const WireLastActionResult& value) {
    json object{{"kind", toString(value.kind)}};
    if (value.count) {
        object["count"] = *value.count;
    }
    if (value.ejected) {
        object["ejected"] = *value.ejected;
    }
    if (value.stillBusy) {
        object["still_busy"] = *value.stillBusy;
    }
    return object;
}

json toJson(const WireLastActionSummary& value) {
    return json{{"result", toJson(value.result)}};
}

json toJson(const WirePendingSleepFailureNotification& value) {
    return json{{"failed_drive_count", value.failedDriveCount}};
}

json toJson(const WireStateEvaluationInput& value) {
    json object{{"drives", arrayOf(value.drives)},
                {"working_drive_ids", stringArray(value.workingDriveIds)}};
    if (value.activeTrigger) {
        object["active_trigger"] = toString(*value.activeTrigger);
    }
    if (value.lastAction) {
        object["last_action"] = toJson(*value.lastAction);
    }
    return object;
}

json toJson(const WireStateEvaluationOutput& value) {
    json object{{"global_state", toJson(value.globalState)}, {"drives", arrayOf(value.drives)}};
    if (value.scopeNote) {
        object["scope_note"] = *value.scopeNote;
    }
    if (value.primaryAction) {
        object["primary_action"] = toJson(*value.primaryAction);
    }
    if (value.secondaryAction) {
        object["secondary_action"] = toJson(*value.secondaryAction);
    }
    if (value.lastAction) {
        object["last_action"] = toJson(*value.lastAction);
    }
    return object;
}

json toJson(const WireActionPlanningInput& value) {
    return json{{"trigger", toString(value.trigger)},
                {"drives", arrayOf(value.drives)},
                {"attention_drive_ids", stringArray(value.attentionDriveIds)}};
}

json toJson(const WireActionPlan& value) {
    return json{{"disposition", toString(value.disposition)},
                {"target_drive_ids", stringArray(value.targetDriveIds)}};
}

json toJson(const WireActionSummaryInput& value) {
    json object{{"attempted_drive_ids", stringArray(value.attemptedDriveIds)},
                {"remaining_managed_drive_ids", stringArray(value.remainingManagedDriveIds)},
                {"confirmed_successful_drive_ids", stringArray(value.confirmedSuccessfulDriveIds)}};
    if (value.trigger) {
        object["trigger"] = toString(*value.trigger);
    }
    return object;
}

json toJson(const WireActionSummaryOutput& value) {
    json object{{"busy_drive_ids", stringArray(value.busyDriveIds)},
                {"last_action", toJson(value.lastAction)}};
    if (value.pendingSleepFailureNotification) {
        object["pending_sleep_failure_notification"] =
            toJson(*value.pendingSleepFailureNotification);
    }
    return object;
}

// JSON to records -------------------------------------------------------------------

WireDrive wireDriveFromJson(const json& value) {
    const ObjectReader reader(value, "a drive");
    WireDrive drive;
    drive.id = requiredString(reader, "id");
    drive.name = requiredString(reader, "name");
    drive.scope =
        readEnum<WireDriveScope>(reader.required("scope"), "scope", wireDriveScopeFromString);
    drive.isMounted = requiredBool(reader, "isMounted");
    drive.usageSnapshot = readUsageSnapshot(reader.required("usageSnapshot"));
    return drive;
}

WireEvaluatedDrive wireEvaluatedDriveFromJson(const json& value) {
    const ObjectReader reader(value, "an evaluated drive");
    WireEvaluatedDrive drive;
    drive.id = requiredString(reader, "id");
    drive.name = requiredString(reader, "name");
    drive.status =
        readEnum<WireDriveStatus>(reader.required("status"), "status", wireDriveStatusFromString);
    drive.attentionReasonCodes = readArray<WireAttentionReasonCode>(
        reader.required("attentionReasonCodes"), "attentionReasonCodes", [](const json& element) {
            return readEnum<WireAttentionReasonCode>(element, "attentionReasonCodes",
                                                     wireAttentionReasonCodeFromString);
        });
    return drive;
}

WireGlobalSafetyState wireGlobalSafetyStateFromJson(const json& value) {
    const ObjectReader reader(value, "the global state");
    WireGlobalSafetyState state;
    state.kind = readEnum<WireGlobalSafetyStateKind>(reader.required("kind"), "kind",
                                                     wireGlobalSafetyStateKindFromString);
    state.supportingCopy = optionalString(reader, "supportingCopy");
    state.problemDriveCount = optionalInteger(reader, "problemDriveCount");
    state.trigger = optionalTrigger(reader, "trigger");
    return state;
}

WirePrimaryAction wirePrimaryActionFromJson(const json& value) {
    const ObjectReader reader(value, "an action");
    WirePrimaryAction action;
    action.kind = readEnum<WirePrimaryActionKind>(reader.required("kind"), "kind",
                                                  wirePrimaryActionKindFromString);
    action.enabled = requiredBool(reader, "enabled");
    return action;
}

WireLastActionResult wireLastActionResultFromJson(const json& value) {
    const ObjectReader reader(value, "a last action result");
    WireLastActionResult result;
    result.kind = readEnum<WireLastActionResultKind>(reader.required("kind"), "kind",
                                                     wireLastActionResultKindFromString);
    result.count = optionalInteger(reader, "count");
    result.ejected = optionalInteger(reader, "ejected");
    result.stillBusy = optionalInteger(reader, "stillBusy");
    return result;
}

WireLastActionSummary wireLastActionSummaryFromJson(const json& value) {
    const ObjectReader reader(value, "a last action");
    return WireLastActionSummary{wireLastActionResultFromJson(reader.required("result"))};
}

WirePendingSleepFailureNotification wirePendingSleepFailureNotificationFromJson(const json& value) {
    const ObjectReader reader(value, "a pending sleep failure notification");
    return WirePendingSleepFailureNotification{requiredInteger(reader, "failedDriveCount")};
}

WireStateEvaluationInput wireStateEvaluationInputFromJson(const json& value) {
    const ObjectReader reader(value, "the evaluate-state request");
    WireStateEvaluationInput input;
    input.drives = readArray<WireDrive>(reader.required("drives"), "drives", wireDriveFromJson);
    input.workingDriveIds = requiredStrings(reader, "workingDriveIds");
    input.activeTrigger = optionalTrigger(reader, "activeTrigger");
    input.lastAction =
        optionalRecord<WireLastActionSummary>(reader, "lastAction", wireLastActionSummaryFromJson);
    return input;
}

WireStateEvaluationOutput wireStateEvaluationOutputFromJson(const json& value) {
    const ObjectReader reader(value, "the evaluate-state response");
    WireStateEvaluationOutput output;
    output.globalState = wireGlobalSafetyStateFromJson(reader.required("globalState"));
    output.scopeNote = optionalString(reader, "scopeNote");
    output.primaryAction =
        optionalRecord<WirePrimaryAction>(reader, "primaryAction", wirePrimaryActionFromJson);
    output.secondaryAction =
        optionalRecord<WirePrimaryAction>(reader, "secondaryAction", wirePrimaryActionFromJson);
    output.lastAction =
        optionalRecord<WireLastActionSummary>(reader, "lastAction", wireLastActionSummaryFromJson);
    output.drives = readArray<WireEvaluatedDrive>(reader.required("drives"), "drives",
                                                  wireEvaluatedDriveFromJson);
    return output;
}

WireActionPlanningInput wireActionPlanningInputFromJson(const json& value) {
    const ObjectReader reader(value, "the plan-action request");
    WireActionPlanningInput input;
    input.trigger = readEnum<WireTriggerReason>(reader.required("trigger"), "trigger",
                                                wireTriggerReasonFromString);
    input.drives = readArray<WireDrive>(reader.required("drives"), "drives", wireDriveFromJson);
    input.attentionDriveIds = requiredStrings(reader, "attentionDriveIds");
    return input;
}

WireActionPlan wireActionPlanFromJson(const json& value) {
    const ObjectReader reader(value, "the plan-action response");
    WireActionPlan plan;
    plan.disposition = readEnum<WireActionDisposition>(
        reader.required("disposition"), "disposition", wireActionDispositionFromString);
    plan.targetDriveIds = requiredStrings(reader, "targetDriveIds");
    return plan;
}

WireActionSummaryInput wireActionSummaryInputFromJson(const json& value) {
    const ObjectReader reader(value, "the summarize-action request");
    WireActionSummaryInput input;
    input.trigger = optionalTrigger(reader, "trigger");
    input.attemptedDriveIds = requiredStrings(reader, "attemptedDriveIds");
    input.remainingManagedDriveIds = requiredStrings(reader, "remainingManagedDriveIds");
    input.confirmedSuccessfulDriveIds = requiredStrings(reader, "confirmedSuccessfulDriveIds");
    return input;
}

WireActionSummaryOutput wireActionSummaryOutputFromJson(const json& value) {
    const ObjectReader reader(value, "the summarize-action response");
    WireActionSummaryOutput output;
    output.busyDriveIds = requiredStrings(reader, "busyDriveIds");
    output.lastAction = wireLastActionSummaryFromJson(reader.required("lastAction"));
    output.pendingSleepFailureNotification = optionalRecord<WirePendingSleepFailureNotification>(
        reader, "pendingSleepFailureNotification", wirePendingSleepFailureNotificationFromJson);
    return output;
}

// Text -------------------------------------------------------------------------------

std::string encodeWireJson(const WireStateEvaluationInput& value) {
    return dumpCompact(toJson(value));
}
std::string encodeWireJson(const WireStateEvaluationOutput& value) {
    return dumpCompact(toJson(value));
}
std::string encodeWireJson(const WireActionPlanningInput& value) {
    return dumpCompact(toJson(value));
}
std::string encodeWireJson(const WireActionPlan& value) {
    return dumpCompact(toJson(value));
}
std::string encodeWireJson(const WireActionSummaryInput& value) {
    return dumpCompact(toJson(value));
}
std::string encodeWireJson(const WireActionSummaryOutput& value) {
    return dumpCompact(toJson(value));
}

WireStateEvaluationInput decodeWireStateEvaluationInput(std::string_view text) {
    return wireStateEvaluationInputFromJson(parseText(text));
}
WireStateEvaluationOutput decodeWireStateEvaluationOutput(std::string_view text) {
    return wireStateEvaluationOutputFromJson(parseText(text));
}
WireActionPlanningInput decodeWireActionPlanningInput(std::string_view text) {
    return wireActionPlanningInputFromJson(parseText(text));
}
WireActionPlan decodeWireActionPlan(std::string_view text) {
    return wireActionPlanFromJson(parseText(text));
}
WireActionSummaryInput decodeWireActionSummaryInput(std::string_view text) {
    return wireActionSummaryInputFromJson(parseText(text));
}
WireActionSummaryOutput decodeWireActionSummaryOutput(std::string_view text) {
    return wireActionSummaryOutputFromJson(parseText(text));
}

} // namespace berthkeep

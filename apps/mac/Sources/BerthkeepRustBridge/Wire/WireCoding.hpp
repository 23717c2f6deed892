#pragma once

#include "BerthkeepRustBridge/Wire/WireRecords.hpp"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <string_view>

namespace berthkeep {

// JSON coding of the wire records.
//
// Writing: snake_case keys ("is_mounted", "working_drive_ids"), absent optionals left
// out (never null), compact text. The usage snapshot is written by its own coding and
// its keys converted the same way.
//
// Reading: each key is converted back to camelCase (every "_" dropped, the letter after
// it upper-cased; a key without "_" reads unchanged, so "primaryAction" is read as well
// as "primary_action"; when both spellings are present the snake_case one wins).
// Unknown keys are ignored; a missing or null optional is absent. A missing required
// key, a wrong JSON type (null included), an unknown enumeration value, a non-finite
// number or text that is not JSON fails the whole value.
//
// Every failure is a DomainCodingError:
// - reading: keyNotFound, valueNotFound, typeMismatch, dataCorrupted (not JSON, invalid
//   UTF-8, unknown enumeration value, a number out of range);
// - writing: invalidValue, for a non-finite risk score (JSON has no NaN, and writing null
//   would read back as a different snapshot) or a string that is not valid UTF-8 (we
//   refuse rather than alter identifiers the answer has to match).

nlohmann::json toJson(const WireDrive& value);
nlohmann::json toJson(const WireEvaluatedDrive& value);
nlohmann::json toJson(const WireGlobalSafetyState& value);
nlohmann::json toJson(const WirePrimaryAction& value);
nlohmann::json toJson(const WireLastActionResult& value);
nlohmann::json toJson(const WireLastActionSummary& value);
nlohmann::json toJson(const WirePendingSleepFailureNotification& value);
nlohmann::json toJson(const WireStateEvaluationInput& value);
nlohmann::json toJson(const WireStateEvaluationOutput& value);
nlohmann::json toJson(const WireActionPlanningInput& value);
nlohmann::json toJson(const WireActionPlan& value);
nlohmann::json toJson(const WireActionSummaryInput& value);
nlohmann::json toJson(const WireActionSummaryOutput& value);

WireDrive wireDriveFromJson(const nlohmann::json& json);
WireEvaluatedDrive wireEvaluatedDriveFromJson(const nlohmann::json& json);
WireGlobalSafetyState wireGlobalSafetyStateFromJson(const nlohmann::json& json);
WirePrimaryAction wirePrimaryActionFromJson(const nlohmann::json& json);
WireLastActionResult wireLastActionResultFromJson(const nlohmann::json& json);
WireLastActionSummary wireLastActionSummaryFromJson(const nlohmann::json& json);
WirePendingSleepFailureNotification
wirePendingSleepFailureNotificationFromJson(const nlohmann::json& json);
WireStateEvaluationInput wireStateEvaluationInputFromJson(const nlohmann::json& json);
WireStateEvaluationOutput wireStateEvaluationOutputFromJson(const nlohmann::json& json);
WireActionPlanningInput wireActionPlanningInputFromJson(const nlohmann::json& json);
WireActionPlan wireActionPlanFromJson(const nlohmann::json& json);
WireActionSummaryInput wireActionSummaryInputFromJson(const nlohmann::json& json);
WireActionSummaryOutput wireActionSummaryOutputFromJson(const nlohmann::json& json);

// The six bodies as compact JSON text (UTF-8 bytes).
std::string encodeWireJson(const WireStateEvaluationInput& value);
std::string encodeWireJson(const WireStateEvaluationOutput& value);
std::string encodeWireJson(const WireActionPlanningInput& value);
std::string encodeWireJson(const WireActionPlan& value);
std::string encodeWireJson(const WireActionSummaryInput& value);
std::string encodeWireJson(const WireActionSummaryOutput& value);

WireStateEvaluationInput decodeWireStateEvaluationInput(std::string_view text);
WireStateEvaluationOutput decodeWireStateEvaluationOutput(std::string_view text);
WireActionPlanningInput decodeWireActionPlanningInput(std::string_view text);
WireActionPlan decodeWireActionPlan(std::string_view text);
WireActionSummaryInput decodeWireActionSummaryInput(std::string_view text);
WireActionSummaryOutput decodeWireActionSummaryOutput(std::string_view text);

// The key conversions ("isMounted" <-> "is_mounted").
std::string wireSnakeCaseKey(std::string_view camelCaseKey);
std::string wireCamelCaseKey(std::string_view snakeCaseKey);

} // namespace berthkeep

#include "BerthkeepRustBridge/Wire/WireCoding.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "Berthkeep/Domain/DomainCodingError.hpp"
#include "DeepJson.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <set>
#include <string>

namespace berthkeep {
namespace {

using json = nlohmann::json;

std::set<std::string> keysOf(const json& object) {
    std::set<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it) {
        keys.insert(it.key());
    }
    return keys;
}

BerthkeepCoreDrive mountedManagedDrive(std::string id) {
    return BerthkeepCoreDrive{id, "Drive " + id, BerthkeepCoreDriveScope::managed, true,
                              DriveUsageSnapshot::zero()};
}

DomainCodingError::Kind decodeFailureKind(std::string_view text) {
    try {
        (void)decodeWireStateEvaluationOutput(text);
    } catch (const DomainCodingError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decoded without failure: " << text;
    return DomainCodingError::Kind::invalidValue;
}

TEST(WireEnumerations, RawValuesRoundTripAndAreCaseSensitive) {
    EXPECT_EQ(toString(WireDriveScope::excluded), "excluded");
    EXPECT_EQ(toString(WireAttentionReasonCode::viewerAssistActivity), "VIEWER_ASSIST_ACTIVITY");
    EXPECT_EQ(toString(WireTriggerReason::manualEjectAndSleep), "manual_eject_and_sleep");
    EXPECT_EQ(toString(WireDriveStatus::notMounted), "not_mounted");
    EXPECT_EQ(toString(WireGlobalSafetyStateKind::fullMonitoringUnavailable),
              "full_monitoring_unavailable");
    EXPECT_EQ(toString(WirePrimaryActionKind::retryEject), "retry_eject");
    EXPECT_EQ(toString(WireLastActionResultKind::partialSuccess), "partial_success");
    EXPECT_EQ(toString(WireActionDisposition::noTargets), "no_targets");

    for (const auto kind :
         {WireGlobalSafetyStateKind::noManagedDrives, WireGlobalSafetyStateKind::limitedProtection,
          WireGlobalSafetyStateKind::fullMonitoringUnavailable,
          WireGlobalSafetyStateKind::fullMonitoringVerifying, WireGlobalSafetyStateKind::safe,
          WireGlobalSafetyStateKind::attention, WireGlobalSafetyStateKind::working}) {
        EXPECT_EQ(wireGlobalSafetyStateKindFromString(toString(kind)), kind);
    }
    EXPECT_EQ(wireAttentionReasonCodeFromString("open_file_usage"), std::nullopt);
    EXPECT_EQ(wireDriveStatusFromString("mounting"), std::nullopt);
    EXPECT_EQ(wireTriggerReasonFromString("System_Sleep"), std::nullopt);
}

TEST(WireKeys, ConvertBetweenCamelAndSnakeCase) {
    EXPECT_EQ(wireSnakeCaseKey("isMounted"), "is_mounted");
    EXPECT_EQ(wireSnakeCaseKey("workingDriveIds"), "working_drive_ids");
    EXPECT_EQ(wireSnakeCaseKey("id"), "id");
    EXPECT_EQ(wireCamelCaseKey("pending_sleep_failure_notification"),
              "pendingSleepFailureNotification");
    EXPECT_EQ(wireCamelCaseKey("primaryAction"), "primaryAction");
}

TEST(WireRequestEncoding, MountedManagedZeroDriveHasExactlyItsKeys) {
    const json drive = toJson(WireDrive::fromDomain(mountedManagedDrive("disk4")));
    EXPECT_EQ(keysOf(drive),
              (std::set<std::string>{"id", "name", "scope", "is_mounted", "usage_snapshot"}));
    EXPECT_EQ(drive["scope"], "managed");
    EXPECT_EQ(drive["is_mounted"], true);
    EXPECT_EQ(keysOf(drive["usage_snapshot"]),
              (std::set<std::string>{"open_file_usage", "cwd_usage", "statfs_activity",
                                     "fsevents_activity", "viewer_assist_activity",
                                     "eject_failure_risk_score", "is_busy"}));
}

TEST(WireRequestEncoding, UsageSnapshotTravelsInSnakeCase) {
    BerthkeepCoreDrive drive = mountedManagedDrive("disk5");
    drive.scope = BerthkeepCoreDriveScope::excluded;
    drive.usageSnapshot.openFileUsage = 3;
    drive.usageSnapshot.cwdUsage = 1;
    drive.usageSnapshot.fseventsActivity = true;
    drive.usageSnapshot.ejectFailureRiskScore = 0.75;
    drive.usageSnapshot.isBusy = true;
    drive.usageSnapshot.dominantAttentionReason = BerthkeepAttentionReasonCode::openFileUsage;

    const json encoded = toJson(WireDrive::fromDomain(drive));
    EXPECT_EQ(encoded["scope"], "excluded");
    const json& usage = encoded["usage_snapshot"];
    EXPECT_EQ(usage["open_file_usage"], 3);
    EXPECT_EQ(usage["cwd_usage"], 1);
    EXPECT_EQ(usage["fsevents_activity"], true);
    EXPECT_DOUBLE_EQ(usage["eject_failure_risk_score"].get<double>(), 0.75);
    EXPECT_EQ(usage["is_busy"], true);
    EXPECT_EQ(usage["dominant_attention_reason"], "OPEN_FILE_USAGE");

    // The library side reads it back to the same drive.
    EXPECT_EQ(wireDriveFromJson(encoded).domainValue(), drive);
}

TEST(WireRequestEncoding, EvaluateStateWithoutOptionalsHasOnlyTwoKeys) {
    BerthkeepStateEvaluationInput input;
    input.drives = {mountedManagedDrive("b"), mountedManagedDrive("a")};
    input.workingDriveIDs = {"b"};
    const std::string text = encodeWireJson(WireStateEvaluationInput::fromDomain(input));
    const json encoded = json::parse(text);
    EXPECT_EQ(keysOf(encoded), (std::set<std::string>{"drives", "working_drive_ids"}));
    EXPECT_EQ(encoded["drives"][0]["id"], "b"); // caller's order, nothing sorted
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);
    EXPECT_EQ(text.find("null"), std::string::npos);
}

TEST(WireRequestEncoding, EvaluateStateWithTriggerAndLastAction) {
    BerthkeepStateEvaluationInput input;
    input.activeTrigger = TriggerReason::lidCloseSleep;
    input.lastAction = LastActionSummary{LastActionSummary::Result::partialSuccess(2, 1)};
    const json encoded = toJson(WireStateEvaluationInput::fromDomain(input));
    EXPECT_EQ(encoded["active_trigger"], "lid_close_sleep");
    EXPECT_EQ(encoded["last_action"],
              json::parse(R"({"result":{"kind":"partial_success","ejected":2,"still_busy":1}})"));
}

TEST(WireRequestEncoding, LastActionCarriesOnlyTheCountsOfItsKind) {
    struct Case {
        LastActionSummary::Result result;
        const char* expected;
    };
    const Case cases[] = {
        {LastActionSummary::Result::ejected(3), R"({"result":{"kind":"ejected","count":3}})"},
        {LastActionSummary::Result::partialSuccess(2, 1),
         R"({"result":{"kind":"partial_success","ejected":2,"still_busy":1}})"},
        {LastActionSummary::Result::stillBusy(4), R"({"result":{"kind":"still_busy","count":4}})"},
        {LastActionSummary::Result::noneFound(), R"({"result":{"kind":"none_found"}})"},
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(toJson(WireLastActionSummary::fromDomain(LastActionSummary{testCase.result})),
                  json::parse(testCase.expected))
            << testCase.expected;
    }
}

TEST(WireRequestEncoding, PlanAndSummaryRequests) {
    BerthkeepActionPlanningInput plan;
    plan.trigger = TriggerReason::manualRetry;
    plan.attentionDriveIDs = {"x", "y"};
    EXPECT_EQ(
        json::parse(encodeWireJson(WireActionPlanningInput::fromDomain(plan))),
        json::parse(R"({"trigger":"manual_retry","drives":[],"attention_drive_ids":["x","y"]})"));

    BerthkeepActionSummaryInput summary;
    summary.attemptedDriveIDs = {"a", "b"};
    summary.remainingManagedDriveIDs = {"b"};
    EXPECT_EQ(json::parse(encodeWireJson(WireActionSummaryInput::fromDomain(summary))),
              json::parse(R"({"attempted_drive_ids":["a","b"],"remaining_managed_drive_ids":["b"],
                              "confirmed_successful_drive_ids":[]})"));
    summary.trigger = TriggerReason::systemSleep;
    EXPECT_EQ(json::parse(encodeWireJson(WireActionSummaryInput::fromDomain(summary)))["trigger"],
              "system_sleep");
}

TEST(WireRequestEncoding, NonFiniteRiskScoreRefusesToEncode) {
    for (const double score :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()}) {
        BerthkeepStateEvaluationInput input;
        input.drives = {mountedManagedDrive("disk4")};
        input.drives[0].usageSnapshot.ejectFailureRiskScore = score;
        try {
            (void)encodeWireJson(WireStateEvaluationInput::fromDomain(input));
            ADD_FAILURE() << "encoded a score of " << score;
        } catch (const DomainCodingError& error) {
            EXPECT_EQ(error.kind(), DomainCodingError::Kind::invalidValue);
        }
    }
}

TEST(WireRequestEncoding, InvalidUtf8RefusesToEncode) {
    BerthkeepStateEvaluationInput input;
    input.drives = {mountedManagedDrive("disk4")};
    input.drives[0].name = "Bad \xff name";
    try {
        (void)encodeWireJson(WireStateEvaluationInput::fromDomain(input));
        ADD_FAILURE() << "encoded invalid UTF-8";
    } catch (const DomainCodingError& error) {
        EXPECT_EQ(error.kind(), DomainCodingError::Kind::invalidValue);
    }
}

TEST(WireResponseDecoding, GlobalStateKindsAndDefaults) {
    struct Case {
        const char* json;
        GlobalSafetyState expected;
    };
    const Case cases[] = {
        {R"({"kind":"no_managed_drives"})", GlobalSafetyState::noManagedDrives()},
        {R"({"kind":"limited_protection"})",
         GlobalSafetyState::limitedProtection("Some app activity may not be detected")},
        {R"({"kind":"limited_protection","supporting_copy":""})",
         GlobalSafetyState::limitedProtection("")},
        {R"({"kind":"limited_protection","supporting_copy":null})",
         GlobalSafetyState::limitedProtection("Some app activity may not be detected")},
        {R"({"kind":"full_monitoring_unavailable"})",
         GlobalSafetyState::fullMonitoringUnavailable()},
        {R"({"kind":"full_monitoring_verifying"})", GlobalSafetyState::fullMonitoringVerifying()},
        {R"({"kind":"safe","problem_drive_count":4})", GlobalSafetyState::safe()},
        {R"({"kind":"attention"})", GlobalSafetyState::attention(0)},
        {R"({"kind":"attention","problem_drive_count":2})", GlobalSafetyState::attention(2)},
        {R"({"kind":"working"})", GlobalSafetyState::working(TriggerReason::systemSleep)},
        {R"({"kind":"working","trigger":"manual_retry"})",
         GlobalSafetyState::working(TriggerReason::manualRetry)},
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(wireGlobalSafetyStateFromJson(json::parse(testCase.json)).domainValue(),
                  testCase.expected)
            << testCase.json;
    }
}

TEST(WireResponseDecoding, LastActionKindsAndMissingCounts) {
    struct Case {
        const char* json;
        LastActionSummary::Result expected;
    };
    const Case cases[] = {
        {R"({"result":{"kind":"still_busy"}})", LastActionSummary::Result::stillBusy(0)},
        {R"({"result":{"kind":"ejected","count":3,"still_busy":9}})",
         LastActionSummary::Result::ejected(3)},
        {R"({"result":{"kind":"ejected"}})", LastActionSummary::Result::ejected(0)},
        {R"({"result":{"kind":"partial_success","count":5,"ejected":2}})",
         LastActionSummary::Result::partialSuccess(2, 0)},
        {R"({"result":{"kind":"none_found","count":1}})", LastActionSummary::Result::noneFound()},
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(wireLastActionSummaryFromJson(json::parse(testCase.json)).domainValue(),
                  LastActionSummary{testCase.expected})
            << testCase.json;
    }
}

TEST(WireResponseDecoding, ActionsTakeTheSharedTitles) {
    EXPECT_EQ(wirePrimaryActionFromJson(json::parse(R"({"kind":"retry_eject","enabled":false})"))
                  .domainValue(),
              PrimaryAction::retryEject());
    EXPECT_EQ(
        wirePrimaryActionFromJson(json::parse(R"({"kind":"eject_and_sleep","enabled":false})"))
            .domainValue(),
        PrimaryAction::disabledEjectAndSleep());
    EXPECT_EQ(wirePrimaryActionFromJson(json::parse(R"({"kind":"eject_and_sleep","enabled":true})"))
                  .domainValue(),
              PrimaryAction::ejectAndSleep());
    EXPECT_THROW(wirePrimaryActionFromJson(json::parse(R"({"kind":"eject_and_sleep"})")),
                 DomainCodingError);
}

TEST(WireResponseDecoding, FullEvaluateStateResponse) {
    const WireStateEvaluationOutput wire = decodeWireStateEvaluationOutput(R"({
        "global_state": {"kind": "attention", "problem_drive_count": 1},
        "scope_note": "1 excluded drive not managed automatically",
        "primaryAction": {"kind": "eject_and_sleep", "enabled": true},
        "secondary_action": null,
        "last_action": {"result": {"kind": "ejected", "count": 2}},
        "debug": {"anything": [1, 2]},
        "drives": [
            {"id": "b", "name": "Backup", "status": "busy",
             "attention_reason_codes": ["OPEN_FILE_USAGE", "CWD_USAGE"]},
            {"id": "a", "name": "Archive", "status": "not_mounted", "attention_reason_codes": []}
        ]})");
    BerthkeepStateEvaluationOutput expected;
    expected.globalState = GlobalSafetyState::attention(1);
    expected.scopeNote = "1 excluded drive not managed automatically";
    expected.primaryAction = PrimaryAction::ejectAndSleep();
    expected.lastAction = LastActionSummary{LastActionSummary::Result::ejected(2)};
    expected.drives = {
        {"b",
         "Backup",
         DriveStatus::busy,
         {BerthkeepAttentionReasonCode::openFileUsage, BerthkeepAttentionReasonCode::cwdUsage}},
        {"a", "Archive", DriveStatus::notMounted, {}},
    };
    EXPECT_EQ(wire.domainValue(), expected);
}

TEST(WireResponseDecoding, SnakeCaseWinsOverItsCamelCaseTwin) {
    const WireStateEvaluationOutput wire = decodeWireStateEvaluationOutput(R"({
        "global_state": {"kind": "safe"}, "globalState": {"kind": "attention"}, "drives": []})");
    EXPECT_EQ(wire.globalState.kind, WireGlobalSafetyStateKind::safe);
}

TEST(WireResponseDecoding, InvalidResponsesFailAsAWhole) {
    using Kind = DomainCodingError::Kind;
    const std::string drive =
        R"({"id":"a","name":"A","status":"safe","attention_reason_codes":[]})";
    struct Case {
        std::string json;
        Kind kind;
    };
    const Case cases[] = {
        {"", Kind::dataCorrupted},
        {"not json", Kind::dataCorrupted},
        {R"({"global_state":{"kind":"safe"},"drives":[]} trailing)", Kind::dataCorrupted},
        {"[]", Kind::typeMismatch},
        {R"({"drives":[]})", Kind::keyNotFound},
        {R"({"global_state":{"kind":"safe"}})", Kind::keyNotFound},
        {R"({"global_state":{"kind":"safe"},"drives":null})", Kind::valueNotFound},
        {R"({"global_state":{"kind":"paused"},"drives":[]})", Kind::dataCorrupted},
        {R"({"global_state":{"kind":"attention","problem_drive_count":"2"},"drives":[]})",
         Kind::typeMismatch},
        {R"({"global_state":{"kind":"attention","problem_drive_count":1.5},"drives":[]})",
         Kind::typeMismatch},
        {R"({"global_state":{"kind":"attention","problem_drive_count":18446744073709551615},"drives":[]})",
         Kind::dataCorrupted},
        {R"({"global_state":{"kind":"safe"},"scope_note":3,"drives":[]})", Kind::typeMismatch},
        {R"({"global_state":{"kind":"safe"},"primary_action":{"kind":"eject_and_sleep"},"drives":[]})",
         Kind::keyNotFound},
        {R"({"global_state":{"kind":"safe"},"primary_action":{"kind":"eject_and_sleep","enabled":null},"drives":[]})",
         Kind::valueNotFound},
        {R"({"global_state":{"kind":"safe"},"drives":[{"id":"a","name":"A","status":"mounting","attention_reason_codes":[]}]})",
         Kind::dataCorrupted},
        {R"({"global_state":{"kind":"safe"},"drives":[{"id":"a","name":"A","status":"busy","attention_reason_codes":["open_file_usage"]}]})",
         Kind::dataCorrupted},
        {R"({"global_state":{"kind":"safe"},"drives":[{"id":"a","name":"A","status":"busy"}]})",
         Kind::keyNotFound},
        {R"({"global_state":{"kind":"safe"},"drives":[)" + drive +
             R"(,{"id":7,"name":"B","status":"safe","attention_reason_codes":[]}]})",
         Kind::typeMismatch},
        {R"({"global_state":{"kind":"safe"},"last_action":{"result":{"kind":"all_gone"}},"drives":[]})",
         Kind::dataCorrupted},
        {"{\"global_state\":{\"kind\":\"safe\"},\"scope_note\":\"\xc3\x28\",\"drives\":[]}",
         Kind::dataCorrupted},
        {test::withNestedMember(R"({"global_state":{"kind":"safe"},"drives":[]})",
                                kMaximumJsonNestingDepth),
         Kind::dataCorrupted},
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(decodeFailureKind(testCase.json), testCase.kind) << testCase.json;
    }
}

TEST(WireResponseDecoding, PlanResponse) {
    EXPECT_EQ(decodeWireActionPlan(R"({"disposition":"execute","target_drive_ids":["b","a"]})")
                  .domainValue(),
              (BerthkeepActionPlan{BerthkeepActionPlan::Disposition::execute, {"b", "a"}}));
    EXPECT_EQ(
        decodeWireActionPlan(R"({"disposition":"no_targets","target_drive_ids":[]})").domainValue(),
        (BerthkeepActionPlan{BerthkeepActionPlan::Disposition::noTargets, {}}));
    EXPECT_THROW(decodeWireActionPlan(R"({"disposition":"later","target_drive_ids":[]})"),
                 DomainCodingError);
    EXPECT_THROW(decodeWireActionPlan(R"({"disposition":"execute","target_drive_ids":[1]})"),
                 DomainCodingError);
    EXPECT_THROW(decodeWireActionPlan(R"({"disposition":"execute"})"), DomainCodingError);
}

TEST(WireResponseDecoding, SummaryResponseNotification) {
    const char* base =
        R"("busy_drive_ids":["b"],"last_action":{"result":{"kind":"still_busy","count":1}})";
    EXPECT_EQ(decodeWireActionSummaryOutput(std::string("{") + base + "}")
                  .domainValue()
                  .pendingSleepFailureNotification,
              std::nullopt);
    EXPECT_EQ(decodeWireActionSummaryOutput(std::string("{") + base +
                                            R"(,"pending_sleep_failure_notification":null})")
                  .domainValue()
                  .pendingSleepFailureNotification,
              std::nullopt);
    const BerthkeepActionSummaryOutput output =
        decodeWireActionSummaryOutput(
            std::string("{") + base +
            R"(,"pending_sleep_failure_notification":{"failed_drive_count":2}})")
            .domainValue();
    EXPECT_EQ(output.busyDriveIDs, std::vector<std::string>{"b"});
    EXPECT_EQ(output.lastAction, LastActionSummary{LastActionSummary::Result::stillBusy(1)});
    EXPECT_EQ(output.pendingSleepFailureNotification, PendingSleepFailureNotification{2});

    EXPECT_THROW(decodeWireActionSummaryOutput(R"({"busy_drive_ids":[]})"), DomainCodingError);
    EXPECT_THROW(decodeWireActionSummaryOutput(std::string("{") + base +
                                               R"(,"pending_sleep_failure_notification":{}})"),
                 DomainCodingError);
}

TEST(WireRequestDecoding, RequestsReadBackAndFailOnBadDrives) {
    BerthkeepStateEvaluationInput input;
    input.drives = {mountedManagedDrive("disk4"), mountedManagedDrive("disk6")};
    input.drives[1].isMounted = false;
    input.workingDriveIDs = {"disk6"};
    input.activeTrigger = TriggerReason::manualEjectAll;
    input.lastAction = LastActionSummary{LastActionSummary::Result::stillBusy(1)};
    EXPECT_EQ(
        decodeWireStateEvaluationInput(encodeWireJson(WireStateEvaluationInput::fromDomain(input)))
            .domainValue(),
        input);

    EXPECT_THROW(decodeWireStateEvaluationInput(R"({"drives":[]})"), DomainCodingError);
    EXPECT_THROW(decodeWireActionPlanningInput(R"({"drives":[],"attention_drive_ids":[]})"),
                 DomainCodingError);
    // A drive without its usage snapshot, or with a snapshot lacking its counts.
    EXPECT_THROW(decodeWireStateEvaluationInput(
                     R"({"drives":[{"id":"a","name":"A","scope":"managed","is_mounted":true}],
                         "working_drive_ids":[]})"),
                 DomainCodingError);
    EXPECT_THROW(decodeWireStateEvaluationInput(
                     R"({"drives":[{"id":"a","name":"A","scope":"managed","is_mounted":true,
                         "usage_snapshot":{"cwd_usage":0}}],"working_drive_ids":[]})"),
                 DomainCodingError);
    // A score beyond double range is not a score.
    EXPECT_THROW(decodeWireStateEvaluationInput(
                     R"({"drives":[{"id":"a","name":"A","scope":"managed","is_mounted":true,
                         "usage_snapshot":{"open_file_usage":0,"cwd_usage":0,
                         "eject_failure_risk_score":1e999}}],"working_drive_ids":[]})"),
                 DomainCodingError);
}

} // namespace
} // namespace berthkeep

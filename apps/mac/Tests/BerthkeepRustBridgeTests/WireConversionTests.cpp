#include "BerthkeepRustBridge/Wire/WireCoding.hpp"

#include "Berthkeep/Domain/DomainCodingError.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace berthkeep {
namespace {

using json = nlohmann::json;

// The core library's direction: domain answers to wire responses and back.

TEST(WireConversion, GlobalStatesCarryOnlyTheirOwnPayload) {
    const GlobalSafetyState states[] = {
        GlobalSafetyState::noManagedDrives(),
        GlobalSafetyState::limitedProtection("Only some apps are watched"),
        GlobalSafetyState::limitedProtection(""),
        GlobalSafetyState::fullMonitoringUnavailable(),
        GlobalSafetyState::fullMonitoringVerifying(),
        GlobalSafetyState::safe(),
        GlobalSafetyState::attention(3),
        GlobalSafetyState::working(TriggerReason::lidCloseSleep),
    };
    for (const GlobalSafetyState& state : states) {
        const WireGlobalSafetyState wire = WireGlobalSafetyState::fromDomain(state);
        EXPECT_EQ(wire.domainValue(), state) << state.headerCopy();
        EXPECT_EQ(wireGlobalSafetyStateFromJson(toJson(wire)), wire);
    }
    EXPECT_EQ(toJson(WireGlobalSafetyState::fromDomain(GlobalSafetyState::attention(3))),
              json::parse(R"({"kind":"attention","problem_drive_count":3})"));
    EXPECT_EQ(toJson(WireGlobalSafetyState::fromDomain(GlobalSafetyState::safe())),
              json::parse(R"({"kind":"safe"})"));
}

TEST(WireConversion, FullResponsesRoundTrip) {
    BerthkeepStateEvaluationOutput output;
    output.globalState = GlobalSafetyState::working(TriggerReason::manualRetry);
    output.scopeNote = "2 excluded drives not managed automatically";
    output.primaryAction = PrimaryAction::disabledEjectAndSleep();
    output.secondaryAction = PrimaryAction::retryEject();
    output.lastAction = LastActionSummary{LastActionSummary::Result::partialSuccess(1, 2)};
    output.drives = {{"a", "A", DriveStatus::ejecting, {}},
                     {"b", "B", DriveStatus::busy, {BerthkeepAttentionReasonCode::cwdUsage}},
                     {"c", "C", DriveStatus::excluded, {}},
                     {"d", "D", DriveStatus::connected, {}}};
    EXPECT_EQ(decodeWireStateEvaluationOutput(
                  encodeWireJson(WireStateEvaluationOutput::fromDomain(output)))
                  .domainValue(),
              output);

    BerthkeepActionSummaryOutput summary;
    summary.busyDriveIDs = {"a", "b"};
    summary.lastAction = LastActionSummary{LastActionSummary::Result::stillBusy(2)};
    summary.pendingSleepFailureNotification = PendingSleepFailureNotification{2};
    const std::string text = encodeWireJson(WireActionSummaryOutput::fromDomain(summary));
    EXPECT_EQ(json::parse(text), json::parse(R"({"busy_drive_ids":["a","b"],
                              "last_action":{"result":{"kind":"still_busy","count":2}},
                              "pending_sleep_failure_notification":{"failed_drive_count":2}})"));
    EXPECT_EQ(decodeWireActionSummaryOutput(text).domainValue(), summary);
}

TEST(WireConversion, MountingHasNoWireValue) {
    BerthkeepStateEvaluationOutput output;
    output.drives = {{"a", "A", DriveStatus::mounting, {}}};
    try {
        (void)WireStateEvaluationOutput::fromDomain(output);
        ADD_FAILURE() << "mounting was converted";
    } catch (const DomainCodingError& error) {
        EXPECT_EQ(error.kind(), DomainCodingError::Kind::invalidValue);
    }
}

} // namespace
} // namespace berthkeep

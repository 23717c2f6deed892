#include "CoreTestSupport.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepRustBridge/Wire/WireCoding.hpp"

#include <gtest/gtest.h>

namespace berthkeep::coretest {
namespace {

// One table of decision inputs, each answered by the in-app core, the library and the
// helper; all three must agree exactly.

BerthkeepCoreDrive drive(std::string id, BerthkeepCoreDriveScope scope, bool mounted,
                         std::optional<BerthkeepAttentionReasonCode> busyReason = std::nullopt) {
    BerthkeepCoreDrive result{id, "Drive " + id, scope, mounted, DriveUsageSnapshot::zero()};
    if (busyReason) {
        result.usageSnapshot.isBusy = true;
        result.usageSnapshot.openFileUsage = 2;
        result.usageSnapshot.ejectFailureRiskScore = 0.625;
        result.usageSnapshot.dominantAttentionReason = busyReason;
    }
    return result;
}

constexpr auto kManaged = BerthkeepCoreDriveScope::managed;
constexpr auto kExcluded = BerthkeepCoreDriveScope::excluded;

std::vector<BerthkeepStateEvaluationInput> evaluationCases() {
    std::vector<BerthkeepStateEvaluationInput> cases;
    cases.push_back({});
    cases.push_back({{drive("a", kManaged, true)}, {}, std::nullopt, std::nullopt});
    cases.push_back({{drive("a", kManaged, true, BerthkeepAttentionReasonCode::openFileUsage),
                      drive("b", kManaged, true),
                      drive("c", kManaged, true, BerthkeepAttentionReasonCode::cwdUsage)},
                     {},
                     std::nullopt,
                     LastActionSummary{LastActionSummary::Result::partialSuccess(2, 1)}});
    cases.push_back({{drive("x", kExcluded, true, BerthkeepAttentionReasonCode::statfsActivity),
                      drive("y", kExcluded, false)},
                     {},
                     std::nullopt,
                     std::nullopt});
    cases.push_back({{drive("a", kManaged, true),
                      drive("b", kManaged, false, BerthkeepAttentionReasonCode::fseventsActivity),
                      drive("e", kExcluded, true)},
                     {"a", "ghost"},
                     TriggerReason::manualEjectAndSleep,
                     LastActionSummary{LastActionSummary::Result::noneFound()}});
    cases.push_back(
        {{drive("a", kManaged, true, BerthkeepAttentionReasonCode::viewerAssistActivity)},
         {"a"},
         TriggerReason::lidCloseSleep,
         LastActionSummary{LastActionSummary::Result::stillBusy(1)}});
    return cases;
}

std::vector<BerthkeepActionPlanningInput> planningCases() {
    const std::vector<BerthkeepCoreDrive> drives{
        drive("c", kManaged, true), drive("a", kManaged, true), drive("b", kManaged, false),
        drive("x", kExcluded, true)};
    return {
        {TriggerReason::manualEjectAll, drives, {}},
        {TriggerReason::systemSleep, drives, {"a"}},
        {TriggerReason::manualRetry, drives, {"a", "b", "x"}},
        {TriggerReason::manualRetry, drives, {"gone"}},
        {TriggerReason::manualEjectAndSleep, {drive("b", kManaged, false)}, {}},
        {TriggerReason::lidCloseSleep, {}, {}},
    };
}

std::vector<BerthkeepActionSummaryInput> summaryCases() {
    return {
        {std::nullopt, {}, {}, {}},
        {TriggerReason::manualEjectAll, {"a", "b"}, {}, {"a", "b"}},
        {TriggerReason::systemSleep, {"c", "a", "b"}, {"a", "c"}, {}},
        {TriggerReason::manualRetry, {"a", "a", "b"}, {"a", "b"}, {"b"}},
        {TriggerReason::lidCloseSleep, {"a"}, {"a"}, {}},
        {std::nullopt, {"a", "b"}, {"b"}, {}},
    };
}

template <typename WireOutput, typename Decode>
WireOutput viaLibrary(const CoreLibrary& core, char* (*entry)(const char*),
                      const std::string& request, Decode decode) {
    const auto response = core.take(entry(request.c_str()));
    if (!response) {
        throw std::runtime_error("library failed: " + core.lastError().value_or("(no message)"));
    }
    return decode(*response);
}

template <typename WireOutput, typename Decode>
WireOutput viaHelper(const char* operation, const std::string& request, Decode decode) {
    const ProcessResult result = runHelper({operation}, request);
    if (!result.succeeded()) {
        throw std::runtime_error(std::string("helper failed: ") + result.standardError);
    }
    return decode(result.standardOutput);
}

TEST(CoreDecisionAgreement, EvaluateStateAnswersAlike) {
    CoreLibrary core;
    SwiftBerthkeepCore inApp;
    for (const auto& input : evaluationCases()) {
        const std::string request = encodeWireJson(WireStateEvaluationInput::fromDomain(input));
        const BerthkeepStateEvaluationOutput expected = inApp.evaluateState(input);
        EXPECT_EQ(viaLibrary<WireStateEvaluationOutput>(core, core.evaluateState, request,
                                                        decodeWireStateEvaluationOutput)
                      .domainValue(),
                  expected)
            << request;
        EXPECT_EQ(viaHelper<WireStateEvaluationOutput>("evaluate-state", request,
                                                       decodeWireStateEvaluationOutput)
                      .domainValue(),
                  expected)
            << request;
    }
}

TEST(CoreDecisionAgreement, PlanActionAnswersAlike) {
    CoreLibrary core;
    SwiftBerthkeepCore inApp;
    for (const auto& input : planningCases()) {
        const std::string request = encodeWireJson(WireActionPlanningInput::fromDomain(input));
        const BerthkeepActionPlan expected = inApp.planAction(input);
        EXPECT_EQ(viaLibrary<WireActionPlan>(core, core.planAction, request, decodeWireActionPlan)
                      .domainValue(),
                  expected)
            << request;
        EXPECT_EQ(
            viaHelper<WireActionPlan>("plan-action", request, decodeWireActionPlan).domainValue(),
            expected)
            << request;
    }
}

TEST(CoreDecisionAgreement, SummarizeActionAnswersAlike) {
    CoreLibrary core;
    SwiftBerthkeepCore inApp;
    for (const auto& input : summaryCases()) {
        const std::string request = encodeWireJson(WireActionSummaryInput::fromDomain(input));
        const BerthkeepActionSummaryOutput expected = inApp.summarizeAction(input);
        EXPECT_EQ(viaLibrary<WireActionSummaryOutput>(core, core.summarizeAction, request,
                                                      decodeWireActionSummaryOutput)
                      .domainValue(),
                  expected)
            << request;
        EXPECT_EQ(viaHelper<WireActionSummaryOutput>("summarize-action", request,
                                                     decodeWireActionSummaryOutput)
                      .domainValue(),
                  expected)
            << request;
    }
}

} // namespace
} // namespace berthkeep::coretest

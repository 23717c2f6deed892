#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "BerthkeepRustBridge/DynamicLibraryRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/ProcessRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"
#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "CoreTransportTestSupport.hpp"
#include "platform/Log/ProcessLog.hpp"

using namespace berthkeep;
using berthkeep::testing::EmptyMainBundle;
using berthkeep::testing::ScopedEnvironmentVariable;
using Policy = RustBerthkeepCore::FallbackPolicy;
using Ids = std::vector<std::string>;

namespace {

DriveUsageSnapshot usage(std::int64_t openFiles, std::int64_t cwd, bool busy,
                         std::optional<BerthkeepAttentionReasonCode> reason, double risk = 0.0) {
    DriveUsageSnapshot snapshot;
    snapshot.openFileUsage = openFiles;
    snapshot.cwdUsage = cwd;
    snapshot.statfsActivity = busy && !openFiles;
    snapshot.viewerAssistActivity = risk > 0.5;
    snapshot.ejectFailureRiskScore = risk;
    snapshot.isBusy = busy;
    snapshot.dominantAttentionReason = reason;
    return snapshot;
}

BerthkeepCoreDrive drive(std::string id, std::string name, BerthkeepCoreDriveScope scope,
                         bool mounted, DriveUsageSnapshot snapshot = DriveUsageSnapshot::zero()) {
    return BerthkeepCoreDrive{std::move(id), std::move(name), scope, mounted, snapshot};
}

const auto kManaged = BerthkeepCoreDriveScope::managed;
const auto kExcluded = BerthkeepCoreDriveScope::excluded;

std::vector<BerthkeepCoreDrive> mixedDrives() {
    return {
        drive("disk4", "Archive", kManaged, true),
        drive("disk5", "Fotos \xC3\xA4 \xF0\x9F\x93\xB7", kManaged, true,
              usage(3, 0, true, BerthkeepAttentionReasonCode::openFileUsage, 0.75)),
        drive("disk6", "Scratch \"quoted\"", kExcluded, true,
              usage(0, 1, true, BerthkeepAttentionReasonCode::cwdUsage)),
        drive("disk7", "Sleeper", kManaged, false),
        drive("disk8", "Busy cwd", kManaged, true,
              usage(0, 2, true, BerthkeepAttentionReasonCode::cwdUsage, 0.25)),
    };
}

std::vector<BerthkeepStateEvaluationInput> evaluationTable() {
    return {
        {},
        {{drive("disk4", "Archive", kManaged, true)}, {}, std::nullopt, std::nullopt},
        {mixedDrives(), {}, std::nullopt, std::nullopt},
        {mixedDrives(),
         {"disk4", "disk5"},
         TriggerReason::systemSleep,
         LastActionSummary{LastActionSummary::Result::partialSuccess(1, 1)}},
        {{drive("disk9", "Only excluded", kExcluded, true)},
         {},
         TriggerReason::manualRetry,
         LastActionSummary{LastActionSummary::Result::noneFound()}},
        {{drive("disk4", "Archive", kManaged, true,
                usage(0, 0, true, BerthkeepAttentionReasonCode::statfsActivity))},
         {"disk4"},
         TriggerReason::manualEjectAll,
         LastActionSummary{LastActionSummary::Result::stillBusy(2)}},
    };
}

std::vector<BerthkeepActionPlanningInput> planningTable() {
    return {
        {TriggerReason::manualEjectAll, {}, {}},
        {TriggerReason::manualEjectAll, mixedDrives(), {}},
        {TriggerReason::systemSleep, mixedDrives(), {"disk5"}},
        {TriggerReason::manualRetry, mixedDrives(), {"disk8", "disk5", "nowhere"}},
        {TriggerReason::manualRetry, mixedDrives(), {"disk7"}},
        {TriggerReason::lidCloseSleep, {drive("disk7", "Sleeper", kManaged, false)}, {}},
    };
}

std::vector<BerthkeepActionSummaryInput> summaryTable() {
    return {
        {std::nullopt, {}, {}, {}},
        {TriggerReason::manualEjectAll, {"A", "B"}, {"B", "C"}, {}},
        {TriggerReason::manualEjectAll, {"A", "B"}, {"B", "C"}, {"B"}},
        {TriggerReason::systemSleep, {"b", "A", "a", "c"}, {"b", "A", "a"}, {}},
        {TriggerReason::manualEjectAndSleep, {"A", "A"}, {}, {}},
        {TriggerReason::lidCloseSleep, {"B", "A"}, {"A", "B"}, {}},
    };
}

// Answers every call with a fixed text and counts the calls.
class ScriptedTransport final : public RustBerthkeepCoreTransport {
public:
    explicit ScriptedTransport(std::string answer)
        : m_answer(std::move(answer)) {}
    std::string call(RustBerthkeepCoreOperation operation, const std::string& request) override {
        operations.push_back(operation);
        requests.push_back(request);
        return m_answer;
    }
    std::vector<RustBerthkeepCoreOperation> operations;
    std::vector<std::string> requests;

private:
    std::string m_answer;
};

// An in-app core that counts how often it was asked.
class CountingCore final : public BerthkeepCoreHandling {
public:
    BerthkeepStateEvaluationOutput
    evaluateState(const BerthkeepStateEvaluationInput& input) override {
        ++calls;
        return m_core.evaluateState(input);
    }
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) override {
        ++calls;
        return m_core.planAction(input);
    }
    BerthkeepActionSummaryOutput
    summarizeAction(const BerthkeepActionSummaryInput& input) override {
        ++calls;
        return m_core.summarizeAction(input);
    }
    int calls = 0;

private:
    SwiftBerthkeepCore m_core;
};

void expectAnswersLikeTheInAppCore(BerthkeepCoreHandling& core) {
    SwiftBerthkeepCore swift;
    int index = 0;
    for (const auto& input : evaluationTable()) {
        SCOPED_TRACE("evaluation " + std::to_string(index++));
        EXPECT_EQ(core.evaluateState(input), swift.evaluateState(input));
    }
    index = 0;
    for (const auto& input : planningTable()) {
        SCOPED_TRACE("planning " + std::to_string(index++));
        EXPECT_EQ(core.planAction(input), swift.planAction(input));
    }
    index = 0;
    for (const auto& input : summaryTable()) {
        SCOPED_TRACE("summary " + std::to_string(index++));
        EXPECT_EQ(core.summarizeAction(input), swift.summarizeAction(input));
    }
}

class RustBerthkeepCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousLog = ProcessLog::shared();
        ProcessLog::setShared(m_log);
    }
    void TearDown() override {
        ProcessLog::setShared(m_previousLog);
        BerthkeepRustBridgeRegistry::resetForTesting();
    }

    std::shared_ptr<CaptureProcessLog> m_log = std::make_shared<CaptureProcessLog>();
    std::shared_ptr<ProcessLog> m_previousLog;
};

} // namespace

TEST_F(RustBerthkeepCoreTest, MissingTransportFallsBackWithOneLinePerCall) {
    RustBerthkeepCore core(RustBerthkeepCoreBridge(nullptr), nullptr, Policy::swiftFallback);
    SwiftBerthkeepCore swift;
    const auto evaluation = evaluationTable()[3];
    const auto planning = planningTable()[3];
    const auto summary = summaryTable()[3];

    EXPECT_EQ(core.evaluateState(evaluation), swift.evaluateState(evaluation));
    EXPECT_EQ(core.planAction(planning), swift.planAction(planning));
    EXPECT_EQ(core.summarizeAction(summary), swift.summarizeAction(summary));
    EXPECT_EQ(core.evaluateState(evaluation), swift.evaluateState(evaluation));

    EXPECT_EQ(m_log->lines(),
              (Ids{"Berthkeep Rust core fallback for evaluate-state: transportUnavailable",
                   "Berthkeep Rust core fallback for plan-action: transportUnavailable",
                   "Berthkeep Rust core fallback for summarize-action: transportUnavailable",
                   "Berthkeep Rust core fallback for evaluate-state: transportUnavailable"}));
}

TEST_F(RustBerthkeepCoreTest, AnswerThatIsNotJSONFallsBackAsInvalidResponse) {
    for (const std::string answer : {"this is not json", "", "{}", "{\"disposition\":\"later\"}"}) {
        m_log->clear();
        auto transport = std::make_shared<ScriptedTransport>(answer);
        RustBerthkeepCore core(RustBerthkeepCoreBridge(transport), nullptr, Policy::swiftFallback);
        const auto input = planningTable()[1];
        EXPECT_EQ(core.planAction(input), SwiftBerthkeepCore().planAction(input)) << answer;
        EXPECT_EQ(m_log->lines(),
                  Ids{"Berthkeep Rust core fallback for plan-action: invalidResponse"});
    }
}

TEST_F(RustBerthkeepCoreTest, SuccessfulAnswerIsReturnedUnchangedWithoutTheFallback) {
    auto transport = std::make_shared<ScriptedTransport>(
        "{\"disposition\":\"execute\",\"target_drive_ids\":[\"zzz\",\"disk7\"],\"extra\":true}");
    auto fallback = std::make_shared<CountingCore>();
    RustBerthkeepCore core(RustBerthkeepCoreBridge(transport), fallback, Policy::requireRust);

    const auto plan = core.planAction(planningTable()[0]);
    EXPECT_EQ(plan,
              (BerthkeepActionPlan{BerthkeepActionPlan::Disposition::execute, {"zzz", "disk7"}}));
    EXPECT_EQ(fallback->calls, 0);
    EXPECT_TRUE(m_log->lines().empty());
    ASSERT_EQ(transport->operations.size(), 1u);
    EXPECT_EQ(transport->operations[0], RustBerthkeepCoreOperation::planAction);
    EXPECT_EQ(transport->requests[0],
              "{\"attention_drive_ids\":[],\"drives\":[],\"trigger\":\"manual_eject_all\"}");
}

TEST_F(RustBerthkeepCoreTest, RequestThatDoesNotEncodeFallsBackWithTheEncodersError) {
    auto transport = std::make_shared<ScriptedTransport>("{}");
    RustBerthkeepCore core(RustBerthkeepCoreBridge(transport), nullptr, Policy::swiftFallback);
    BerthkeepActionSummaryInput input{TriggerReason::manualEjectAll, {"bad \xC3"}, {}, {}};
    EXPECT_EQ(core.summarizeAction(input), SwiftBerthkeepCore().summarizeAction(input));
    EXPECT_TRUE(transport->operations.empty());
    const auto lines = m_log->lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Berthkeep Rust core fallback for summarize-action: ", 0), 0u)
        << lines[0];
    EXPECT_GT(lines[0].size(),
              std::string("Berthkeep Rust core fallback for summarize-action: ").size());
}

TEST_F(RustBerthkeepCoreTest, FixtureLibraryFailuresReachTheFallbackLine) {
    struct Case {
        const char* library;
        std::string line;
    };
    for (const auto& testCase :
         {Case{BERTHKEEP_FIXTURE_NULL_WITH_ERROR,
               "Berthkeep Rust core fallback for evaluate-state: callFailed(\"fixture \\\"core\\\" "
               "failed\")"},
          Case{BERTHKEEP_FIXTURE_NULL_WITHOUT_ERROR,
               "Berthkeep Rust core fallback for evaluate-state: callFailed(\"Rust core call "
               "failed\")"},
          Case{BERTHKEEP_FIXTURE_INVALID_JSON,
               "Berthkeep Rust core fallback for evaluate-state: invalidResponse"}}) {
        m_log->clear();
        RustBerthkeepCore core(
            RustBerthkeepCoreBridge(
                std::make_shared<DynamicLibraryRustBerthkeepCoreTransport>(testCase.library)),
            nullptr, Policy::swiftFallback);
        const auto input = evaluationTable()[2];
        EXPECT_EQ(core.evaluateState(input), SwiftBerthkeepCore().evaluateState(input));
        EXPECT_EQ(m_log->lines(), Ids{testCase.line});
    }
}

TEST_F(RustBerthkeepCoreTest, ErrorTextOfOtherErrorsIsTheirDescription) {
    EXPECT_EQ(RustBerthkeepCore::errorText(std::make_exception_ptr(std::runtime_error("no pipes"))),
              "no pipes");
    EXPECT_EQ(RustBerthkeepCore::errorText(std::make_exception_ptr(42)), "unknown error");
    EXPECT_EQ(RustBerthkeepCore::errorText(
                  std::make_exception_ptr(RustBerthkeepCoreBridgeError::processFailed(3, "boom"))),
              "processFailed(status: 3, error: \"boom\")");
}

using RustBerthkeepCoreDeathTest = RustBerthkeepCoreTest;

TEST_F(RustBerthkeepCoreDeathTest, RequiredCoreStopsTheProcessOnTheFirstFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            RustBerthkeepCore core(RustBerthkeepCoreBridge(nullptr), nullptr, Policy::requireRust);
            core.planAction(planningTable()[1]);
        },
        "Berthkeep Rust core bridge failed for plan-action: transportUnavailable");
    EXPECT_DEATH(
        {
            auto transport = std::make_shared<ScriptedTransport>("[]");
            RustBerthkeepCore core(RustBerthkeepCoreBridge(transport), nullptr,
                                   Policy::requireRust);
            core.summarizeAction(summaryTable()[1]);
        },
        "Berthkeep Rust core bridge failed for summarize-action: invalidResponse");
}

TEST_F(RustBerthkeepCoreDeathTest, BootstrapWithoutLibraryOrHelper) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EmptyMainBundle bundle;
    ScopedEnvironmentVariable library(BerthkeepRustBridgeLocation::libraryPathEnvironmentKey,
                                      std::nullopt);
    ScopedEnvironmentVariable helper(BerthkeepRustBridgeLocation::bridgePathEnvironmentKey,
                                     std::nullopt);
    BerthkeepRustBridgeBootstrap::registerFactories();

    // Fallback: the in-app answer and the log line.
    const auto core =
        BerthkeepRustBridgeRegistry::makeCore(BerthkeepRustCoreSelection::fallbackToSwift);
    const auto input = evaluationTable()[2];
    EXPECT_EQ(core->evaluateState(input), SwiftBerthkeepCore().evaluateState(input));
    EXPECT_EQ(m_log->lines(),
              Ids{"Berthkeep Rust core fallback for evaluate-state: transportUnavailable"});

    // Required: the first call stops the process; the registered bootstrap never
    // hands out the missing-required core.
    EXPECT_DEATH(
        {
            BerthkeepRustBridgeRegistry::makeCore(BerthkeepRustCoreSelection::requireRust)
                ->summarizeAction(summaryTable()[1]);
        },
        "Berthkeep Rust core bridge failed for summarize-action: transportUnavailable");
}

#if defined(BERTHKEEP_CORE_LIBRARY_PATH) && defined(BERTHKEEP_CORE_BRIDGE_PATH)
TEST_F(RustBerthkeepCoreTest, LibraryAnswersExactlyLikeTheInAppCore) {
    RustBerthkeepCore core(
        RustBerthkeepCoreBridge(std::make_shared<DynamicLibraryRustBerthkeepCoreTransport>(
            BERTHKEEP_CORE_LIBRARY_PATH)),
        std::make_shared<CountingCore>(), Policy::requireRust);
    expectAnswersLikeTheInAppCore(core);
    EXPECT_TRUE(m_log->lines().empty());
}

TEST_F(RustBerthkeepCoreTest, HelperAnswersExactlyLikeTheInAppCore) {
    RustBerthkeepCore core(
        RustBerthkeepCoreBridge(std::make_shared<ProcessRustBerthkeepCoreTransport>(
            BERTHKEEP_CORE_BRIDGE_PATH, berthkeep::testing::helperAnswerTimeout)),
        std::make_shared<CountingCore>(), Policy::requireRust);
    expectAnswersLikeTheInAppCore(core);
    EXPECT_TRUE(m_log->lines().empty());
}

TEST_F(RustBerthkeepCoreTest, BootstrapFindsTheLibraryThroughTheEnvironment) {
    EmptyMainBundle bundle;
    ScopedEnvironmentVariable library(BerthkeepRustBridgeLocation::libraryPathEnvironmentKey,
                                      std::string(BERTHKEEP_CORE_LIBRARY_PATH));
    ScopedEnvironmentVariable helper(BerthkeepRustBridgeLocation::bridgePathEnvironmentKey,
                                     std::nullopt);
    BerthkeepRustBridgeBootstrap::registerFactories();
    const auto core =
        BerthkeepRustBridgeRegistry::makeCore(BerthkeepRustCoreSelection::requireRust);
    const auto rustCore = std::dynamic_pointer_cast<RustBerthkeepCore>(core);
    ASSERT_NE(rustCore, nullptr);
    EXPECT_EQ(rustCore->fallbackPolicy(), Policy::requireRust);
    EXPECT_NE(std::dynamic_pointer_cast<DynamicLibraryRustBerthkeepCoreTransport>(
                  rustCore->bridge().transport()),
              nullptr);
    expectAnswersLikeTheInAppCore(*core);
}
#endif

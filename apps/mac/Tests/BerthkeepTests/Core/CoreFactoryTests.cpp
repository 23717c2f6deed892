#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Berthkeep/Core/BerthkeepCoreFactory.hpp"
#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"
#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "apps/mac/Tests/BerthkeepRustBridgeTests/CoreTransportTestSupport.hpp"
#include "platform/Defaults/UserDefaults.hpp"
#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"

using namespace berthkeep;
using berthkeep::testing::EmptyMainBundle;
using berthkeep::testing::ScopedEnvironmentVariable;
using Implementation = BerthkeepCoreImplementation;

namespace {

InMemoryUserDefaults defaultsWith(std::optional<std::string> value) {
    PropertyListValue::Dictionary values;
    if (value) {
        values[BerthkeepCoreFactory::defaultsKey] = PropertyListValue(*value);
    }
    return InMemoryUserDefaults(values);
}

BerthkeepProcessInfo::Environment environmentWith(std::optional<std::string> value) {
    if (!value) {
        return {};
    }
    return {{BerthkeepCoreFactory::environmentKey, *value}};
}

const std::vector<std::string> kRequiredSpellings = {"rust_required", " Rust-Required\n",
                                                     "\tRUST_STRICT ", "rust-strict"};

class CoreFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        BerthkeepRustBridgeRegistry::resetForTesting();
        m_previousLog = ProcessLog::shared();
        ProcessLog::setShared(m_processLog);
        BerthkeepStartupAudit::setOutputsForTesting(
            BerthkeepStartupAudit::Outputs{m_unifiedLog, m_auditProcessLog, "app.test", true});
    }
    void TearDown() override {
        BerthkeepRustBridgeRegistry::resetForTesting();
        ProcessLog::setShared(m_previousLog);
        BerthkeepStartupAudit::setOutputsForTesting(std::nullopt);
    }

    std::shared_ptr<CaptureProcessLog> m_processLog = std::make_shared<CaptureProcessLog>();
    std::shared_ptr<CaptureProcessLog> m_auditProcessLog = std::make_shared<CaptureProcessLog>();
    std::shared_ptr<CaptureUnifiedLog> m_unifiedLog = std::make_shared<CaptureUnifiedLog>();
    std::shared_ptr<ProcessLog> m_previousLog;
};

using CoreFactoryDeathTest = CoreFactoryTest;

// The bootstrap is registered and neither the library nor the helper can be found.
struct NoCoreLibrary {
    EmptyMainBundle bundle;
    ScopedEnvironmentVariable library{BerthkeepRustBridgeLocation::libraryPathEnvironmentKey,
                                      std::nullopt};
    ScopedEnvironmentVariable helper{BerthkeepRustBridgeLocation::bridgePathEnvironmentKey,
                                     std::nullopt};
    NoCoreLibrary() { BerthkeepRustBridgeBootstrap::registerFactories(); }
};

} // namespace

TEST(CoreImplementationTest, ParsesTrimmedCaseInsensitiveSpellings) {
    struct Case {
        std::string text;
        std::optional<Implementation> expected;
    };
    const std::vector<Case> cases = {
        {"swift", Implementation::swift},
        {"SWIFT", Implementation::swift},
        {"rust", Implementation::rust},
        {" Rust\n", Implementation::rust},
        {"rust_required", Implementation::rustRequired},
        {"rust-required", Implementation::rustRequired},
        {"rust_strict", Implementation::rustRequired},
        {"  RUST-STRICT \n", Implementation::rustRequired},
        {"\xC2\xA0rust\xE2\x80\xA8", Implementation::rust}, // no-break space, line separator
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"library", std::nullopt},
        {"rust strict", std::nullopt},
        {"rustrequired", std::nullopt},
        {"swift2", std::nullopt},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(parseBerthkeepCoreImplementation(testCase.text), testCase.expected)
            << "'" << testCase.text << "'";
    }
    EXPECT_EQ(toString(Implementation::swift), "swift");
    EXPECT_EQ(toString(Implementation::rust), "rust");
    EXPECT_EQ(toString(Implementation::rustRequired), "rust_required");
}

TEST(CoreImplementationTest, EnvironmentThenUserDefaultThenInAppCore) {
    struct Case {
        std::optional<std::string> environment;
        std::optional<std::string> defaults;
        Implementation expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, Implementation::swift},
        {"  RUST-STRICT \n", "swift", Implementation::rustRequired},
        {"library", "rust", Implementation::rust},
        {"", "rust_required", Implementation::rustRequired},
        {std::nullopt, "SWIFT", Implementation::swift},
        {std::nullopt, "", Implementation::swift},
        {"swift", "rust", Implementation::swift},
        {"library", "also unknown", Implementation::swift},
    };
    for (const auto& testCase : cases) {
        auto defaults = defaultsWith(testCase.defaults);
        EXPECT_EQ(BerthkeepCoreFactory::resolveImplementation(environmentWith(testCase.environment),
                                                              defaults),
                  testCase.expected)
            << testCase.environment.value_or("<unset>") << " / "
            << testCase.defaults.value_or("<unset>");
    }
}

TEST_F(CoreFactoryTest, InAppChoiceNeverAsksTheRegistry) {
    int makerCalls = 0;
    BerthkeepRustBridgeRegistry::registerFactories(
        [&makerCalls](BerthkeepRustCoreSelection) {
            ++makerCalls;
            return std::make_shared<SwiftBerthkeepCore>();
        },
        nullptr, nullptr);
    auto defaults = defaultsWith(std::nullopt);
    const auto core = BerthkeepCoreFactory::makeLive(BerthkeepProcessInfo{}, defaults);
    EXPECT_NE(std::dynamic_pointer_cast<SwiftBerthkeepCore>(core), nullptr);
    EXPECT_EQ(makerCalls, 0);

    const auto entries = m_unifiedLog->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, UnifiedLogType::debug);
    EXPECT_EQ(entries[0].message,
              "Resolved live core implementation | component=BerthkeepCoreFactory "
              "implementation=swift method=makeLive mode=n/a phase=app_launch");
}

TEST_F(CoreFactoryTest, LibraryChoicesAskTheRegistryForTheirSelection) {
    std::vector<BerthkeepRustCoreSelection> asked;
    BerthkeepRustBridgeRegistry::registerFactories(
        [&asked](BerthkeepRustCoreSelection selection) {
            asked.push_back(selection);
            return std::make_shared<SwiftBerthkeepCore>();
        },
        nullptr, nullptr);
    auto defaults = defaultsWith("rust");
    BerthkeepCoreFactory::makeLive(BerthkeepProcessInfo{}, defaults);
    BerthkeepCoreFactory::makeLive(BerthkeepProcessInfo{environmentWith("rust_strict")}, defaults);
    EXPECT_EQ(asked,
              (std::vector<BerthkeepRustCoreSelection>{BerthkeepRustCoreSelection::fallbackToSwift,
                                                       BerthkeepRustCoreSelection::requireRust}));

    const auto entries = m_unifiedLog->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(entries[0].message.find("implementation=rust "), std::string::npos);
    EXPECT_NE(entries[1].message.find("implementation=rust_required "), std::string::npos);
}

TEST_F(CoreFactoryTest, LibraryChoiceWithoutLibraryFallsBackOnEveryDecision) {
    NoCoreLibrary noLibrary;
    auto defaults = defaultsWith(std::nullopt);
    const auto core =
        BerthkeepCoreFactory::makeLive(BerthkeepProcessInfo{environmentWith("rust")}, defaults);
    ASSERT_NE(std::dynamic_pointer_cast<RustBerthkeepCore>(core), nullptr);

    SwiftBerthkeepCore swift;
    const BerthkeepStateEvaluationInput evaluation{
        {BerthkeepCoreDrive{"disk4", "Archive", BerthkeepCoreDriveScope::managed, true}},
        {},
        std::nullopt,
        std::nullopt};
    const BerthkeepActionPlanningInput planning{
        TriggerReason::manualEjectAll, evaluation.drives, {}};
    const BerthkeepActionSummaryInput summary{TriggerReason::systemSleep, {"disk4"}, {"disk4"}, {}};
    EXPECT_EQ(core->evaluateState(evaluation), swift.evaluateState(evaluation));
    EXPECT_EQ(core->planAction(planning), swift.planAction(planning));
    EXPECT_EQ(core->summarizeAction(summary), swift.summarizeAction(summary));
    EXPECT_EQ(m_processLog->lines(),
              (std::vector<std::string>{
                  "Berthkeep Rust core fallback for evaluate-state: transportUnavailable",
                  "Berthkeep Rust core fallback for plan-action: transportUnavailable",
                  "Berthkeep Rust core fallback for summarize-action: transportUnavailable"}));
}

TEST_F(CoreFactoryDeathTest, RequiredLibraryChoiceWithoutLibraryStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    NoCoreLibrary noLibrary;
    auto defaults = defaultsWith(std::nullopt);
    for (const auto& spelling : kRequiredSpellings) {
        SCOPED_TRACE(spelling);
        const auto core = BerthkeepCoreFactory::makeLive(
            BerthkeepProcessInfo{environmentWith(spelling)}, defaults);
        EXPECT_DEATH(core->evaluateState({}),
                     "Berthkeep Rust core bridge failed for evaluate-state: transportUnavailable");
    }
    // The same through the user default.
    auto requiredDefaults = defaultsWith("Rust_Strict");
    const auto core = BerthkeepCoreFactory::makeLive(BerthkeepProcessInfo{}, requiredDefaults);
    EXPECT_DEATH(core->planAction({}),
                 "Berthkeep Rust core bridge failed for plan-action: transportUnavailable");
}

TEST_F(CoreFactoryDeathTest, RequiredLibraryWithoutRegisteredBridgeStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto defaults = defaultsWith(std::nullopt);
    const auto core = BerthkeepCoreFactory::makeLive(
        BerthkeepProcessInfo{environmentWith("rust_required")}, defaults);
    EXPECT_DEATH(core->summarizeAction({}),
                 "Berthkeep Rust core bridge is required but unavailable");
}

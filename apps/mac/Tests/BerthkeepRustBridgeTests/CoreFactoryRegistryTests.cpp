#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "Berthkeep/Drive/DriveUsageProviding.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"
#include "BerthkeepRustBridge/MissingRequiredRustBerthkeepCore.hpp"

using namespace berthkeep;
using Kind = BerthkeepRustDriveUsageFailureKind;
using Selection = BerthkeepRustCoreSelection;

namespace {

class CoreFactoryRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { BerthkeepRustBridgeRegistry::resetForTesting(); }
    void TearDown() override { BerthkeepRustBridgeRegistry::resetForTesting(); }
};

using CoreFactoryRegistryDeathTest = CoreFactoryRegistryTest;

// Stands for whatever core the bridge would build.
class MarkedCore final : public BerthkeepCoreHandling {
public:
    explicit MarkedCore(Selection selection)
        : selection(selection) {}
    BerthkeepStateEvaluationOutput evaluateState(const BerthkeepStateEvaluationInput&) override {
        return {};
    }
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput&) override { return {}; }
    BerthkeepActionSummaryOutput summarizeAction(const BerthkeepActionSummaryInput&) override {
        return {};
    }
    Selection selection;
};

} // namespace

TEST_F(CoreFactoryRegistryTest, UnregisteredSlotsAnswerWithoutTheLibrary) {
    EXPECT_NE(std::dynamic_pointer_cast<SwiftBerthkeepCore>(
                  BerthkeepRustBridgeRegistry::makeCore(Selection::fallbackToSwift)),
              nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<MissingRequiredRustBerthkeepCore>(
                  BerthkeepRustBridgeRegistry::makeCore(Selection::requireRust)),
              nullptr);
    EXPECT_FALSE(BerthkeepRustBridgeRegistry::hasDriveUsageProviderMaker());
    const auto provider = BerthkeepRustBridgeRegistry::makeDriveUsageProvider();
    ASSERT_NE(provider, nullptr);
    EXPECT_THROW(provider->updateManagedVolumes({}, ActivityDetectionMode::standard),
                 BerthkeepRustBridgeUnavailableError);
    EXPECT_THROW(provider->usageSnapshotsByDriveID(), BerthkeepRustBridgeUnavailableError);
    for (const auto& error :
         {std::make_exception_ptr(std::runtime_error("x")),
          std::make_exception_ptr(BerthkeepRustBridgeUnavailableError()), std::exception_ptr()}) {
        EXPECT_EQ(BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(error), Kind::unknown);
    }
}

TEST_F(CoreFactoryRegistryTest, RegisteredCallablesAnswerEverySlot) {
    int providerCalls = 0;
    BerthkeepRustBridgeRegistry::registerFactories(
        [](Selection selection) { return std::make_shared<MarkedCore>(selection); },
        [&providerCalls] {
            ++providerCalls;
            return std::shared_ptr<DriveUsageProviding>();
        },
        [](std::exception_ptr) { return Kind::setupRequired; });

    for (const auto selection : {Selection::fallbackToSwift, Selection::requireRust}) {
        const auto core =
            std::dynamic_pointer_cast<MarkedCore>(BerthkeepRustBridgeRegistry::makeCore(selection));
        ASSERT_NE(core, nullptr);
        EXPECT_EQ(core->selection, selection);
    }
    EXPECT_TRUE(BerthkeepRustBridgeRegistry::hasDriveUsageProviderMaker());
    BerthkeepRustBridgeRegistry::makeDriveUsageProvider();
    EXPECT_EQ(providerCalls, 1);
    EXPECT_EQ(BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(
                  std::make_exception_ptr(std::runtime_error("x"))),
              Kind::setupRequired);

    // Registration replaces all three at once; an empty callable is the default.
    BerthkeepRustBridgeRegistry::registerFactories(nullptr, nullptr, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<SwiftBerthkeepCore>(
                  BerthkeepRustBridgeRegistry::makeCore(Selection::fallbackToSwift)),
              nullptr);
    EXPECT_FALSE(BerthkeepRustBridgeRegistry::hasDriveUsageProviderMaker());
    EXPECT_THROW(BerthkeepRustBridgeRegistry::makeDriveUsageProvider()->usageSnapshotsByDriveID(),
                 BerthkeepRustBridgeUnavailableError);
    EXPECT_EQ(BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(nullptr), Kind::unknown);
}

TEST_F(CoreFactoryRegistryDeathTest, MissingRequiredCoreStopsEveryOperation) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* message = "Berthkeep Rust core bridge is required but unavailable";
    const auto core = BerthkeepRustBridgeRegistry::makeCore(Selection::requireRust);
    EXPECT_DEATH(core->evaluateState({}), message);
    EXPECT_DEATH(core->planAction({}), message);
    EXPECT_DEATH(core->summarizeAction({}), message);
}

#include "Berthkeep/Domain/FullMonitoringCapability.hpp"
#include "Berthkeep/Domain/FullMonitoringOnboardingState.hpp"
#include "Berthkeep/Domain/FullMonitoringPreference.hpp"
#include "Berthkeep/Domain/MenubarRemediationAction.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace berthkeep {
namespace {

using Capability = FullMonitoringCapability;

TEST(FullMonitoringCapabilityTest, StoredFormsRoundTrip) {
    struct Case {
        Capability capability;
        const char* stored;
    };
    const std::vector<Case> cases{
        {Capability::unavailable(), "unavailable"},
        {Capability::unavailable(""), "unavailable:"},
        {Capability::unavailable("No access: try again"), "unavailable:No access: try again"},
        {Capability::unavailable("unavailable:x"), "unavailable:unavailable:x"},
        {Capability::unknown(), "unknown"},
        {Capability::available(), "available"},
        {Capability::setupRequired(), "setup_required"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(c.capability.storedString(), c.stored);
        EXPECT_EQ(Capability::fromStoredString(c.stored), c.capability);
    }
}

TEST(FullMonitoringCapabilityTest, EmptyMessageIsNotAnAbsentMessage) {
    const auto empty = Capability::fromStoredString("unavailable:");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->kind(), Capability::Kind::unavailable);
    EXPECT_EQ(empty->message(), std::string());
    EXPECT_NE(*empty, Capability::unavailable());
    EXPECT_EQ(Capability::unavailable().message(), std::nullopt);
    EXPECT_EQ(Capability::available().message(), std::nullopt);
    EXPECT_EQ(Capability(), Capability::unknown());
}

TEST(FullMonitoringCapabilityTest, OtherStringsDecodeToNothing) {
    for (const char* stored : {"", "Available", "UNKNOWN", "setupRequired", "Unavailable:x",
                               " available", "unavailable "}) {
        EXPECT_EQ(Capability::fromStoredString(stored), std::nullopt) << '"' << stored << '"';
    }
}

TEST(FullMonitoringValuesTest, PreferenceAndOnboardingRawValues) {
    EXPECT_EQ(toString(FullMonitoringPreference::on), "on");
    EXPECT_EQ(toString(FullMonitoringPreference::off), "off");
    EXPECT_EQ(fullMonitoringPreferenceFromString("on"), FullMonitoringPreference::on);
    EXPECT_EQ(fullMonitoringPreferenceFromString("off"), FullMonitoringPreference::off);
    EXPECT_EQ(fullMonitoringPreferenceFromString("ON"), std::nullopt);

    for (auto state :
         {FullMonitoringOnboardingState::notDetermined, FullMonitoringOnboardingState::deferred,
          FullMonitoringOnboardingState::acknowledged}) {
        EXPECT_EQ(fullMonitoringOnboardingStateFromString(toString(state)), state);
    }
    EXPECT_EQ(toString(FullMonitoringOnboardingState::notDetermined), "notDetermined");
    EXPECT_EQ(fullMonitoringOnboardingStateFromString("declined"), std::nullopt);
    EXPECT_EQ(fullMonitoringOnboardingStateFromString("not_determined"), std::nullopt);
}

TEST(FullMonitoringValuesTest, RemediationActionsAsTheStoreOffersThem) {
    EXPECT_EQ(MenubarRemediationAction::enableFullMonitoring(),
              (MenubarRemediationAction{MenubarRemediationAction::Kind::enableFullMonitoring,
                                        "Enable Full Monitoring\xE2\x80\xA6"}));
    EXPECT_EQ(MenubarRemediationAction::openSystemSettings(),
              (MenubarRemediationAction{MenubarRemediationAction::Kind::openSystemSettings,
                                        "Open Settings\u2026"}));
}

} // namespace
} // namespace berthkeep

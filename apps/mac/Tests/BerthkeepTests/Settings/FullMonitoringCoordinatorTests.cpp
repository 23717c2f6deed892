#include "Berthkeep/Settings/FullMonitoringCoordinator.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"
#include "TaskDriver.hpp"
#include "apps/mac/Tests/BerthkeepTelemetryTests/TelemetryTestSupport.hpp"
#include "platform/LoginItems/SimulatedLoginItemService.hpp"
#include "../Support/MemoryQueueStore.hpp"

namespace berthkeep {
namespace {

using Keys = AppPreferencesStore::Keys;
using Capability = FullMonitoringCapability;
using Onboarding = FullMonitoringOnboardingState;
using Preference = FullMonitoringPreference;
using Status = FullMonitoringStatus;

class FakeIntegration final : public FullMonitoringStoreIntegration {
public:
    void manageUsagePolling() override { calls.push_back("poll"); }
    void rebuildCurrentState() override { calls.push_back("rebuild"); }
    void applyUsageSnapshots(const std::map<std::string, DriveUsageSnapshot>& snapshots) override {
        calls.push_back(snapshots.empty() ? "clear_usage" : "apply_usage");
    }
    void scheduleInventoryAndUsageRefresh() override { calls.push_back("refresh"); }

    std::vector<std::string> calls;
};

class FakePresenter final : public FullMonitoringPromptPresenting {
public:
    void present(Action onContinue, Action onNotNow) override {
        ++presented;
        continueAction = std::move(onContinue);
        notNowAction = std::move(onNotNow);
    }
    void dismiss() override { ++dismissed; }

    int presented = 0;
    int dismissed = 0;
    Action continueAction;
    Action notNowAction;
};

PropertyListValue::Dictionary storedState(const char* preference, const char* onboarding,
                                          const char* capability) {
    return {{Keys::fullMonitoringPreference, preference},
            {Keys::fullMonitoringOnboardingState, onboarding},
            {Keys::fullMonitoringCapability, capability},
            {Keys::fullMonitoringUserOverride, true}};
}

struct Fixture {
    explicit Fixture(PropertyListValue::Dictionary stored = storedState("off", "notDetermined",
                                                                        "unknown"))
        : defaults(std::make_shared<InMemoryUserDefaults>(std::move(stored)))
        , preferences(defaults, BerthkeepLogger(sink), launchAtLogin()) {
        BerthkeepTelemetryController::Options options;
        options.workQueue = std::make_shared<InlineExecutor>();
        options.operatingSystemMajorVersion = 12;
        telemetry = std::make_shared<BerthkeepTelemetryController>(
            BerthkeepTelemetryConfiguration::resolve({}, {}, "com.example", false),
            RustBerthkeepTelemetryBridge(transport), std::make_shared<testsupport::MemoryQueueStore>(),
            BerthkeepLogger(telemetrySink), "1.0", BerthkeepTelemetryConsent{true}, options);
        coordinator = std::make_unique<FullMonitoringCoordinator>(
            preferences, telemetry, BerthkeepLogger(sink), presenter, integration);
    }

    std::shared_ptr<LaunchAtLoginManager> launchAtLogin() {
        LaunchAtLoginManager::RuntimeContext context;
        context.bundlePath = "/opt/Berthkeep.app";
        context.executablePath = "/opt/Berthkeep.app/Contents/MacOS/Berthkeep";
        context.bundleIdentifier = "app.berthkeep.Berthkeep";
        return std::make_shared<LaunchAtLoginManager>(
            BerthkeepLogger(sink), context, std::make_shared<SimulatedLoginItemService>());
    }

    // The telemetry events recorded so far, as (name, enabled).
    std::vector<std::pair<std::string, std::string>> telemetryEvents() {
        test::processQueuedEvents();
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& request : transport->requests()) {
            for (const auto& event : request.newEvents) {
                out.emplace_back(event.name,
                                 event.payload.count("enabled") ? event.payload.at("enabled") : "");
            }
        }
        return out;
    }

    std::vector<BerthkeepLogEvent> named(const std::string& name) const {
        return sink->named(name);
    }

    std::shared_ptr<test::RecordingLogSink> sink = std::make_shared<test::RecordingLogSink>();
    std::shared_ptr<test::RecordingLogSink> telemetrySink =
        std::make_shared<test::RecordingLogSink>();
    std::shared_ptr<InMemoryUserDefaults> defaults;
    AppPreferencesStore preferences;
    std::shared_ptr<test::FakeTelemetryTransport> transport =
        std::make_shared<test::FakeTelemetryTransport>();
    std::shared_ptr<BerthkeepTelemetryController> telemetry;
    std::shared_ptr<FakePresenter> presenter = std::make_shared<FakePresenter>();
    std::shared_ptr<FakeIntegration> integration = std::make_shared<FakeIntegration>();
    std::unique_ptr<FullMonitoringCoordinator> coordinator;
};

std::vector<std::pair<std::string, std::string>> toggled(const char* enabled) {
    return {{"full_monitoring_toggled", enabled}, {"activity_detection_toggled", enabled}};
}

} // namespace

TEST(FullMonitoringCoordinatorTest, StatusModeAndActivityFollowThePreferences) {
    struct Row {
        const char* preference;
        const char* onboarding;
        const char* capability;
        Status status;
        bool active;
        ActivityDetectionMode mode;
    };
    const Row rows[] = {
        {"off", "notDetermined", "available", Status::notDetermined, false,
         ActivityDetectionMode::coreOnly},
        {"off", "deferred", "setup_required", Status::deferred, false,
         ActivityDetectionMode::coreOnly},
        {"off", "acknowledged", "unknown", Status::acknowledged, false,
         ActivityDetectionMode::coreOnly},
        {"on", "notDetermined", "unknown", Status::checking, true, ActivityDetectionMode::enhanced},
        {"on", "deferred", "available", Status::active, true, ActivityDetectionMode::enhanced},
        {"on", "acknowledged", "setup_required", Status::setupRequired, false,
         ActivityDetectionMode::enhanced},
        {"on", "acknowledged", "unavailable:no provider", Status::setupRequired, false,
         ActivityDetectionMode::enhanced},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.preference) + " " + row.onboarding + " " + row.capability);
        Fixture fixture(storedState(row.preference, row.onboarding, row.capability));
        EXPECT_EQ(fixture.coordinator->fullMonitoringStatus(), row.status);
        EXPECT_EQ(fixture.coordinator->isFullMonitoringActive(), row.active);
        EXPECT_EQ(fixture.coordinator->effectiveActivityDetectionMode(), row.mode);
        EXPECT_EQ(fixture.coordinator->wantsFullMonitoring(), std::string(row.preference) == "on");
    }
}

TEST(FullMonitoringCoordinatorTest, MigratedSettingsGiveTheirStatus) {
    struct Row {
        PropertyListValue::Dictionary stored;
        Status status;
    };
    const Row rows[] = {
        // Nothing stored: on, acknowledged, unknown.
        {{}, Status::checking},
        // An "off" the user never chose reads as on.
        {{{Keys::fullMonitoringPreference, "off"},
          {Keys::fullMonitoringOnboardingState, "deferred"}},
         Status::checking},
        {{{Keys::fullMonitoringPreference, "off"},
          {Keys::fullMonitoringOnboardingState, "deferred"},
          {Keys::fullMonitoringUserOverride, true}},
         Status::deferred},
        {{{Keys::fullMonitoringPreference, "on"}, {Keys::fullMonitoringCapability, "available"}},
         Status::active},
    };
    for (const auto& row : rows) {
        Fixture fixture(row.stored);
        EXPECT_EQ(fixture.coordinator->fullMonitoringStatus(), row.status);
    }
}

TEST(FullMonitoringCoordinatorTest, SwitchingOffSticksAcrossARestart) {
    Fixture fixture(PropertyListValue::Dictionary{});
    ASSERT_TRUE(fixture.coordinator->wantsFullMonitoring());
    fixture.coordinator->setEnabledByUser(false);
    EXPECT_TRUE(fixture.defaults->boolForKey(Keys::fullMonitoringUserOverride));

    AppPreferencesStore reread(fixture.defaults, BerthkeepLogger(fixture.sink),
                               fixture.launchAtLogin());
    EXPECT_EQ(reread.fullMonitoringPreference(), Preference::off);
}

TEST(FullMonitoringCoordinatorTest, SwitchingOnOnlyOpensThePrompt) {
    Fixture fixture;
    const auto before = fixture.defaults->dictionaryRepresentation();
    fixture.coordinator->setEnabledByUser(true);
    EXPECT_EQ(fixture.presenter->presented, 1);
    EXPECT_EQ(fixture.presenter->dismissed, 0);
    EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), Preference::off);
    EXPECT_EQ(fixture.defaults->dictionaryRepresentation(), before);
    EXPECT_TRUE(fixture.integration->calls.empty());
    EXPECT_TRUE(fixture.telemetryEvents().empty());
}

TEST(FullMonitoringCoordinatorTest, ContinueTurnsFullMonitoringOn) {
    Fixture fixture(storedState("off", "notDetermined", "setup_required"));
    fixture.coordinator->presentPrompt();
    fixture.presenter->continueAction();

    EXPECT_EQ(fixture.presenter->dismissed, 1);
    EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), Preference::on);
    EXPECT_EQ(fixture.preferences.fullMonitoringOnboardingState(), Onboarding::acknowledged);
    EXPECT_EQ(fixture.preferences.fullMonitoringCapability(), Capability::unknown());
    EXPECT_EQ(fixture.coordinator->fullMonitoringStatus(), Status::checking);
    EXPECT_EQ(fixture.integration->calls, (std::vector<std::string>{"rebuild", "poll", "rebuild",
                                                                    "poll", "rebuild", "refresh"}));

    const auto onboarding = fixture.named("settings.full_monitoring.onboarding.updated");
    ASSERT_EQ(onboarding.size(), 1u);
    EXPECT_EQ(onboarding[0].level, BerthkeepLogLevel::notice);
    EXPECT_EQ(onboarding[0].category, BerthkeepLogCategory::settings);
    EXPECT_EQ(onboarding[0].message, "Full Monitoring onboarding state changed");
    EXPECT_EQ(onboarding[0].metadata, (BerthkeepLogMetadata{{"state", "acknowledged"}}));
    EXPECT_EQ(fixture.named("settings.full_monitoring.preference.updated").size(), 1u);
    EXPECT_EQ(fixture.telemetryEvents(), toggled("true"));
}

TEST(FullMonitoringCoordinatorTest, NotNowDefersOnlyAFirstAnswer) {
    const std::pair<const char*, Onboarding> rows[] = {
        {"notDetermined", Onboarding::deferred},
        {"deferred", Onboarding::deferred},
        {"acknowledged", Onboarding::acknowledged},
    };
    for (const auto& [stored, expected] : rows) {
        SCOPED_TRACE(stored);
        Fixture fixture(storedState("off", stored, "unknown"));
        fixture.coordinator->setEnabledByUser(true);
        fixture.presenter->notNowAction();
        EXPECT_EQ(fixture.presenter->dismissed, 1);
        EXPECT_EQ(fixture.preferences.fullMonitoringOnboardingState(), expected);
        EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), Preference::off);
        EXPECT_FALSE(fixture.coordinator->wantsFullMonitoring());
        EXPECT_TRUE(fixture.telemetryEvents().empty());
    }
}

TEST(FullMonitoringCoordinatorTest, SwitchingOffResetsTheCapabilityAndClearsUsage) {
    Fixture fixture(storedState("on", "deferred", "setup_required"));
    ASSERT_EQ(fixture.coordinator->fullMonitoringStatus(), Status::setupRequired);
    fixture.defaults->removeObject(Keys::fullMonitoringUserOverride);

    fixture.coordinator->setEnabledByUser(false);
    EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), Preference::off);
    EXPECT_EQ(fixture.preferences.fullMonitoringCapability(), Capability::unknown());
    EXPECT_EQ(fixture.preferences.fullMonitoringOnboardingState(), Onboarding::deferred);
    EXPECT_EQ(fixture.coordinator->fullMonitoringStatus(), Status::deferred);
    EXPECT_TRUE(fixture.defaults->boolForKey(Keys::fullMonitoringUserOverride));
    EXPECT_EQ(
        fixture.integration->calls,
        (std::vector<std::string>{"poll", "rebuild", "refresh", "poll", "rebuild", "clear_usage"}));
    EXPECT_EQ(fixture.telemetryEvents(), toggled("false"));
}

TEST(FullMonitoringCoordinatorTest, RequestingTheCurrentPreferenceOnlyMarksTheOverride) {
    Fixture fixture(storedState("on", "acknowledged", "available"));
    fixture.defaults->removeObject(Keys::fullMonitoringUserOverride);
    fixture.coordinator->setPreference(Preference::on);
    EXPECT_TRUE(fixture.defaults->boolForKey(Keys::fullMonitoringUserOverride));
    EXPECT_TRUE(fixture.integration->calls.empty());
    EXPECT_TRUE(fixture.named("settings.full_monitoring.preference.updated").empty());
    EXPECT_TRUE(fixture.telemetryEvents().empty());

    // Without telemetry recording neither the override nor an event is written.
    fixture.defaults->removeObject(Keys::fullMonitoringUserOverride);
    fixture.coordinator->setPreference(Preference::off, false);
    EXPECT_FALSE(fixture.defaults->object(Keys::fullMonitoringUserOverride).has_value());
    EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), Preference::off);
    EXPECT_TRUE(fixture.telemetryEvents().empty());
}

TEST(FullMonitoringCoordinatorTest, RepeatedValuesDoNothing) {
    Fixture fixture(storedState("on", "acknowledged", "unknown"));
    fixture.coordinator->setCapability(Capability::unavailable(std::string("denied")));
    fixture.coordinator->setCapability(Capability::unavailable(std::string("denied")));
    EXPECT_EQ(fixture.integration->calls, (std::vector<std::string>{"poll", "rebuild"}));
    EXPECT_EQ(fixture.defaults->stringForKey(Keys::fullMonitoringCapability), "unavailable:denied");

    fixture.coordinator->setOnboardingState(Onboarding::deferred);
    fixture.coordinator->setOnboardingState(Onboarding::deferred);
    EXPECT_EQ(fixture.named("settings.full_monitoring.onboarding.updated").size(), 1u);
}

TEST(FullMonitoringCoordinatorTest, AnswerAfterTheCoordinatorIsGoneIsDropped) {
    Fixture fixture;
    fixture.coordinator->presentPrompt();
    fixture.coordinator.reset();
    fixture.presenter->continueAction();
    fixture.presenter->notNowAction();
    EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), Preference::off);
    EXPECT_EQ(fixture.presenter->dismissed, 0);
}

TEST(FullMonitoringCoordinatorTest, TelemetryDescription) {
    EXPECT_EQ(FullMonitoringCoordinator::telemetryDescription(Capability::unknown()), "unknown");
    EXPECT_EQ(FullMonitoringCoordinator::telemetryDescription(Capability::available()),
              "available");
    EXPECT_EQ(FullMonitoringCoordinator::telemetryDescription(Capability::setupRequired()),
              "setup_required");
    EXPECT_EQ(FullMonitoringCoordinator::telemetryDescription(Capability::unavailable()),
              "unavailable:");
    EXPECT_EQ(
        FullMonitoringCoordinator::telemetryDescription(Capability::unavailable(std::string("x"))),
        "unavailable:x");
}

} // namespace berthkeep

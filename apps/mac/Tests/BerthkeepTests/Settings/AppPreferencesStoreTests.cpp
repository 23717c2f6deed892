#include "Berthkeep/Settings/AppPreferencesStore.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/LoginItems/SimulatedLoginItemService.hpp"

namespace berthkeep {
namespace {

using Keys = AppPreferencesStore::Keys;
using State = AppPreferencesStore::FullMonitoringState;
using Call = SimulatedLoginItemService::Call;
using Dictionary = PropertyListValue::Dictionary;

struct RecordingSink : BerthkeepLogSink {
    void record(const BerthkeepLogEvent& event) override { events.push_back(event); }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& event : events) {
            result.push_back(event.name);
        }
        return result;
    }
    std::vector<BerthkeepLogEvent> events;
};

LaunchAtLoginManager::RuntimeContext packagedContext() {
    LaunchAtLoginManager::RuntimeContext context;
    context.bundlePath = "/opt/Berthkeep.app";
    context.executablePath = "/opt/Berthkeep.app/Contents/MacOS/Berthkeep";
    context.bundleIdentifier = "app.berthkeep.Berthkeep";
    return context;
}

struct Fixture {
    explicit Fixture(Dictionary stored = {},
                     LaunchAtLoginManager::RuntimeContext context = packagedContext())
        : defaults(std::make_shared<InMemoryUserDefaults>(std::move(stored)))
        , sink(std::make_shared<RecordingSink>())
        , service(std::make_shared<SimulatedLoginItemService>())
        , preferences(defaults, BerthkeepLogger(sink),
                      std::make_shared<LaunchAtLoginManager>(BerthkeepLogger(sink),
                                                             std::move(context), service)) {
        QObject::connect(defaults.get(), &UserDefaults::valueChanged,
                         [this](const QString& key) { writtenKeys.push_back(key.toStdString()); });
    }

    // The events of the preferences store itself, without the manager's own.
    std::vector<BerthkeepLogEvent> settingsEvents() const {
        std::vector<BerthkeepLogEvent> result;
        for (const auto& event : sink->events) {
            if (event.name.rfind("settings.", 0) == 0) {
                result.push_back(event);
            }
        }
        return result;
    }

    std::shared_ptr<InMemoryUserDefaults> defaults;
    std::shared_ptr<RecordingSink> sink;
    std::shared_ptr<SimulatedLoginItemService> service;
    AppPreferencesStore preferences;
    std::vector<std::string> writtenKeys;
};

LoginItemError systemError() {
    return LoginItemError("BerthkeepLoginItemErrorDomain", 7, "Operation not permitted");
}

TEST(AppPreferencesStoreTest, EmptyDefaultsGiveTheDefaultsAndWriteNothing) {
    auto defaults = std::make_shared<InMemoryUserDefaults>();
    int writes = 0;
    QObject::connect(defaults.get(), &UserDefaults::valueChanged, [&writes] { ++writes; });
    auto service = std::make_shared<SimulatedLoginItemService>();
    const BerthkeepLogger logger(std::make_shared<RecordingSink>());
    AppPreferencesStore preferences(
        defaults, logger,
        std::make_shared<LaunchAtLoginManager>(logger, packagedContext(), service));

    EXPECT_FALSE(preferences.launchAtLoginEnabled());
    EXPECT_TRUE(preferences.notificationsEnabled());
    EXPECT_EQ(preferences.fullMonitoringPreference(), FullMonitoringPreference::on);
    EXPECT_EQ(preferences.fullMonitoringOnboardingState(),
              FullMonitoringOnboardingState::acknowledged);
    EXPECT_EQ(preferences.fullMonitoringCapability(), FullMonitoringCapability::unknown());
    EXPECT_TRUE(preferences.adaptiveTargetedAssistEnabled());
    EXPECT_FALSE(preferences.anonymousUsageStatisticsEnabled());
    EXPECT_TRUE(preferences.excludedDriveIDs().empty());
    EXPECT_EQ(writes, 0);
    EXPECT_TRUE(defaults->dictionaryRepresentation().empty());
    EXPECT_TRUE(service->calls().empty());
}

TEST(AppPreferencesStoreTest, ReadingMigratedValuesWritesNothing) {
    const Dictionary stored{{Keys::activityDetectionMode, "enhanced"},
                            {Keys::fullMonitoringConsentState, "declined"},
                            {Keys::fullMonitoringPreference, "sometimes"}};
    Fixture fixture(stored);
    EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), FullMonitoringPreference::off);
    EXPECT_EQ(fixture.preferences.fullMonitoringOnboardingState(),
              FullMonitoringOnboardingState::deferred);
    EXPECT_TRUE(fixture.writtenKeys.empty());
    EXPECT_EQ(fixture.defaults->dictionaryRepresentation(), stored);
}

TEST(AppPreferencesStoreTest, FullMonitoringMigrationTable) {
    using P = FullMonitoringPreference;
    using O = FullMonitoringOnboardingState;
    using C = FullMonitoringCapability;
    struct Case {
        const char* name;
        Dictionary stored;
        State expected;
    };
    const std::vector<Case> cases{
        {"fresh installation", {}, {P::on, O::acknowledged, C::unknown()}},
        {"stored on keeps its onboarding and capability",
         {{Keys::fullMonitoringPreference, "on"},
          {Keys::fullMonitoringOnboardingState, "deferred"},
          {Keys::fullMonitoringCapability, "available"}},
         {P::on, O::deferred, C::available()}},
        {"stored on with legacy onboarding and unreadable capability",
         {{Keys::fullMonitoringPreference, "on"},
          {Keys::fullMonitoringOnboardingState, "declined"},
          {Keys::fullMonitoringCapability, "Available"}},
         {P::on, O::deferred, C::unknown()}},
        {"stored on with onboarding enabled and setup required",
         {{Keys::fullMonitoringPreference, "on"},
          {Keys::fullMonitoringOnboardingState, "enabled"},
          {Keys::fullMonitoringCapability, "setup_required"}},
         {P::on, O::acknowledged, C::setupRequired()}},
        {"stored on with an unknown onboarding string",
         {{Keys::fullMonitoringPreference, "on"}, {Keys::fullMonitoringOnboardingState, "later"}},
         {P::on, O::notDetermined, C::unknown()}},
        {"stored off without override turns on",
         {{Keys::fullMonitoringPreference, "off"},
          {Keys::fullMonitoringOnboardingState, "deferred"},
          {Keys::fullMonitoringCapability, "available"}},
         {P::on, O::acknowledged, C::unknown()}},
        {"stored off with override false turns on",
         {{Keys::fullMonitoringPreference, "off"},
          {Keys::fullMonitoringUserOverride, false},
          {Keys::fullMonitoringOnboardingState, "notDetermined"}},
         {P::on, O::acknowledged, C::unknown()}},
        {"stored off with override sticks",
         {{Keys::fullMonitoringPreference, "off"},
          {Keys::fullMonitoringUserOverride, true},
          {Keys::fullMonitoringOnboardingState, "notDetermined"},
          {Keys::fullMonitoringCapability, "unavailable:No access: try again"}},
         {P::off, O::notDetermined, C::unavailable("No access: try again")}},
        {"stored off with override as integer 1 turns on",
         {{Keys::fullMonitoringPreference, "off"}, {Keys::fullMonitoringUserOverride, 1}},
         {P::on, O::acknowledged, C::unknown()}},
        {"stored off with override as real 1.0 turns on",
         {{Keys::fullMonitoringPreference, "off"}, {Keys::fullMonitoringUserOverride, 1.0}},
         {P::on, O::acknowledged, C::unknown()}},
        {"stored off with override as string YES turns on",
         {{Keys::fullMonitoringPreference, "off"}, {Keys::fullMonitoringUserOverride, "YES"}},
         {P::on, O::acknowledged, C::unknown()}},
        {"stored off with override and no onboarding",
         {{Keys::fullMonitoringPreference, "off"}, {Keys::fullMonitoringUserOverride, true}},
         {P::off, O::notDetermined, C::unknown()}},
        {"user switched off (override marked, capability reset)",
         {{Keys::fullMonitoringPreference, "off"},
          {Keys::fullMonitoringUserOverride, true},
          {Keys::fullMonitoringOnboardingState, "acknowledged"},
          {Keys::fullMonitoringCapability, "unknown"}},
         {P::off, O::acknowledged, C::unknown()}},
        {"user continued the prompt",
         {{Keys::fullMonitoringPreference, "on"},
          {Keys::fullMonitoringUserOverride, true},
          {Keys::fullMonitoringOnboardingState, "acknowledged"},
          {Keys::fullMonitoringCapability, "unknown"}},
         {P::on, O::acknowledged, C::unknown()}},
        {"another preference string lets the older keys decide",
         {{Keys::fullMonitoringPreference, "ON"},
          {Keys::activityDetectionMode, "core_only"},
          {Keys::fullMonitoringConsentState, "enabled"}},
         {P::off, O::acknowledged, C::unknown()}},
        {"a non-string preference with nothing older is a fresh installation",
         {{Keys::fullMonitoringPreference, true}},
         {P::on, O::acknowledged, C::unknown()}},
        {"enhanced and enabled",
         {{Keys::activityDetectionMode, "enhanced"}, {Keys::fullMonitoringConsentState, "enabled"}},
         {P::on, O::acknowledged, C::unknown()}},
        {"standard and enabled",
         {{Keys::activityDetectionMode, "standard"}, {Keys::fullMonitoringConsentState, "enabled"}},
         {P::on, O::acknowledged, C::unknown()}},
        {"core only and enabled",
         {{Keys::activityDetectionMode, "core_only"},
          {Keys::fullMonitoringConsentState, "enabled"}},
         {P::off, O::acknowledged, C::unknown()}},
        {"standard and declined",
         {{Keys::activityDetectionMode, "standard"},
          {Keys::fullMonitoringConsentState, "declined"}},
         {P::off, O::deferred, C::unknown()}},
        {"consent enabled alone counts as core only",
         {{Keys::fullMonitoringConsentState, "enabled"}},
         {P::off, O::acknowledged, C::unknown()}},
        {"mode alone",
         {{Keys::activityDetectionMode, "enhanced"}},
         {P::off, O::notDetermined, C::unknown()}},
        {"unknown mode counts as core only",
         {{Keys::activityDetectionMode, "turbo"}, {Keys::fullMonitoringConsentState, "enabled"}},
         {P::off, O::acknowledged, C::unknown()}},
        {"a non-string mode is present but counts as core only",
         {{Keys::activityDetectionMode, 1}, {Keys::fullMonitoringConsentState, "enabled"}},
         {P::off, O::acknowledged, C::unknown()}},
        {"enhanced with consent acknowledged is not enabled",
         {{Keys::activityDetectionMode, "enhanced"},
          {Keys::fullMonitoringConsentState, "acknowledged"}},
         {P::off, O::acknowledged, C::unknown()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const InMemoryUserDefaults defaults(c.stored);
        const auto state = AppPreferencesStore::resolvePersistedFullMonitoringState(defaults);
        EXPECT_EQ(state.preference, c.expected.preference);
        EXPECT_EQ(state.onboardingState, c.expected.onboardingState);
        EXPECT_EQ(state.capability, c.expected.capability);

        Fixture fixture(c.stored);
        EXPECT_EQ(fixture.preferences.fullMonitoringPreference(), c.expected.preference);
        EXPECT_EQ(fixture.preferences.fullMonitoringOnboardingState(), c.expected.onboardingState);
        EXPECT_EQ(fixture.preferences.fullMonitoringCapability(), c.expected.capability);
    }
}

TEST(AppPreferencesStoreTest, LegacyConsentDecoding) {
    using O = FullMonitoringOnboardingState;
    const std::vector<std::pair<std::optional<std::string>, O>> cases{
        {std::nullopt, O::notDetermined}, {"notDetermined", O::notDetermined},
        {"deferred", O::deferred},        {"acknowledged", O::acknowledged},
        {"declined", O::deferred},        {"enabled", O::acknowledged},
        {"Enabled", O::notDetermined},    {"", O::notDetermined},
    };
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(stored.value_or("(absent)"));
        EXPECT_EQ(AppPreferencesStore::decodeLegacyFullMonitoringConsentState(stored), expected);
    }
}

TEST(AppPreferencesStoreTest, BooleansReadOnlyFromBooleansAndZeroOrOne) {
    struct Case {
        const char* name;
        PropertyListValue stored;
        bool notifications; // default true
        bool launchAtLogin; // default false
    };
    const std::vector<Case> cases{
        {"Boolean false", false, false, false},
        {"Boolean true", true, true, true},
        {"integer 0", 0, false, false},
        {"integer 1", 1, true, true},
        {"integer 2", 2, true, false},
        {"real 1.0", 1.0, true, true},
        {"real 0.5", 0.5, true, false},
        {"string false", "false", true, false},
        {"string YES", "YES", true, false},
        {"array", PropertyListValue::stringArray({"1"}), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture fixture({{Keys::notificationsEnabled, c.stored},
                         {Keys::launchAtLoginEnabled, c.stored},
                         {Keys::adaptiveTargetedAssistEnabled, c.stored},
                         {Keys::anonymousUsageStatisticsEnabled, c.stored}});
        EXPECT_EQ(fixture.preferences.notificationsEnabled(), c.notifications);
        EXPECT_EQ(fixture.preferences.adaptiveTargetedAssistEnabled(), c.notifications);
        EXPECT_EQ(fixture.preferences.launchAtLoginEnabled(), c.launchAtLogin);
        EXPECT_EQ(fixture.preferences.anonymousUsageStatisticsEnabled(), c.launchAtLogin);
    }
}

TEST(AppPreferencesStoreTest, ExcludedDriveIDsAreReadAsASetAndWrittenSorted) {
    Fixture fixture({{Keys::excludedDriveIDs, PropertyListValue::stringArray({"x", "x", "y"})}});
    EXPECT_EQ(fixture.preferences.excludedDriveIDs(), (std::set<std::string>{"x", "y"}));

    fixture.preferences.setExcludedDriveIDs({"b", "a", "C", "\xC3\xA9", "Z9"});
    EXPECT_EQ(fixture.defaults->stringArrayForKey(Keys::excludedDriveIDs),
              (std::vector<std::string>{"C", "Z9", "a", "b", "\xC3\xA9"}));
    EXPECT_TRUE(fixture.settingsEvents().empty());

    Fixture mixed({{Keys::excludedDriveIDs, PropertyListValue::Array{"a", 1}}});
    EXPECT_TRUE(mixed.preferences.excludedDriveIDs().empty());
}

TEST(AppPreferencesStoreTest, ChangeHandlersWriteThenLog) {
    Fixture fixture;
    auto& preferences = fixture.preferences;
    preferences.setNotificationsEnabled(false);
    preferences.setFullMonitoringPreference(FullMonitoringPreference::off);
    preferences.setFullMonitoringOnboardingState(FullMonitoringOnboardingState::deferred);
    preferences.setFullMonitoringCapability(FullMonitoringCapability::unavailable());
    preferences.setAdaptiveTargetedAssistEnabled(false);

    const auto& defaults = *fixture.defaults;
    EXPECT_EQ(defaults.object(Keys::notificationsEnabled), PropertyListValue(false));
    EXPECT_EQ(defaults.object(Keys::fullMonitoringPreference), PropertyListValue("off"));
    EXPECT_EQ(defaults.object(Keys::fullMonitoringOnboardingState), PropertyListValue("deferred"));
    EXPECT_EQ(defaults.object(Keys::fullMonitoringCapability), PropertyListValue("unavailable"));
    EXPECT_EQ(defaults.object("berthkeep.adaptiveTargetedAssistEnabled"), PropertyListValue(false));

    const auto events = fixture.settingsEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].name, "settings.notifications.updated");
    EXPECT_EQ(events[0].message, "Notifications preference changed");
    EXPECT_EQ(events[0].metadata, (BerthkeepLogMetadata{{"enabled", "false"}}));
    EXPECT_EQ(events[1].name, "settings.full_monitoring.preference.updated");
    EXPECT_EQ(events[1].message, "Full Monitoring preference changed");
    EXPECT_EQ(events[1].metadata, (BerthkeepLogMetadata{{"preference", "off"}}));
    EXPECT_EQ(events[2].name, "settings.adaptive_targeted_assist.updated");
    EXPECT_EQ(events[2].message, "Adaptive targeted assist preference changed");
    EXPECT_EQ(events[2].metadata, (BerthkeepLogMetadata{{"enabled", "false"}}));
    for (const auto& event : events) {
        EXPECT_EQ(event.level, BerthkeepLogLevel::notice);
        EXPECT_EQ(event.category, BerthkeepLogCategory::settings);
    }

    // Everything written comes back the same in a new store; the stored "off" only
    // sticks once the user's override is marked.
    Fixture withoutOverride(fixture.defaults->dictionaryRepresentation());
    EXPECT_EQ(withoutOverride.preferences.fullMonitoringPreference(), FullMonitoringPreference::on);
    preferences.markFullMonitoringUserOverride();
    Fixture reopened(fixture.defaults->dictionaryRepresentation());
    EXPECT_EQ(reopened.preferences.fullMonitoringPreference(), FullMonitoringPreference::off);
    EXPECT_EQ(reopened.preferences.fullMonitoringOnboardingState(),
              FullMonitoringOnboardingState::deferred);
    EXPECT_FALSE(reopened.preferences.notificationsEnabled());
    EXPECT_FALSE(reopened.preferences.adaptiveTargetedAssistEnabled());
    EXPECT_EQ(reopened.preferences.fullMonitoringCapability(),
              FullMonitoringCapability::unavailable());
}

TEST(AppPreferencesStoreTest, AssigningTheCurrentValueRunsTheHandlerAgain) {
    Fixture fixture({{Keys::notificationsEnabled, true}});
    // Removed behind the store's back: only a real write brings it back.
    fixture.defaults->removeObject(Keys::notificationsEnabled);
    fixture.preferences.setNotificationsEnabled(true);
    EXPECT_EQ(fixture.defaults->object(Keys::notificationsEnabled), PropertyListValue(true));
    fixture.preferences.setNotificationsEnabled(true);
    const auto events = fixture.settingsEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "settings.notifications.updated");
    EXPECT_EQ(events[1].name, "settings.notifications.updated");
}

TEST(AppPreferencesStoreTest, UsageStatisticsConsentWritesOnlyChanges) {
    Fixture fixture;
    int announcements = 0;
    QObject::connect(&fixture.preferences,
                     &AppPreferencesStore::anonymousUsageStatisticsEnabledChanged,
                     [&announcements] { ++announcements; });
    fixture.preferences.setAnonymousUsageStatisticsEnabled(true);
    EXPECT_TRUE(fixture.preferences.anonymousUsageStatisticsEnabled());
    EXPECT_EQ(fixture.defaults->object(Keys::anonymousUsageStatisticsEnabled),
              PropertyListValue(true));
    fixture.defaults->removeObject(Keys::anonymousUsageStatisticsEnabled);
    fixture.preferences.setAnonymousUsageStatisticsEnabled(true);
    EXPECT_FALSE(fixture.defaults->object(Keys::anonymousUsageStatisticsEnabled).has_value());
    EXPECT_EQ(announcements, 1);
    EXPECT_TRUE(fixture.sink->events.empty());

    fixture.preferences.setAnonymousUsageStatisticsEnabled(false);
    EXPECT_EQ(fixture.defaults->object(Keys::anonymousUsageStatisticsEnabled),
              PropertyListValue(false));
}

TEST(AppPreferencesStoreTest, ObserversHearBeforeAndAfterEachAssignment) {
    Fixture fixture;
    auto& preferences = fixture.preferences;
    std::vector<std::string> heard;
    QObject::connect(&preferences, &AppPreferencesStore::objectWillChange, [&] {
        heard.push_back(std::string("will:") + (preferences.notificationsEnabled() ? "1" : "0"));
    });
    QObject::connect(&preferences, &AppPreferencesStore::notificationsEnabledChanged,
                     [&](bool enabled) { heard.push_back(enabled ? "changed:1" : "changed:0"); });
    preferences.setNotificationsEnabled(false);
    preferences.setNotificationsEnabled(false);
    EXPECT_EQ(heard, (std::vector<std::string>{"will:1", "changed:0", "will:0", "changed:0"}));
}

TEST(AppPreferencesStoreTest, MarkingTheUserOverrideWritesOnlyThatKey) {
    Fixture fixture;
    fixture.preferences.markFullMonitoringUserOverride();
    EXPECT_EQ(fixture.defaults->dictionaryRepresentation(),
              (Dictionary{{Keys::fullMonitoringUserOverride, true}}));
    EXPECT_TRUE(fixture.sink->events.empty());
}

TEST(AppPreferencesStoreTest, PersistedActivityDetectionMode) {
    EXPECT_EQ(AppPreferencesStore::persistedActivityDetectionModeRawValue(InMemoryUserDefaults()),
              "");
    EXPECT_EQ(AppPreferencesStore::persistedActivityDetectionModeRawValue(
                  InMemoryUserDefaults(Dictionary{{Keys::activityDetectionMode, "standard"}})),
              "standard");
    EXPECT_EQ(AppPreferencesStore::persistedActivityDetectionModeRawValue(
                  InMemoryUserDefaults(Dictionary{{Keys::activityDetectionMode, 2}})),
              "");
}

TEST(AppPreferencesStoreTest, LaunchAtLoginChangeRegistersWritesAndLogs) {
    Fixture fixture;
    fixture.preferences.setLaunchAtLoginEnabled(true);
    EXPECT_TRUE(fixture.preferences.launchAtLoginEnabled());
    EXPECT_EQ(fixture.service->changeCalls(), std::vector<Call>{Call::registerItem});
    EXPECT_EQ(fixture.defaults->object(Keys::launchAtLoginEnabled), PropertyListValue(true));
    EXPECT_EQ(
        fixture.sink->names(),
        (std::vector<std::string>{"launch_at_login.enabled", "settings.launch_at_login.updated"}));
    EXPECT_EQ(fixture.sink->events.back().message, "Launch at Login preference changed");
    EXPECT_EQ(fixture.sink->events.back().metadata, (BerthkeepLogMetadata{{"enabled", "true"}}));

    fixture.preferences.setLaunchAtLoginEnabled(false);
    EXPECT_EQ(fixture.service->status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(fixture.defaults->object(Keys::launchAtLoginEnabled), PropertyListValue(false));
}

TEST(AppPreferencesStoreTest, FailedLaunchAtLoginChangeRollsBack) {
    Fixture fixture({{Keys::launchAtLoginEnabled, false}});
    fixture.service->setRegisterError(systemError());
    std::vector<bool> announced;
    QObject::connect(&fixture.preferences, &AppPreferencesStore::launchAtLoginEnabledChanged,
                     [&announced](bool enabled) { announced.push_back(enabled); });

    fixture.preferences.setLaunchAtLoginEnabled(true);

    EXPECT_FALSE(fixture.preferences.launchAtLoginEnabled());
    EXPECT_EQ(fixture.defaults->object(Keys::launchAtLoginEnabled), PropertyListValue(false));
    EXPECT_EQ(fixture.service->status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(announced, (std::vector<bool>{true, false}));
    const auto events = fixture.settingsEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "settings.launch_at_login.updated");
    EXPECT_EQ(events[0].metadata, (BerthkeepLogMetadata{{"enabled", "false"}}));
    EXPECT_EQ(events[1].name, "settings.launch_at_login.sync.failed");
    EXPECT_EQ(events[1].level, BerthkeepLogLevel::error);
    EXPECT_EQ(events[1].message,
              "Failed to sync launch at login state, rolled back to previous value");
    EXPECT_EQ(events[1].metadata,
              (BerthkeepLogMetadata{
                  {"error", "Failed to register app for launch at login: Operation not permitted"},
                  {"attempted_value", "true"},
                  {"rolled_back_to", "false"}}));
}

TEST(AppPreferencesStoreTest, FailedRestoreStopsAfterOneAttempt) {
    Fixture fixture;
    // A stale entry: enabling tries to register, restoring tries to unregister.
    fixture.service->setStatus(LoginItemStatus::requiresApproval);
    fixture.service->setRegisterError(systemError());
    fixture.service->setUnregisterError(systemError());

    fixture.preferences.setLaunchAtLoginEnabled(true);

    EXPECT_FALSE(fixture.preferences.launchAtLoginEnabled());
    EXPECT_EQ(fixture.service->changeCalls(),
              (std::vector<Call>{Call::registerItem, Call::unregisterItem}));
    EXPECT_FALSE(fixture.defaults->object(Keys::launchAtLoginEnabled).has_value());
    const auto events = fixture.settingsEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "settings.launch_at_login.restore.failed");
    EXPECT_EQ(events[0].level, BerthkeepLogLevel::error);
    EXPECT_EQ(events[0].metadata.at("attempted_value"), "false");
    // No roll-back took place, and the line does not claim one.
    EXPECT_EQ(events[1].name, "settings.launch_at_login.sync.failed");
    EXPECT_EQ(events[1].level, BerthkeepLogLevel::error);
    EXPECT_EQ(events[1].message,
              "Failed to sync launch at login state, and the previous value could not be restored");
    EXPECT_EQ(events[1].metadata,
              (BerthkeepLogMetadata{
                  {"error", "Failed to register app for launch at login: Operation not permitted"},
                  {"attempted_value", "true"},
                  {"restore_failed_for", "false"}}));

    // The next change starts afresh.
    fixture.service->setRegisterError(std::nullopt);
    fixture.preferences.setLaunchAtLoginEnabled(true);
    EXPECT_TRUE(fixture.preferences.launchAtLoginEnabled());
    EXPECT_EQ(fixture.defaults->object(Keys::launchAtLoginEnabled), PropertyListValue(true));
}

TEST(AppPreferencesStoreTest, UnsupportedRuntimeRollsTheChangeBack) {
    auto context = packagedContext();
    context.environment.emplace("XCTestConfigurationFilePath", "1");
    Fixture fixture({}, context);
    fixture.preferences.setLaunchAtLoginEnabled(true);
    EXPECT_FALSE(fixture.preferences.launchAtLoginEnabled());
    EXPECT_TRUE(fixture.service->changeCalls().empty());
    const auto events = fixture.settingsEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].metadata.at("error"), LaunchAtLoginManager::testsRunningReason);
}

TEST(AppPreferencesStoreTest, InitialSyncFollowsThePreference) {
    Fixture on({{Keys::launchAtLoginEnabled, true}});
    on.preferences.performInitialLaunchAtLoginSync();
    EXPECT_EQ(on.service->changeCalls(), std::vector<Call>{Call::registerItem});
    EXPECT_TRUE(on.writtenKeys.empty());

    Fixture off;
    off.service->setStatus(LoginItemStatus::enabled);
    off.preferences.performInitialLaunchAtLoginSync();
    EXPECT_EQ(off.service->changeCalls(), std::vector<Call>{Call::unregisterItem});
    EXPECT_TRUE(off.writtenKeys.empty());
}

TEST(AppPreferencesStoreTest, InitialSyncFailureKeepsThePreference) {
    Fixture fixture({{Keys::launchAtLoginEnabled, true}});
    fixture.service->setRegisterError(systemError());
    fixture.preferences.performInitialLaunchAtLoginSync();
    EXPECT_TRUE(fixture.preferences.launchAtLoginEnabled());
    EXPECT_TRUE(fixture.writtenKeys.empty());
    ASSERT_FALSE(fixture.sink->events.empty());
    const auto& event = fixture.sink->events.back();
    EXPECT_EQ(event.name, "launch_at_login.initial_sync.failed");
    EXPECT_EQ(event.level, BerthkeepLogLevel::error);
    EXPECT_EQ(event.message, "Failed to sync initial launch at login state");
    EXPECT_EQ(event.metadata,
              (BerthkeepLogMetadata{{"error", "Failed to register app for launch at login: "
                                              "Operation not permitted"}}));
}

TEST(AppPreferencesStoreTest, InitialSyncIsSkippedInAnUnsupportedRuntime) {
    auto context = packagedContext();
    context.bundlePath = "/src/.build/debug";
    Fixture fixture({{Keys::launchAtLoginEnabled, true}}, context);
    fixture.preferences.performInitialLaunchAtLoginSync();
    EXPECT_TRUE(fixture.service->calls().empty());
    ASSERT_EQ(fixture.sink->events.size(), 1u);
    const auto& event = fixture.sink->events[0];
    EXPECT_EQ(event.name, "launch_at_login.initial_sync.skipped");
    EXPECT_EQ(event.level, BerthkeepLogLevel::notice);
    EXPECT_EQ(event.message, "Skipped initial launch at login sync in unsupported runtime");
    EXPECT_EQ(event.metadata,
              (BerthkeepLogMetadata{{"enabled_preference", "true"},
                                    {"reason", LaunchAtLoginManager::unpackagedReason}}));
}

} // namespace
} // namespace berthkeep

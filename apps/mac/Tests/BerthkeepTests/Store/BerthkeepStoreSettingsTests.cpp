#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "StoreFixture.hpp"
#include "StoreTestSupport.hpp"

namespace berthkeep {
namespace {

using storetest::drive;
using Status = BerthkeepNotificationAuthorizationStatus;

std::unique_ptr<BerthkeepStore> quietStore(storetest::StoreFixture& fixture) {
    auto store = fixture.makeQuiet();
    fixture.forgetTelemetry();
    return store;
}

TEST(BerthkeepStoreSettings, ExcludingADriveShowsItAtOnceAndKeepsTheRunningActionGuarded) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Beta")};
    const auto store = quietStore(fixture);
    // An earlier attempt left "b" needing attention; a single-drive eject of "a" runs.
    store->ejectAttempt().close({"b"});
    store->ejectAttempt().markDriveWorking("a");
    const std::size_t coreCalls = fixture.core->inputs.size();
    const std::size_t snapshots = fixture.inventory->contexts.size();

    store->setExcluded(true, store->detectedDrives()[0]);
    EXPECT_EQ(store->excludedDriveIDs(), (std::set<std::string>{"a"}));
    EXPECT_EQ(store->ejectAttempt().attentionDriveIDs(), (std::set<std::string>{"b"}));
    EXPECT_EQ(store->ejectAttempt().workingDriveIDs(), (std::set<std::string>{"a"}));
    EXPECT_TRUE(store->ejectAttempt().isRunning());
    EXPECT_EQ(store->detectedDrives()[0].scope(), DetectedDrive::Scope::excluded);
    EXPECT_EQ(fixture.core->inputs.size(), coreCalls)
        << "the in-app core answered, not the store's";
    EXPECT_EQ(store->currentState().drives.size(), 2u);
    const auto logged = fixture.sink->named("settings.drive_exclusion.updated");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].category, BerthkeepLogCategory::settings);
    EXPECT_EQ(logged[0].message, "Drive automatic management updated");
    EXPECT_EQ(
        logged[0].metadata,
        (BerthkeepLogMetadata{{"drive_id", "a"}, {"drive_name", "Alpha"}, {"excluded", "true"}}));

    test::processQueuedEvents(); // the confirming refresh runs without a debounce
    EXPECT_EQ(fixture.inventory->contexts.size(), snapshots + 1);
    EXPECT_TRUE(fixture.inventory->contexts.back().stage == DriveInventoryRefreshStage::reconcile);
    EXPECT_EQ(store->ejectAttempt().workingDriveIDs(), (std::set<std::string>{"a"}))
        << "still guarded";

    store->setExcluded(false, store->detectedDrives()[0]);
    EXPECT_TRUE(store->excludedDriveIDs().empty());
    EXPECT_EQ(store->ejectAttempt().attentionDriveIDs(), (std::set<std::string>{"b"}));
    EXPECT_EQ(store->detectedDrives()[0].scope(), DetectedDrive::Scope::managed);
    EXPECT_EQ(
        fixture.sink->named("settings.drive_exclusion.updated").back().metadata.at("excluded"),
        "false");

    // An excluded drive needs no attention any more.
    store->setExcluded(true, store->detectedDrives()[1]);
    EXPECT_TRUE(store->ejectAttempt().attentionDriveIDs().empty());
}

TEST(BerthkeepStoreSettings, NotificationsToggleAsksForPermissionOnlyWhenNeverAsked) {
    struct Case {
        const char* name;
        bool enable;
        Status status;
        std::vector<std::string> events;
        Status published;
    };
    for (const Case& test :
         std::vector<Case>{{"on, never asked",
                            true,
                            Status::notDetermined,
                            {"notification_setting_toggled", "permission_prompt_shown",
                             "permission_prompt_result"},
                            Status::authorized},
                           {"on, denied before",
                            true,
                            Status::denied,
                            {"notification_setting_toggled"},
                            Status::denied},
                           {"off",
                            false,
                            Status::notDetermined,
                            {"notification_setting_toggled"},
                            Status::notDetermined}}) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, !test.enable);
        fixture.notifications->status = test.status;
        const auto store = quietStore(fixture);
        fixture.forgetTelemetry();
        store->setNotificationsEnabledByUser(test.enable);
        store->setNotificationsEnabledByUser(test.enable); // unchanged: nothing
        test::processQueuedEvents();

        EXPECT_EQ(store->notificationsEnabled(), test.enable);
        EXPECT_EQ(fixture.telemetryEventNames(), test.events);
        EXPECT_EQ(store->notificationsAuthorizationStatus(), test.published);
        EXPECT_EQ(fixture.notifications->requests, test.events.size() == 3 ? 1 : 0);
    }
}

TEST(BerthkeepStoreSettings, UsageStatisticsToggleChangesConsentBeforeItsEvent) {
    storetest::StoreFixture fixture;
    fixture.defaults->setBool(AppPreferencesStore::Keys::anonymousUsageStatisticsEnabled, true);
    const auto store = quietStore(fixture);

    store->setAnonymousUsageStatisticsEnabledByUser(false);
    EXPECT_FALSE(fixture.telemetry->anonymousImprovementEnabled());
    test::processQueuedEvents();
    EXPECT_EQ(fixture.telemetryEventNames(), std::vector<std::string>{"telemetry_opt_in_disabled"});
    const auto requests = fixture.transport->requests();
    const auto optOut = std::find_if(requests.begin(), requests.end(), [](const auto& request) {
        return !request.newEvents.empty() &&
               request.newEvents[0].name == "telemetry_opt_in_disabled";
    });
    ASSERT_NE(optOut, requests.end());
    EXPECT_TRUE(optOut->consent.anonymousImprovementEnabled) << "the last event goes with consent";
    EXPECT_FALSE(requests.back().consent.anonymousImprovementEnabled)
        << "the flush after it does not";

    fixture.forgetTelemetry();
    store->setAnonymousUsageStatisticsEnabledByUser(true);
    test::processQueuedEvents();
    EXPECT_TRUE(fixture.telemetry->anonymousImprovementEnabled());
    const auto names = fixture.telemetryEventNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "telemetry_opt_in_enabled"), names.end());
}

TEST(BerthkeepStoreSettings, TogglesRecordOnlyRealChanges) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto store = quietStore(fixture);
    const int probes = fixture.usage->calls;

    store->setAdaptiveTargetedAssistEnabledByUser(store->adaptiveTargetedAssistEnabled());
    store->setLaunchAtLoginEnabled(store->launchAtLoginEnabled());
    test::processQueuedEvents();
    EXPECT_TRUE(fixture.telemetryEventNames().empty());
    EXPECT_EQ(fixture.usage->calls, probes);

    store->setAdaptiveTargetedAssistEnabledByUser(!store->adaptiveTargetedAssistEnabled());
    store->setLaunchAtLoginEnabled(!store->launchAtLoginEnabled());
    test::processQueuedEvents();
    EXPECT_EQ(
        fixture.telemetryEventNames(),
        (std::vector<std::string>{"supplemental_signals_toggled", "launch_at_login_toggled"}));
    EXPECT_EQ(fixture.usage->calls, probes + 1) << "the assist toggle probes usage again";
}

TEST(BerthkeepStoreSettings, RemediationShowsThePromptOrOpensTheSystemSettings) {
    storetest::StoreFixture fixture;
    const auto store = quietStore(fixture);
    store->perform(MenubarRemediationAction::enableFullMonitoring());
    EXPECT_EQ(fixture.promptPresenter->presented, 1);
    EXPECT_TRUE(fixture.urlOpener->requests().empty());

    store->perform(MenubarRemediationAction::openSystemSettings());
    EXPECT_EQ(fixture.promptPresenter->presented, 1);
    ASSERT_EQ(fixture.urlOpener->requests().size(), 1u);
    EXPECT_TRUE(std::holds_alternative<RecordingUrlOpener::SystemSettings>(
        fixture.urlOpener->requests()[0]));
}

} // namespace
} // namespace berthkeep

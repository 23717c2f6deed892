#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "../Inventory/InventoryTestSupport.hpp"
#include "StoreFixture.hpp"
#include "StoreTestSupport.hpp"

namespace berthkeep {
namespace {

using storetest::drive;
using storetest::excluded;
using Keys = AppPreferencesStore::Keys;

TEST(BerthkeepStore, InitialStateHasBothUtilityActionsDisabledAndNoneFound) {
    const MenubarViewState initial = BerthkeepStore::initialState();
    EXPECT_EQ(initial.globalState, GlobalSafetyState::noManagedDrives());
    EXPECT_EQ(initial.utilityActions,
              (std::vector<MenubarUtilityAction>{
                  {MenubarUtilityAction::Kind::ejectAll, "Eject All", false},
                  {MenubarUtilityAction::Kind::ejectAndSleep, "Eject & Sleep", false}}));
    EXPECT_EQ(initial.lastAction, (LastActionSummary{LastActionSummary::Result::noneFound()}));
    EXPECT_FALSE(initial.scopeNote || initial.remediationAction || initial.primaryAction ||
                 initial.secondaryAction);
    EXPECT_TRUE(initial.drives.empty() && initial.driveActions.empty() &&
                initial.driveGroups.empty());
}

TEST(BerthkeepStore, ConstructionPublishesTheBootstrapInventoryRebuiltFromTheInitialState) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto store = fixture.make();

    ASSERT_EQ(fixture.inventory->contexts.size(), 1u);
    EXPECT_EQ(fixture.inventory->contexts[0].mode, ActivityDetectionMode::coreOnly);
    EXPECT_EQ(fixture.inventory->contexts[0].phase, BerthkeepAuditWorkPhase::appLaunch);
    EXPECT_EQ(fixture.inventory->contexts[0].stage, DriveInventoryRefreshStage::bootstrap);
    EXPECT_EQ(store->currentState().globalState, GlobalSafetyState::safe());
    EXPECT_TRUE(store->currentState().utilityActions[0].isEnabled);
    const auto transitions = fixture.transitions();
    ASSERT_EQ(transitions.size(), 1u);
    EXPECT_EQ(transitions[0].metadata.at("from"),
              BerthkeepStore::initialState().globalState.headerCopy());
    EXPECT_EQ(transitions[0].metadata.at("to"), GlobalSafetyState::safe().headerCopy());
    EXPECT_EQ(transitions[0].metadata.at("drive_count"), "1");
    EXPECT_EQ(transitions[0].category, BerthkeepLogCategory::state);
    EXPECT_EQ(transitions[0].message, "Menubar state changed");
    EXPECT_EQ(fixture.monitor->starts, 1);
}

TEST(BerthkeepStore, StartUpAuditLinesAreWrittenOnlyWhileTheAuditIsOn) {
    struct Case {
        const char* name;
        bool auditOn;
        bool withMonitor;
    };
    for (const Case& test : std::vector<Case>{
             {"audit on", true, true}, {"no monitor", true, false}, {"audit off", false, true}}) {
        SCOPED_TRACE(test.name);
        inventorytest::AuditCapture audit(test.auditOn);
        storetest::StoreFixture fixture;
        fixture.defaults->setString(Keys::activityDetectionMode, "legacy_value");
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Beta")};
        if (!test.withMonitor) {
            fixture.monitor = nullptr;
        }
        const auto store = fixture.make();
        const std::string mode =
            "mode=" + toString(store->fullMonitoringCoordinator().effectiveActivityDetectionMode());

        // The initializer's own lines and the bootstrap's; polling writes its own.
        std::vector<std::string> lines;
        for (const auto& entry : audit.entries()) {
            const std::string& line = entry.message;
            if (line.find("component=BerthkeepStore") != std::string::npos &&
                (line.find("method=init") != std::string::npos ||
                 line.find("method=refreshInventorySynchronously") != std::string::npos)) {
                lines.push_back(line);
            }
        }
        if (!test.auditOn) {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        // Each line: its message, then a part of its metadata.
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"Starting BerthkeepStore initialization",
             "persisted_activity_detection_mode=legacy_value"},
            {"Resolved activity detection mode during initialization", mode},
            {"Starting live drive inventory monitor", mode},
            {"Starting lightweight launch-time inventory bootstrap",
             "method=refreshInventorySynchronously"},
            {"Finished lightweight launch-time inventory bootstrap", "drive_count=2"},
            {"Finished BerthkeepStore initialization", mode},
        };
        ASSERT_EQ(lines.size(), expected.size());
        for (std::size_t index = 0; index < lines.size(); ++index) {
            EXPECT_EQ(lines[index].rfind(expected[index].first + " | ", 0), 0u) << lines[index];
            EXPECT_NE(lines[index].find(expected[index].second), std::string::npos) << lines[index];
            EXPECT_NE(lines[index].find("phase=app_launch"), std::string::npos) << lines[index];
        }
        EXPECT_NE(lines[0].find("mode=n/a"), std::string::npos);
    }
}

TEST(BerthkeepStore, FullMonitoringStatusDecidesBetweenBlockedPresentationAndTheCore) {
    struct Case {
        const char* name;
        const char* preference;
        const char* onboarding;
        const char* capability;
        bool probeFailsFirst;
        GlobalSafetyState expected;
        std::optional<MenubarRemediationAction> remediation;
    };
    const auto enable = MenubarRemediationAction::enableFullMonitoring();
    const auto settings = MenubarRemediationAction::openSystemSettings();
    const std::vector<Case> cases = {
        {"never asked", "off", "notDetermined", "unknown", false,
         GlobalSafetyState::limitedProtection("Some app activity may not be detected"), enable},
        {"declined", "off", "deferred", "unknown", false,
         GlobalSafetyState::limitedProtection("Full Monitoring is off"), enable},
        {"turned off", "off", "acknowledged", "available", false,
         GlobalSafetyState::limitedProtection("Full Monitoring is off"), enable},
        {"checking", "on", "acknowledged", "unknown", false,
         GlobalSafetyState::fullMonitoringVerifying(), std::nullopt},
        {"setup needed, no probe yet", "on", "acknowledged", "setup_required", false,
         GlobalSafetyState::fullMonitoringVerifying(), std::nullopt},
        {"setup needed after a probe", "on", "acknowledged", "setup_required", true,
         GlobalSafetyState::fullMonitoringUnavailable(), settings},
        {"active", "on", "acknowledged", "available", false, GlobalSafetyState::safe(),
         std::nullopt},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.defaults = std::make_shared<InMemoryUserDefaults>(
            PropertyListValue::Dictionary{{Keys::fullMonitoringPreference, test.preference},
                                          {Keys::fullMonitoringOnboardingState, test.onboarding},
                                          {Keys::fullMonitoringCapability, test.capability},
                                          {Keys::fullMonitoringUserOverride, true}});
        fixture.inventory->drives = {drive("a", "Alpha"), excluded("e", "Extra")};
        fixture.usage->fails = true;
        const auto store = fixture.make();
        if (test.probeFailsFirst) {
            test::runTask(store->refreshDriveUsageNow());
        }
        const std::size_t coreCallsBefore = fixture.core->inputs.size();
        store->rebuildCurrentState();
        const bool blocked = !(test.expected == GlobalSafetyState::safe());
        EXPECT_EQ(fixture.core->inputs.size(), coreCallsBefore + (blocked ? 0 : 1));
        EXPECT_EQ(store->currentState().globalState, test.expected);
        EXPECT_EQ(store->currentState().remediationAction, test.remediation);
        EXPECT_EQ(store->remediationAction(), test.remediation);
        EXPECT_EQ(store->currentState().lastAction,
                  (LastActionSummary{LastActionSummary::Result::noneFound()}));

        // With no managed drive the core always judges, and nothing is offered.
        fixture.inventory->drives = {excluded("e", "Extra")};
        store->refreshInventorySynchronously();
        EXPECT_EQ(store->currentState().globalState, GlobalSafetyState::noManagedDrives());
        EXPECT_FALSE(store->currentState().remediationAction);
        EXPECT_EQ(fixture.core->inputs.back().drives.size(), 1u);
    }
}

TEST(BerthkeepStore, RebuildLogsATransitionOnlyWhenTheStateChanges) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto store = fixture.make();
    int published = 0;
    QObject::connect(store.get(), &BerthkeepStore::currentStateChanged,
                     [&published] { ++published; });
    const std::size_t before = fixture.transitions().size();

    store->rebuildCurrentState();
    EXPECT_EQ(fixture.transitions().size(), before) << "an equal state is not a transition";
    EXPECT_EQ(published, 1) << "but observers still hear of it";

    // Only a row's status changes: one record, same header on both sides.
    store->ejectAttempt().markDriveWorking("a");
    store->rebuildCurrentState();
    const auto transitions = fixture.transitions();
    ASSERT_EQ(transitions.size(), before + 1);
    EXPECT_EQ(transitions.back().metadata.at("from"), transitions.back().metadata.at("to"));
    EXPECT_EQ(store->currentState().drives[0].status, DriveStatus::ejecting);
}

TEST(BerthkeepStore, CoreGetsEveryDriveWithZeroUsageAndSortedWorkingIDs) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("c", "Gamma"), excluded("e", "Extra"),
                                 drive("u", "Unmounted", false)};
    const auto store = fixture.make();
    for (const char* id : {"c", "b", "a"}) {
        store->ejectAttempt().markDriveWorking(id);
    }
    store->rebuildCurrentState();

    const BerthkeepStateEvaluationInput& input = fixture.core->inputs.back();
    EXPECT_EQ(input.workingDriveIDs, (std::vector<std::string>{"a", "b", "c"}));
    const std::vector<BerthkeepCoreDrive> expected = {
        {"c", "Gamma", BerthkeepCoreDriveScope::managed, true, DriveUsageSnapshot::zero()},
        {"e", "Extra", BerthkeepCoreDriveScope::excluded, true, DriveUsageSnapshot::zero()},
        {"u", "Unmounted", BerthkeepCoreDriveScope::managed, false, DriveUsageSnapshot::zero()}};
    EXPECT_EQ(input.drives, expected);
    EXPECT_EQ(input.lastAction, (LastActionSummary{LastActionSummary::Result::noneFound()}));
}

TEST(BerthkeepStore, LaunchTasksFollowTheirFlags) {
    struct Case {
        bool inventory;
        bool usage;
        bool expectReconcile;
        int expectProbes;
    };
    for (const Case& test : std::vector<Case>{{true, true, true, 1},
                                              {true, false, true, 1},
                                              {false, true, false, 1},
                                              {false, false, false, 0}}) {
        SCOPED_TRACE(std::to_string(test.inventory) + "/" + std::to_string(test.usage));
        storetest::StoreFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha")};
        fixture.performInitialAsyncInventoryRefresh = test.inventory;
        fixture.performInitialDriveUsageRefresh = test.usage;
        const auto store = fixture.make();
        EXPECT_EQ(store->notificationsAuthorizationStatus(),
                  BerthkeepNotificationAuthorizationStatus::notDetermined);
        test::processQueuedEvents();

        EXPECT_EQ(fixture.inventory->contexts.size(), test.expectReconcile ? 2u : 1u);
        if (test.expectReconcile) {
            EXPECT_EQ(fixture.inventory->contexts.back().stage,
                      DriveInventoryRefreshStage::reconcile);
            EXPECT_EQ(fixture.inventory->contexts.back().mode, ActivityDetectionMode::enhanced);
        }
        EXPECT_EQ(fixture.usage->calls, test.expectProbes);
        EXPECT_EQ(store->hasCompletedInitialAsyncUsageRefresh(), test.expectProbes > 0);
        EXPECT_EQ(store->notificationsAuthorizationStatus(),
                  BerthkeepNotificationAuthorizationStatus::authorized);
    }
}

TEST(BerthkeepStore, LaunchTelemetryRecordsStartAndVersionThenFlushes) {
    storetest::StoreFixture fixture;
    const auto store = fixture.make();
    EXPECT_TRUE(fixture.transport->requests().empty());
    test::processQueuedEvents();

    const auto requests = fixture.transport->requests();
    ASSERT_EQ(requests.size(), 3u);
    ASSERT_EQ(requests[0].newEvents.size(), 1u);
    EXPECT_EQ(requests[0].newEvents[0].name, "app_started");
    EXPECT_TRUE(requests[0].newEvents[0].payload.empty());
    ASSERT_EQ(requests[1].newEvents.size(), 1u);
    EXPECT_EQ(requests[1].newEvents[0].name, "app_version_reported");
    EXPECT_TRUE(requests[2].newEvents.empty()) << "the flush adds nothing";
}

TEST(BerthkeepStore, ReleasedBeforeItsLaunchTasksRunTheyDoNothing) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    fixture.make().reset();
    test::processQueuedEvents();
    EXPECT_TRUE(fixture.transport->requests().empty());
    EXPECT_EQ(fixture.inventory->contexts.size(), 1u) << "only the bootstrap";
    EXPECT_EQ(fixture.usage->calls, 0);
}

TEST(BerthkeepStore, HandedInTelemetryIsStartedAndGivenTheUsersConsent) {
    for (const bool consent : {false, true}) {
        storetest::StoreFixture fixture;
        fixture.defaults->setBool(Keys::anonymousUsageStatisticsEnabled, consent);
        EXPECT_FALSE(fixture.telemetry->hasPeriodicFlush());
        const auto store = fixture.make();
        EXPECT_EQ(store->telemetryController(), fixture.telemetry);
        EXPECT_TRUE(fixture.telemetry->hasPeriodicFlush());
        EXPECT_EQ(fixture.telemetry->anonymousImprovementEnabled(), consent);
    }
}

TEST(BerthkeepStore, PreferenceChangesReachTheStoresObservers) {
    storetest::StoreFixture fixture;
    const auto store = fixture.make();
    int changes = 0;
    QObject::connect(store.get(), &BerthkeepStore::objectWillChange, [&changes] { ++changes; });
    store->preferences().setNotificationsEnabled(false);
    EXPECT_GE(changes, 1);
    EXPECT_FALSE(store->notificationsEnabled());
}

TEST(BerthkeepStore, AttemptCountsAreAtLeastOne) {
    storetest::StoreFixture fixture;
    fixture.timing.manualMountMaxAttempts = 0;
    fixture.timing.wakeRemountMaxAttempts = -3;
    EXPECT_EQ(fixture.make()->timing().manualMountMaxAttempts, 1);
    fixture.timing.manualMountMaxAttempts = 2;
    const auto store = fixture.make();
    EXPECT_EQ(store->timing().manualMountMaxAttempts, 2);
    EXPECT_EQ(store->timing().wakeRemountMaxAttempts, 1);
}

TEST(BerthkeepStore, LaunchAtLoginAvailabilityMessage) {
    const std::string unpackaged = LaunchAtLoginManager::unpackagedReason;
    struct Case {
        bool available;
        bool preference;
        std::optional<std::string> expected;
    };
    for (const Case& test : std::vector<Case>{
             {true, true, std::nullopt},
             {false, false, unpackaged},
             {false, true,
              unpackaged + " Your saved preference will be applied when Berthkeep.app runs as "
                           "a packaged app."}}) {
        storetest::StoreFixture fixture;
        fixture.launchAtLoginManager = fixture.launchAtLogin(test.available);
        fixture.defaults->setBool(Keys::launchAtLoginEnabled, test.preference);
        const auto store = fixture.make();
        EXPECT_EQ(store->launchAtLoginIsAvailable(), test.available);
        EXPECT_EQ(store->launchAtLoginAvailabilityMessage(), test.expected);
    }
}

TEST(BerthkeepStore, DiskEventsScheduleADebouncedRefresh) {
    storetest::StoreFixture fixture;
    fixture.performInitialAsyncInventoryRefresh = false;
    fixture.performInitialDriveUsageRefresh = false;
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto store = fixture.make();
    test::processQueuedEvents();
    ASSERT_TRUE(fixture.monitor->action);

    fixture.inventory->drives.push_back(drive("b", "Beta"));
    fixture.monitor->action();
    fixture.monitor->action();
    test::processQueuedEvents();
    EXPECT_EQ(store->detectedDrives().size(), 1u) << "still waiting out the debounce";
    fixture.clock->advance(InventoryRefreshCoordinator::diskArbitrationDebounce);
    test::processQueuedEvents();
    EXPECT_EQ(store->detectedDrives().size(), 2u);
    EXPECT_EQ(fixture.inventory->contexts.size(), 2u) << "one refresh for the burst";
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Berthkeep/Settings/ExcludedDriveRow.hpp"
#include "Berthkeep/Settings/SettingsAboutCard.hpp"
#include "Berthkeep/Settings/SettingsExcludedDrivesCard.hpp"
#include "Berthkeep/Settings/SettingsFullMonitoringCard.hpp"
#include "Berthkeep/Settings/SettingsGeneralCard.hpp"
#include "Berthkeep/Settings/SettingsInfoText.hpp"
#include "Berthkeep/Settings/SettingsPrivacyCard.hpp"
#include "Berthkeep/Settings/SettingsStatusPill.hpp"
#include "Berthkeep/Settings/SettingsSwitch.hpp"
#include "Berthkeep/Settings/SettingsToggleRow.hpp"
#include "SettingsTestSupport.hpp"
#include "platform/UrlOpening/RecordingUrlOpener.hpp"

namespace berthkeep {
namespace {

using storetest::drive;
using storetest::excluded;

std::vector<std::string> names(const std::vector<DetectedDrive>& drives) {
    std::vector<std::string> result;
    for (const auto& each : drives) {
        result.push_back(each.name() + (each.scope() == DetectedDrive::Scope::excluded ? "*" : ""));
    }
    return result;
}

TEST(BerthkeepSettingsView, OrdersExcludedDrivesFirstThenNaturallyByName) {
    struct Case {
        std::vector<DetectedDrive> drives;
        std::vector<std::string> expected; // "*" marks an excluded drive
    };
    const std::vector<Case> cases{
        {{drive("1", "Disk 10"), drive("2", "Disk 9"), drive("3", "Drive 2")},
         {"Disk 9", "Disk 10", "Drive 2"}},
        {{drive("1", "Beta"), drive("2", "alpha")}, {"alpha", "Beta"}},
        {{drive("1", "Alpha"), excluded("2", "Zeta"), excluded("3", "Backup 10"),
          excluded("4", "backup 9")},
         {"backup 9*", "Backup 10*", "Zeta*", "Alpha"}},
        {{}, {}},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(names(BerthkeepSettingsView::orderedDetectedDrivesForExclusion(test.drives)),
                  test.expected);
    }
    // Equal names keep the store's order.
    const auto twins = BerthkeepSettingsView::orderedDetectedDrivesForExclusion(
        {drive("b", "Same"), drive("a", "Same")});
    EXPECT_EQ(twins[0].id(), "b");
}

TEST(BerthkeepSettingsView, ExcludedDrivesCardShowsRowsWordsAndTooltips) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("m", "Disk 10"), drive("n", "Disk 9", false),
                                 excluded("x", "Zeta")};
    auto store = settingstest::quietStore(fixture);
    BerthkeepSettingsView page(*store, false, {}, "dev", "dev");
    auto* card = page.excludedDrivesCard();

    ASSERT_EQ(card->rows().size(), 3u);
    EXPECT_FALSE(card->emptyNote()->isVisibleTo(card));
    EXPECT_EQ(card->dividerCount(), 2);
    struct Expected {
        QString name, status, subtitle, help;
        bool on;
    };
    const std::vector<Expected> expected{
        {"Zeta", "Excluded", "/Volumes/Zeta", "Include this drive in Berthkeep automation", true},
        {"Disk 9", "Managed", "Not mounted", "Exclude this drive from Berthkeep automation", false},
        {"Disk 10", "Managed", "/Volumes/Disk 10", "Exclude this drive from Berthkeep automation",
         false},
    };
    for (std::size_t index = 0; index < expected.size(); ++index) {
        const ExcludedDriveRow* row = card->rows()[index];
        EXPECT_EQ(QString::fromStdString(row->drive().name()), expected[index].name);
        EXPECT_EQ(row->statusText(), expected[index].status);
        EXPECT_EQ(row->subtitle(), expected[index].subtitle);
        EXPECT_EQ(row->toggle()->toolTip(), expected[index].help);
        EXPECT_EQ(row->toggle()->accessibleName(),
                  expected[index].status + " " + expected[index].name);
        EXPECT_EQ(row->toggle()->isChecked(), expected[index].on);
    }

    // Excluding "Disk 10" moves it into the first group on the next redraw.
    card->rows()[2]->toggle()->click();
    EXPECT_EQ(store->excludedDriveIDs(), (std::set<std::string>{"m"}));
    test::processQueuedEvents();
    ASSERT_EQ(card->rows().size(), 3u);
    EXPECT_EQ(card->rows()[0]->drive().name(), "Disk 10");
    EXPECT_EQ(card->rows()[0]->descriptionText(),
              "Ignored by automatic eject, remount, and activity monitoring");

    fixture.inventory->drives.clear();
    store->applyInventorySnapshot({}, {});
    test::processQueuedEvents();
    EXPECT_TRUE(card->rows().empty());
    EXPECT_TRUE(card->emptyNote()->isVisibleTo(card));
    EXPECT_EQ(card->dividerCount(), 0);
}

TEST(BerthkeepSettingsView, TogglesReachTheStoreAtOnceAndSurviveANewStore) {
    QTemporaryDir folder;
    storetest::StoreFixture fixture;
    const auto defaultsFor = [&] {
        return std::make_shared<FileUserDefaults>("app.berthkeep.Berthkeep.test",
                                                  folder.path().toStdString());
    };
    fixture.customDefaults = defaultsFor();
    auto store = settingstest::quietStore(fixture);
    const bool notifications = store->notificationsEnabled();
    const bool learning = store->adaptiveTargetedAssistEnabled();
    const bool statistics = store->anonymousUsageStatisticsEnabled();
    {
        BerthkeepSettingsView page(*store, false, {}, "dev", "dev");
        page.generalCard()->notificationsRow()->toggle()->click();
        page.fullMonitoringCard()->adaptiveLearningRow()->toggle()->click();
        page.privacyCard()->usageStatisticsRow()->toggle()->click();
        EXPECT_EQ(store->notificationsEnabled(), !notifications);
        EXPECT_EQ(store->adaptiveTargetedAssistEnabled(), !learning);
        EXPECT_EQ(store->anonymousUsageStatisticsEnabled(), !statistics);
        EXPECT_EQ(page.privacyCard()->usageStatisticsRow()->toggle()->isChecked(), !statistics);
        test::processQueuedEvents();
    }
    store.reset();
    fixture.customDefaults = defaultsFor();
    auto reopened = settingstest::quietStore(fixture);
    EXPECT_EQ(reopened->notificationsEnabled(), !notifications);
    EXPECT_EQ(reopened->adaptiveTargetedAssistEnabled(), !learning);
    EXPECT_EQ(reopened->anonymousUsageStatisticsEnabled(), !statistics);
}

TEST(BerthkeepSettingsView, FullMonitoringStatusFollowsTheStore) {
    struct Case {
        const char* name;
        PropertyListValue::Dictionary defaults;
        QString pill; // empty: no pill
        bool setupRequired;
    };
    using Keys = AppPreferencesStore::Keys;
    const std::vector<Case> cases{
        {"off, never asked",
         {{Keys::fullMonitoringPreference, "off"}, {Keys::fullMonitoringUserOverride, true}},
         {},
         false},
        {"off, deferred",
         {{Keys::fullMonitoringPreference, "off"},
          {Keys::fullMonitoringOnboardingState, "deferred"},
          {Keys::fullMonitoringUserOverride, true}},
         {},
         false},
        {"on, probing",
         {{Keys::fullMonitoringPreference, "on"}, {Keys::fullMonitoringUserOverride, true}},
         QString::fromUtf8("Status: Checking\u2026"),
         false},
        {"on, working", storetest::fullMonitoringActive(), "Status: Active", false},
        {"on, needs setup",
         {{Keys::fullMonitoringPreference, "on"}, {Keys::fullMonitoringUserOverride, true}},
         {},
         true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.defaults = std::make_shared<InMemoryUserDefaults>(test.defaults);
        fixture.inventory->drives = {drive("a", "Alpha")};
        auto store = settingstest::quietStore(fixture);
        if (test.setupRequired) {
            // A failed first probe: setup is required, no longer "checking".
            fixture.usage->fails = true;
            test::runTask(store->refreshDriveUsageNow());
        }
        BerthkeepSettingsView page(*store, false, {}, "dev", "dev");
        auto* card = page.fullMonitoringCard();
        EXPECT_EQ(card->statusPill()->isVisibleTo(card), !test.pill.isEmpty());
        if (!test.pill.isEmpty()) {
            EXPECT_EQ(card->statusPill()->label(), test.pill);
        }
        EXPECT_EQ(card->setupRequiredNote()->isVisibleTo(card), test.setupRequired);
        if (test.setupRequired) {
            emit card->openSystemSettingsLink()->linkActivated("settings");
            ASSERT_EQ(fixture.urlOpener->requests().size(), 1u);
            EXPECT_TRUE(std::holds_alternative<RecordingUrlOpener::SystemSettings>(
                fixture.urlOpener->requests()[0]));
        }
    }
}

// Where the settings that finish setup cannot open, the click must not pass in
// silence, and the card says why monitoring is unavailable.
TEST(BerthkeepSettingsView, SettingsThatCannotOpenAreReportedWithTheReasonMonitoringIsOff) {
    using Keys = AppPreferencesStore::Keys;
    storetest::StoreFixture fixture;
    fixture.defaults = std::make_shared<InMemoryUserDefaults>(PropertyListValue::Dictionary{
        {Keys::fullMonitoringPreference, "on"}, {Keys::fullMonitoringUserOverride, true}});
    fixture.inventory->drives = {drive("a", "Alpha")};
    fixture.usage->fails = true;
    fixture.urlOpener->setSucceeds(false, "/System/Settings.app is not on this computer.");
    auto store = settingstest::quietStore(fixture);
    test::runTask(store->refreshDriveUsageNow());
    store->fullMonitoringCoordinator().setCapability(
        FullMonitoringCapability::unavailable("The core library was not found"));
    BerthkeepSettingsView page(*store, false, {}, "dev", "dev");
    test::processQueuedEvents();
    auto* card = page.fullMonitoringCard();
    ASSERT_TRUE(card->setupRequiredNote()->isVisibleTo(card));
    EXPECT_TRUE(card->unavailableReason()->isVisibleTo(card));
    EXPECT_EQ(card->unavailableReason()->text(), "Unavailable: The core library was not found");

    emit card->openSystemSettingsLink()->linkActivated("settings");
    ASSERT_EQ(fixture.statusPresenter->presented.size(), 1u);
    EXPECT_EQ(
        fixture.statusPresenter->presented[0],
        TransientActionStatus::settingsDidNotOpen("/System/Settings.app is not on this computer."));
    const auto logged = fixture.sink->named("settings.system_settings.open_failed");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].metadata.at("reason"), "/System/Settings.app is not on this computer.");

    // Opened: nothing more to say.
    fixture.urlOpener->setSucceeds(true);
    store->perform(MenubarRemediationAction::openSystemSettings());
    EXPECT_EQ(fixture.statusPresenter->presented.size(), 1u);
    store->fullMonitoringCoordinator().setCapability(FullMonitoringCapability::setupRequired());
    page.refresh();
    EXPECT_FALSE(card->unavailableReason()->isVisibleTo(card));
}

TEST(BerthkeepSettingsView, GeneralNotesAndAboutCardFollowTheirConditions) {
    storetest::StoreFixture fixture;
    fixture.launchAtLoginManager = fixture.launchAtLogin(false);
    fixture.notifications->status = BerthkeepNotificationAuthorizationStatus::denied;
    auto store = settingstest::quietStore(fixture);
    int checks = 0;
    BerthkeepSettingsView page(
        *store, true, [&] { ++checks; }, "1.4", "57");
    auto* general = page.generalCard();

    EXPECT_FALSE(general->launchAtLoginRow()->isEnabled());
    EXPECT_TRUE(general->launchAtLoginNote()->isVisibleTo(general));
    EXPECT_EQ(general->launchAtLoginNote()->text().toStdString(),
              *store->launchAtLoginAvailabilityMessage());

    store->setNotificationsEnabledByUser(false);
    test::processQueuedEvents();
    EXPECT_FALSE(general->notificationsNote()->isVisibleTo(general));
    general->notificationsRow()->toggle()->click();
    test::processQueuedEvents();
    EXPECT_TRUE(store->notificationsEnabled());
    EXPECT_TRUE(general->notificationsNote()->isVisibleTo(general));

    EXPECT_EQ(page.aboutCard()->versionLabel()->text(), "Version 1.4 (57)");
    ASSERT_NE(page.aboutCard()->checkForUpdatesButton(), nullptr);
    page.aboutCard()->checkForUpdatesButton()->click();
    EXPECT_EQ(checks, 1);
    BerthkeepSettingsView withoutUpdater(*store, false, {}, "dev", "dev");
    EXPECT_EQ(withoutUpdater.aboutCard()->checkForUpdatesButton(), nullptr);
    EXPECT_EQ(withoutUpdater.aboutCard()->versionLabel()->text(), "Version dev (dev)");
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "Berthkeep/Shell/LiveBerthkeepNotificationManager.hpp"
#include "StoreFixture.hpp"
#include "StoreTestSupport.hpp"
#include "platform/Notifications/SimulatedUserNotificationCenter.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using storetest::drive;

// Ejects and mounts by changing the fixture's inventory, each eject taking its
// drive's time on the manual clock; refusing drives never mount.
class FakeDrives final : public DriveEjecting, public DriveRemounting {
public:
    FakeDrives(std::shared_ptr<storetest::FakeInventory> inventory, std::shared_ptr<Clock> clock)
        : m_inventory(std::move(inventory))
        , m_clock(std::move(clock)) {}

    QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode,
                            std::shared_ptr<CancelToken> token) override {
        const auto delay = ejectDelays.contains(drive.id()) ? ejectDelays[drive.id()] : 0ms;
        if (delay > 0ms) {
            const bool elapsed = co_await m_clock->sleep(delay, token);
            if (!elapsed) {
                throw CancellationError();
            }
        }
        setMounted(drive.id(), false);
    }
    QCoro::Task<void> mount(RemountTarget target, std::shared_ptr<CancelToken>) override {
        mounts.push_back(target.driveID);
        if (!refusing.contains(target.driveID)) {
            setMounted(target.driveID, true);
        }
        co_return;
    }
    QCoro::Task<void> mountDisk(RemountGroup group, std::shared_ptr<CancelToken> token) override {
        for (const RemountTarget& target : group.targets) {
            co_await mount(target, token);
        }
    }

    std::map<std::string, Clock::Duration> ejectDelays;
    std::set<std::string> refusing;
    std::vector<std::string> mounts;

private:
    void setMounted(const std::string& id, bool mounted) {
        for (DetectedDrive& current : m_inventory->drives) {
            if (current.id() == id) {
                current = storetest::drive(id, current.name(), mounted);
            }
        }
    }
    std::shared_ptr<storetest::FakeInventory> m_inventory;
    std::shared_ptr<Clock> m_clock;
};

struct SleepFixture : storetest::StoreFixture {
    SleepFixture() {
        inventory->drives = {drive("a", "Alpha"), drive("b", "Beta")};
        customEjector = drives;
        remounter = drives;
        performInitialAsyncInventoryRefresh = false;
        performInitialDriveUsageRefresh = false;
        timing.postEjectRefreshDelay = 0s;
        timing.sleepEjectSettleDelay = 0s;
    }
    std::unique_ptr<BerthkeepStore> start() {
        auto store = make();
        test::processQueuedEvents();
        return store;
    }
    // Runs what is queued and moves the clock in steps, so each task gets its turn.
    void pass(Clock::Duration duration, Clock::Duration step = 100ms) {
        test::processQueuedEvents();
        for (Clock::Duration done = 0s; done < duration; done += step) {
            clock->advance(step);
            test::processQueuedEvents();
        }
    }
    std::vector<std::string> acknowledgedReasons() const {
        std::vector<std::string> reasons;
        for (const auto& event : sink->named("sleep.power_change.acknowledged")) {
            reasons.push_back(event.metadata.at("reason"));
        }
        return reasons;
    }
    std::shared_ptr<FakeDrives> drives = std::make_shared<FakeDrives>(inventory, clock);
};

TEST(BerthkeepStoreSleepWake, WillSleepIsReleasedWhenTheEjectEndsOrAt25Seconds) {
    struct Case {
        const char* name;
        bool mounted;
        Clock::Duration ejectTakes;
        Clock::Duration releasedAfter;
        const char* reason;
    };
    for (const Case& test :
         std::vector<Case>{{"no managed drive", false, 0s, 0s, "trigger_finished"},
                           {"quick eject", true, 0s, 0s, "trigger_finished"},
                           {"30 s eject", true, 30s, 25s, "timeout"}}) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.timing.sleepTriggeredEjectTimeout = 60s;
        if (!test.mounted) {
            fixture.inventory->drives = {drive("a", "Alpha", false)};
        }
        fixture.drives->ejectDelays = {{"a", test.ejectTakes}, {"b", test.ejectTakes}};
        auto store = fixture.start();
        int acknowledged = 0;
        store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });

        fixture.pass(test.releasedAfter - 100ms);
        if (test.releasedAfter > 0s) {
            EXPECT_EQ(acknowledged, 0);
        }
        fixture.pass(100ms);
        EXPECT_EQ(acknowledged, 1);
        fixture.pass(80s, 1s);
        EXPECT_EQ(acknowledged, 1);
        EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{test.reason});
        EXPECT_FALSE(store->isActionRunning());
    }
}

TEST(BerthkeepStoreSleepWake, WakeRemountsWhatTheSleepEjectTookOff) {
    SleepFixture fixture;
    fixture.drives->refusing = {"b"};
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    ASSERT_EQ(store->pendingWakeRemountTargets().size(), 2u);
    ASSERT_TRUE(store->mountedManagedDrives().empty());

    store->beginWakeRemount();
    fixture.pass(1900ms);
    EXPECT_TRUE(fixture.drives->mounts.empty()) << "the first mount waits 2 s";
    fixture.pass(200ms);
    EXPECT_EQ(fixture.drives->mounts, (std::vector<std::string>{"a", "b"}));
    fixture.pass(10s);
    // Beta refuses: three attempts 2 s apart, then it stays queued.
    EXPECT_EQ(std::count(fixture.drives->mounts.begin(), fixture.drives->mounts.end(), "b"), 3);
    const auto finished = fixture.sink->named("sleep.wake.remount.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].metadata.at("succeeded_count"), "1");
    EXPECT_EQ(finished[0].metadata.at("pending_retry_count"), "1");
    ASSERT_EQ(store->pendingWakeRemountTargets().size(), 1u);
    EXPECT_EQ(store->pendingWakeRemountTargets()[0].driveID, "b");

    // A sleep during the next wake's 2 s wait leaves the queue for the wake after.
    store->beginWakeRemount();
    fixture.pass(1s);
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(2s);
    const auto stale = fixture.sink->named("sleep.wake.remount.stale");
    ASSERT_EQ(stale.size(), 1u);
    EXPECT_EQ(stale[0].metadata.at("phase"), "before_start");
    ASSERT_FALSE(store->pendingWakeRemountTargets().empty());
    EXPECT_EQ(store->pendingWakeRemountTargets()[0].driveID, "b");
}

TEST(BerthkeepStoreSleepWake, WakeClosesASleepEjectThatWasStillRunning) {
    SleepFixture fixture;
    fixture.drives->ejectDelays = {{"b", 30s}};
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    ASSERT_TRUE(store->isActionRunning());
    const std::string attemptID = store->activeAttemptID().value_or("");

    store->beginWakeRemount();
    fixture.pass(100ms);
    EXPECT_FALSE(store->isActionRunning());
    const auto invalidated = fixture.sink->named("sleep.wake.invalidated_inflight_eject");
    ASSERT_EQ(invalidated.size(), 1u);
    EXPECT_EQ(invalidated[0].metadata.at("attempt_id"), attemptID);
    // The sleep already happened: its hold is dropped, not acknowledged.
    EXPECT_EQ(fixture.sink->named("sleep.power_change.cleared").size(), 1u);
    fixture.pass(3s);
    EXPECT_EQ(fixture.drives->mounts, std::vector<std::string>{"a"});
    fixture.pass(30s); // the old eject ends too, so nothing outlives the test
}

TEST(BerthkeepStoreSleepWake, ASleepWhileAnotherActionRunsRecordsTheNotice) {
    SleepFixture fixture;
    fixture.drives->ejectDelays = {{"a", 5s}, {"b", 5s}};
    auto store = fixture.start();
    store->perform(MenubarUtilityAction::Kind::ejectAll);
    fixture.pass(1s);
    ASSERT_TRUE(store->isActionRunning());

    int acknowledged = 0;
    store->handleSystemPowerWillSleep([&acknowledged] { ++acknowledged; });
    fixture.pass(100ms);
    EXPECT_EQ(acknowledged, 1);
    ASSERT_TRUE(store->pendingSleepFailureNotification());
    EXPECT_EQ(store->pendingSleepFailureNotification()->failedDriveCount, 2);
    // Eject All ends well after the machine slept; the drives slept mounted all the same.
    fixture.pass(12s);
    EXPECT_FALSE(store->isActionRunning());
    ASSERT_TRUE(store->pendingSleepFailureNotification());
    EXPECT_TRUE(fixture.defaults->dataForKey(BerthkeepStore::pendingSleepFailureNotificationKey));
}

TEST(BerthkeepStoreSleepWake, AStaleNoticeKeepsOnlyOneEjectAndSleepAwake) {
    SleepFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    fixture.drives->ejectDelays = {{"a", 30s}};
    fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
    auto store = fixture.start();
    store->setPendingSleepFailureNotification(PendingSleepFailureNotification{1});
    // Each round's eject is overtaken by a wake, so no close replaces the notice.
    for (const int expectedRequests : {0, 1}) {
        fixture.inventory->drives = {drive("a", "Alpha")};
        store->refreshInventory();
        fixture.pass(100ms);
        store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
        fixture.pass(1s);
        ASSERT_TRUE(store->isActionRunning());
        store->beginWakeRemount();
        fixture.pass(35s, 1s);
        ASSERT_TRUE(store->pendingSleepFailureNotification());
        EXPECT_EQ(fixture.sleepRequester->requests, expectedRequests);
    }
}

TEST(BerthkeepStoreSleepWake, WakeDeliversThePendingNoticeOnceWhenAllowed) {
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled);
        SleepFixture fixture;
        auto center = std::make_shared<SimulatedUserNotificationCenter>(
            UserNotificationAuthorizationStatus::authorized);
        center->setCallsCompletionHandlersImmediately(true);
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, enabled);
        fixture.customNotifications =
            std::make_shared<LiveBerthkeepNotificationManager>([center] { return center; });
        fixture.urlOpener = nullptr;
        auto store = fixture.make();
        store->setPendingSleepFailureNotification(PendingSleepFailureNotification{2});
        store->persistPendingSleepFailureNotification();

        store->beginWakeRemount();
        fixture.pass(500ms);
        store->beginWakeRemount(); // a second wake within the delay delivers nothing more
        fixture.pass(3s);
        const auto key = BerthkeepStore::pendingSleepFailureNotificationKey;
        if (enabled) {
            ASSERT_EQ(center->addedRequests().size(), 1u);
            EXPECT_EQ(center->addedRequests()[0].content.body,
                      "Couldn\u2019t eject 2 drives before sleep");
            EXPECT_FALSE(fixture.defaults->dataForKey(key));
            EXPECT_FALSE(store->pendingSleepFailureNotification());
        } else {
            EXPECT_TRUE(center->addedRequests().empty());
            EXPECT_EQ(fixture.sink->named("notifications.delivery.skipped").size(), 1u);
            EXPECT_TRUE(fixture.defaults->dataForKey(key));
        }
    }
}

} // namespace
} // namespace berthkeep

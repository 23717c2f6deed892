#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "SleepFixture.hpp"

// Work that ends late meets a drive the user has spoken about since: each drive
// answers to the newest word about it. And a drive counts as being mounted only
// while its own mount runs.
namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using storetest::countOf;
using storetest::drive;
using storetest::noticeCount;
using storetest::SleepFixture;

// As a terminal's diskutil would: the program made no command for it.
void setMountedByHand(SleepFixture& fixture, BerthkeepStore& store, const std::string& id,
                      bool mounted) {
    for (DetectedDrive& current : fixture.inventory->drives) {
        if (current.id() == id) {
            current = drive(current.id(), current.name(), mounted, current.scope(),
                            current.bsdName(), current.ejectGroupID());
        }
    }
    store.refreshInventory();
}

bool namesInclude(const BerthkeepLogEvent& event, const std::string& name) {
    return event.metadata.at("drive_names").find(name) != std::string::npos;
}

// Xray's sleep eject fails (busy) and Yankee's takes 14 s; the machine wakes 3 s
// in. At 5 s the user takes Xray down: from its card, from a terminal, or from
// its card while Xray's own old eject still runs. The late close queues only
// what its own eject took down and nobody has spoken about since.
TEST(BerthkeepStoreNewestWord, ALateCloseLeavesADriveTheUserTookDownAfterTheWake) {
    enum class By { card, terminal, cardDuringItsOwnEject };
    for (const By by : {By::card, By::terminal, By::cardDuringItsOwnEject}) {
        SCOPED_TRACE(static_cast<int>(by));
        SleepFixture fixture;
        fixture.inventory->drives = {drive("x", "Xray"), drive("y", "Yankee")};
        if (by == By::cardDuringItsOwnEject) {
            fixture.drives->ejectDelays = {{"x", 14s}};
        } else {
            fixture.drives->failing = {"x"};
            fixture.drives->ejectDelays = {{"y", 14s}};
        }
        fixture.timing.sleepTriggeredEjectTimeout = 15s;
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(3s);
        store->beginWakeRemount();
        fixture.pass(2s);
        ASSERT_TRUE(fixture.sink->named("reliability.eject.closed_after_wake").empty());

        fixture.drives->failing.clear();
        fixture.drives->ejectDelays.erase("x");
        if (by == By::terminal) {
            setMountedByHand(fixture, *store, "x", false);
        } else {
            store->perform(DriveAction::Kind::eject, "x");
        }
        fixture.pass(30s);

        ASSERT_EQ(fixture.sink->named("reliability.eject.closed_after_wake").size(), 1u);
        EXPECT_FALSE(store->isCurrentlyMounted("x")) << "as the user left it";
        EXPECT_EQ(countOf(fixture.drives->mounts, "x"), 0u);
        EXPECT_EQ(countOf(fixture.queuedIDs(*store), "x"), 0u);
        for (const auto& scheduled : fixture.sink->named("sleep.wake.remount.scheduled")) {
            EXPECT_FALSE(namesInclude(scheduled, "Xray")) << scheduled.metadata.at("drive_names");
        }
        if (by != By::cardDuringItsOwnEject) {
            EXPECT_TRUE(store->isCurrentlyMounted("y")) << "its late eject is undone";
            const auto finished = fixture.sink->named("reliability.eject.finished");
            ASSERT_FALSE(finished.empty());
            EXPECT_EQ(finished.front().metadata.at("ejected_count"), "1")
                << "Xray's own eject failed";
        }
    }
}

// The sleep's ejects take 14 s each and the hold is cut at 25 s; the machine
// wakes and Bravo's eject ends after it, so Bravo is queued. Then the user
// clicks Eject All or Eject & Sleep: a drive it finds down leaves the queue, and
// one being mounted when it begins is ejected once that mount ends. Nothing is
// mounted after the click.
TEST(BerthkeepStoreNewestWord, EjectAllIsTheUsersWordOnEveryDrive) {
    struct Case {
        const char* name;
        MenubarUtilityAction::Kind click;
        bool duringBravosMount;
    };
    for (const Case& test :
         {Case{"Eject All, Bravo down", MenubarUtilityAction::Kind::ejectAll, false},
          Case{"Eject & Sleep, Bravo down", MenubarUtilityAction::Kind::ejectAndSleep, false},
          Case{"Eject All, Bravo being mounted", MenubarUtilityAction::Kind::ejectAll, true}}) {
        SCOPED_TRACE(test.name);
        SleepFixture fixture;
        fixture.drives->ejectDelays = {{"a", 14s}, {"b", 14s}};
        fixture.timing.sleepTriggeredEjectTimeout = 15s;
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(25500ms);
        ASSERT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"timeout"});
        store->beginWakeRemount();
        for (int step = 0; step < 100 && fixture.queuedIDs(*store) != std::vector<std::string>{"b"};
             ++step) {
            fixture.pass(100ms);
        }
        ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"b"})
            << "Bravo's late eject queued it";
        ASSERT_TRUE(store->isCurrentlyMounted("a")) << "the wake brought Alpha back";
        fixture.drives->ejectDelays.clear();
        if (test.duringBravosMount) {
            fixture.drives->mountDelays = {{"b", 5s}};
            for (int step = 0; step < 100 && !store->mountingDriveIDs().contains("b"); ++step) {
                fixture.pass(100ms);
            }
            ASSERT_TRUE(store->mountingDriveIDs().contains("b"));
        } else {
            fixture.pass(1s);
        }
        const std::size_t mountsBefore = countOf(fixture.drives->mounts, "b");
        store->perform(test.click);
        fixture.pass(20s);

        EXPECT_FALSE(store->isCurrentlyMounted("a"));
        EXPECT_FALSE(store->isCurrentlyMounted("b")) << "a user who unplugs now pulls nothing";
        EXPECT_EQ(countOf(fixture.drives->mounts, "b"), mountsBefore) << "no mount after the click";
        EXPECT_EQ(countOf(fixture.queuedIDs(*store), "b"), 0u);
        if (test.click == MenubarUtilityAction::Kind::ejectAndSleep) {
            EXPECT_EQ(fixture.sleepRequester->requests, 1);
            EXPECT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"a"})
                << "what Eject & Sleep took down comes back after its sleep";
        }
    }
}

// Alpha, Bravo and Charlie come back at the wake; Alpha's mount takes 40 s, and
// a second will-sleep cancels the remount before it began the other two. Only
// Alpha, still in its mount when the hold is cut, slept mounted. When the
// machine wakes again at once instead, Bravo and Charlie are mounted without
// waiting for Alpha's mount, which runs once.
TEST(BerthkeepStoreNewestWord, ADriveCountsAsMountingOnlyWhileItsOwnMountRuns) {
    for (const bool wakesAtOnce : {false, true}) {
        SCOPED_TRACE(wakesAtOnce ? "wakes at once" : "sleeps");
        SleepFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Bravo"),
                                     drive("c", "Charlie")};
        fixture.drives->mountDelays = {{"a", 40s}};
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        ASSERT_EQ(fixture.queuedIDs(*store).size(), 3u);
        store->beginWakeRemount();
        fixture.pass(2500ms);
        ASSERT_EQ(store->mountingDriveIDs(), std::set<std::string>{"a"})
            << "Bravo and Charlie wait their turn, down";
        store->handleSystemPowerWillSleep([] {});
        if (!wakesAtOnce) {
            fixture.pass(26s);
            EXPECT_EQ(fixture.acknowledgedReasons(),
                      (std::vector<std::string>{"trigger_finished", "timeout"}));
            EXPECT_EQ(noticeCount(*store), 1) << "only Alpha was in its mount at the cut";
            EXPECT_EQ(countOf(fixture.drives->mounts, "b"), 0u);
            fixture.pass(20s); // Alpha's mount ends
            continue;
        }
        fixture.pass(100ms);
        store->beginWakeRemount();
        fixture.pass(10s);
        EXPECT_TRUE(store->isCurrentlyMounted("b"));
        EXPECT_TRUE(store->isCurrentlyMounted("c"));
        EXPECT_FALSE(store->isCurrentlyMounted("a")) << "its one mount still runs";
        fixture.pass(40s);
        EXPECT_TRUE(store->isCurrentlyMounted("a"));
        EXPECT_EQ(countOf(fixture.drives->mounts, "a"), 1u);
        EXPECT_TRUE(fixture.queuedIDs(*store).empty());
    }
}

// A disk's Mount All mounts three volumes, 10 s each, and a will-sleep comes
// during the first. Alpha goes down at once; the first volume is ejected once
// its mount ends, within the hold; no other mount begins while the sleep is
// held, and nothing slept mounted.
TEST(BerthkeepStoreNewestWord, NoMountBeginsWhileASleepIsHeld) {
    SleepFixture fixture;
    const auto volume = [](const char* id, const char* name, const char* bsdName) {
        return drive(id, name, false, DetectedDrive::Scope::managed, std::string(bsdName),
                     std::string("disk5"));
    };
    fixture.inventory->drives = {drive("a", "Alpha"), volume("v1", "Vol1", "disk5s1"),
                                 volume("v2", "Vol2", "disk5s2"), volume("v3", "Vol3", "disk5s3")};
    fixture.drives->mountDelays = {{"v1", 10s}, {"v2", 10s}, {"v3", 10s}};
    auto store = fixture.start();
    store->perform(DriveGroupActionKind::mountAll, "disk5");
    fixture.pass(2s);
    ASSERT_EQ(store->mountingDriveIDs(), std::set<std::string>{"v1"});
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    EXPECT_FALSE(store->isCurrentlyMounted("a")) << "ejected at once";
    fixture.pass(30s);

    EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"trigger_finished"});
    EXPECT_EQ(countOf(fixture.drives->ejectedIDs(), "v1"), 1u);
    EXPECT_EQ(fixture.drives->mounts, std::vector<std::string>{"v1"});
    EXPECT_EQ(fixture.mountedCount(), 0u);
    EXPECT_FALSE(noticeCount(*store));
}

// Alpha's mount takes 30 s and Bravo's 5 s when the sleep comes; Charlie is up.
// Charlie goes down at once and Bravo as soon as its mount ends, while Alpha's
// still runs; at the cut Alpha alone slept mounted, and nothing is ejected
// after the cut.
TEST(BerthkeepStoreNewestWord, EachMountThatEndsWithinTheHoldIsEjectedThen) {
    SleepFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha", false), drive("b", "Bravo", false),
                                 drive("c", "Charlie")};
    fixture.drives->mountDelays = {{"a", 30s}, {"b", 5s}};
    fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
    auto store = fixture.start();
    store->perform(DriveAction::Kind::mount, "a");
    store->perform(DriveAction::Kind::mount, "b");
    fixture.pass(1s);
    ASSERT_EQ(store->mountingDriveIDs(), (std::set<std::string>{"a", "b"}));
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    EXPECT_FALSE(store->isCurrentlyMounted("c")) << "ejected at once";
    fixture.pass(5s);
    EXPECT_FALSE(store->isCurrentlyMounted("b")) << "ejected once its mount ended";
    EXPECT_EQ(countOf(fixture.drives->ejectedIDs(), "b"), 1u);
    fixture.pass(25s);

    EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"timeout"});
    EXPECT_EQ(noticeCount(*store), 1) << "Alpha, in its mount at the cut";
    EXPECT_EQ(countOf(fixture.drives->ejectedIDs(), "a"), 0u) << "nothing after the cut";
}

// Runs detached work at once, but holds every usage probe while `holding`:
// a probe that never ends, as one under heavy load seems. A probe's work is
// handed over right after its start is logged.
class ProbeHoldingExecutor final : public Executor {
public:
    explicit ProbeHoldingExecutor(std::shared_ptr<test::RecordingLogSink> sink)
        : m_sink(std::move(sink)) {}
    void execute(std::function<void()> work) override {
        const auto events = m_sink->events();
        const bool probe =
            events.size() > m_seen && events.back().name == "inventory.usage_probe.started";
        m_seen = events.size();
        if (holding && probe) {
            held.push_back(std::move(work));
            return;
        }
        work();
    }
    void releaseAll() {
        holding = false;
        while (!held.empty()) {
            auto work = std::move(held.front());
            held.erase(held.begin());
            work();
        }
    }
    bool holding = true;
    std::vector<std::function<void()>> held;

private:
    std::shared_ptr<test::RecordingLogSink> m_sink;
    std::size_t m_seen = 0;
};

// A usage probe that does not end (Eject & Sleep's, or the sleep's own) keeps
// the sleep from ejecting nothing: the plan waits for it a few seconds, then
// takes the latest snapshots, and both drives are down before the hold runs out.
TEST(BerthkeepStoreNewestWord, AHungUsageProbeLeavesTheEjectsTheirTime) {
    for (const bool ejectAndSleepFirst : {true, false}) {
        SCOPED_TRACE(ejectAndSleepFirst ? "Eject & Sleep's probe" : "the sleep's own probe");
        SleepFixture fixture;
        const auto executor = std::make_shared<ProbeHoldingExecutor>(fixture.sink);
        fixture.executor = executor;
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
        auto store = fixture.start();
        if (ejectAndSleepFirst) {
            store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
            fixture.pass(100ms);
            ASSERT_EQ(executor->held.size(), 1u) << "Eject & Sleep's probe hangs";
        }
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(20s);

        EXPECT_EQ(fixture.mountedCount(), 0u);
        EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"trigger_finished"});
        EXPECT_FALSE(noticeCount(*store));
        EXPECT_EQ(fixture.sleepRequester->requests, 0) << "the system's sleep is the one";
        executor->releaseAll();
        fixture.pass(1s);
    }
}

// Delivers only when the test lets it.
class SlowNotifications final : public BerthkeepNotificationManaging {
public:
    QCoro::Task<BerthkeepNotificationAuthorizationStatus> authorizationStatus() override {
        co_return BerthkeepNotificationAuthorizationStatus::authorized;
    }
    QCoro::Task<void>
    deliverSleepFailureNotification(PendingSleepFailureNotification notification) override {
        delivered.push_back(notification.failedDriveCount);
        const Completion<void> answered = answer;
        co_await answered;
    }
    QCoro::Task<BerthkeepNotificationAuthorizationStatus> requestAuthorizationIfNeeded() override {
        co_return BerthkeepNotificationAuthorizationStatus::authorized;
    }
    std::vector<std::int64_t> delivered;
    Completion<void> answer;
};

// The notification service answers slowly; a newer notice recorded meanwhile
// stays pending, in memory and in the user defaults, for the next delivery.
TEST(BerthkeepStoreNewestWord, ASlowDeliveryClearsOnlyTheNoticeItDelivered) {
    SleepFixture fixture;
    const auto notifications = std::make_shared<SlowNotifications>();
    fixture.customNotifications = notifications;
    auto store = fixture.start();
    store->recordSleepFailureNotice(PendingSleepFailureNotification{1}, store->takeReportNumber());
    store->beginWakeRemount();
    fixture.pass(1500ms);
    ASSERT_EQ(notifications->delivered, std::vector<std::int64_t>{1});

    store->recordSleepFailureNotice(PendingSleepFailureNotification{2}, store->takeReportNumber());
    notifications->answer.resolve();
    fixture.pass(100ms);

    EXPECT_EQ(noticeCount(*store), 2);
    EXPECT_TRUE(fixture.defaults->dataForKey(BerthkeepStore::pendingSleepFailureNotificationKey));
    notifications->answer = Completion<void>();
    notifications->answer.resolve();
    store->beginWakeRemount();
    fixture.pass(1500ms);
    EXPECT_EQ(notifications->delivered, (std::vector<std::int64_t>{1, 2}));
    EXPECT_FALSE(noticeCount(*store));
    EXPECT_FALSE(fixture.defaults->dataForKey(BerthkeepStore::pendingSleepFailureNotificationKey));
}

// The wake's remount has mounted Alpha and is in Bravo's 12 s mount when a
// will-sleep cancels it and the machine wakes again. Alpha, mounted, is no longer
// queued: pulled out, no later wake looks for it; ejected from a terminal, no
// later wake mounts it.
TEST(BerthkeepStoreNewestWord, ACancelledWakeRemountKeepsOnlyWhatItHadNotMounted) {
    for (const bool pulledOut : {false, true}) {
        SCOPED_TRACE(pulledOut ? "pulled out" : "ejected from a terminal");
        SleepFixture fixture;
        fixture.drives->mountDelays = {{"b", 12s}};
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        ASSERT_EQ(fixture.queuedIDs(*store), (std::vector<std::string>{"a", "b"}));
        store->beginWakeRemount();
        fixture.pass(3500ms);
        ASSERT_TRUE(store->isCurrentlyMounted("a"));
        ASSERT_TRUE(store->mountingDriveIDs().contains("b"));
        // This sleep does not take Alpha down: it slept mounted.
        fixture.drives->failing = {"a"};
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(100ms);
        store->beginWakeRemount();
        fixture.pass(100ms);
        fixture.drives->failing.clear();
        EXPECT_EQ(countOf(fixture.queuedIDs(*store), "a"), 0u) << "mounted, so not queued";

        if (pulledOut) {
            std::erase_if(fixture.inventory->drives,
                          [](const DetectedDrive& d) { return d.id() == "a"; });
            store->refreshInventory();
        } else {
            setMountedByHand(fixture, *store, "a", false);
        }
        fixture.pass(20s);
        ASSERT_TRUE(store->isCurrentlyMounted("b"));
        const std::size_t alphaMounts = countOf(fixture.drives->mounts, "a");
        for (int pair = 0; pair < 2; ++pair) {
            store->handleSystemPowerWillSleep([] {});
            fixture.pass(1s);
            store->beginWakeRemount();
            fixture.pass(10s);
        }
        EXPECT_EQ(countOf(fixture.drives->mounts, "a"), alphaMounts);
        EXPECT_FALSE(store->isCurrentlyMounted("a")) << "as the user left it";
        EXPECT_TRUE(fixture.sink->named("sleep.wake.remount.not_attached").empty());
        EXPECT_TRUE(store->isCurrentlyMounted("b")) << "the later wakes bring it back";
    }
}

} // namespace
} // namespace berthkeep

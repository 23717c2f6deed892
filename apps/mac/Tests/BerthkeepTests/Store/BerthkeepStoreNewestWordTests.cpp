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
// clicks Eject All or Eject & Sleep: a drive Eject All finds down leaves the
// queue (Eject & Sleep keeps it for the wake of its sleep), and one being
// mounted when it begins is ejected once that mount ends. Nothing is mounted
// after the click.
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
        if (test.click == MenubarUtilityAction::Kind::ejectAndSleep) {
            EXPECT_EQ(fixture.sleepRequester->requests, 1);
            EXPECT_EQ(fixture.queuedIDs(*store), (std::vector<std::string>{"b", "a"}))
                << "what waited and what Eject & Sleep took down come back after its sleep";
        } else {
            EXPECT_EQ(countOf(fixture.queuedIDs(*store), "b"), 0u);
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

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using storetest::countOf;
using storetest::drive;
using storetest::SleepFixture;

std::set<std::string> asSet(const std::vector<std::string>& ids) {
    return {ids.begin(), ids.end()};
}

// A sleep takes Alpha and Bravo down. Road A: at the wake Alpha refuses its
// mounts and stays queued; a minute later the user clicks Eject & Sleep. Road
// B: Charlie is plugged in during the sleep, and the click comes 1 s after the
// wake, inside the wake's wait. Eject & Sleep keeps every queued drive queued,
// mounts none before its own sleep, and after that sleep's wake each comes
// back, once.
TEST(BerthkeepStoreNewestWord, EjectAndSleepKeepsWhatWaitsForTheWake) {
    for (const bool roadB : {false, true}) {
        SCOPED_TRACE(roadB ? "road B" : "road A");
        SleepFixture fixture;
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
        auto store = fixture.start();
        store->handleSystemPowerWillSleep([] {});
        fixture.pass(2s);
        ASSERT_EQ(fixture.mountedCount(), 0u);
        std::set<std::string> expected{"a", "b"};
        if (roadB) {
            fixture.inventory->drives.push_back(drive("c", "Charlie"));
            store->refreshInventory();
            fixture.pass(500ms);
            expected.insert("c");
        } else {
            fixture.drives->refusing = {"a"};
        }
        store->beginWakeRemount();
        if (roadB) {
            fixture.pass(1s);
        } else {
            fixture.pass(60s);
            ASSERT_TRUE(store->isCurrentlyMounted("b"));
            ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"a"});
            fixture.drives->refusing.clear();
        }
        const std::vector<std::string> mountsBefore = fixture.drives->mounts;
        store->perform(MenubarUtilityAction::Kind::ejectAndSleep);
        fixture.pass(20s);

        ASSERT_EQ(fixture.sleepRequester->requests, 1);
        EXPECT_EQ(fixture.drives->mounts, mountsBefore) << "nothing mounted before its sleep";
        EXPECT_EQ(fixture.mountedCount(), 0u);
        EXPECT_EQ(asSet(fixture.queuedIDs(*store)), expected);

        store->handleSystemPowerWillSleep([] {});
        fixture.pass(1s);
        store->beginWakeRemount();
        fixture.pass(30s);
        for (const std::string& id : expected) {
            EXPECT_TRUE(store->isCurrentlyMounted(id)) << id;
            EXPECT_EQ(countOf(fixture.drives->mounts, id), countOf(mountsBefore, id) + 1) << id;
        }
        EXPECT_TRUE(fixture.queuedIDs(*store).empty());
    }
}

bool saysCouldNotMount(const std::vector<TransientActionStatus>& presented) {
    return std::any_of(presented.begin(), presented.end(), [](const TransientActionStatus& s) {
        return s.title.find("could not mount") != std::string::npos ||
               s.detail.value_or("").find("could not mount") != std::string::npos;
    });
}

// A disk's Mount All mounts three volumes, 10 s each; 2 s into the first a
// will-sleep comes, or the user clicks Eject All. The first volume is mounted
// and then ejected; the other two never get a mount command, and nothing calls
// them "could not mount". The sleep's wake mounts all three, as the user asked;
// after Eject All, the user's newer word, they stay down.
TEST(BerthkeepStoreNewestWord, AMountThatWasStoppedIsNoFailure) {
    for (const bool bySleep : {true, false}) {
        SCOPED_TRACE(bySleep ? "held sleep" : "Eject All");
        SleepFixture fixture;
        const auto volume = [](const char* id, const char* name, const char* bsdName) {
            return drive(id, name, false, DetectedDrive::Scope::managed, std::string(bsdName),
                         std::string("disk5"));
        };
        fixture.inventory->drives = {drive("a", "Alpha"), volume("v1", "Vol1", "disk5s1"),
                                     volume("v2", "Vol2", "disk5s2"),
                                     volume("v3", "Vol3", "disk5s3")};
        fixture.drives->mountDelays = {{"v1", 10s}, {"v2", 10s}, {"v3", 10s}};
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
        auto store = fixture.start();
        store->perform(DriveGroupActionKind::mountAll, "disk5");
        fixture.pass(2s);
        ASSERT_EQ(store->mountingDriveIDs(), std::set<std::string>{"v1"});
        if (bySleep) {
            store->handleSystemPowerWillSleep([] {});
        } else {
            store->perform(MenubarUtilityAction::Kind::ejectAll);
        }
        fixture.pass(30s);

        ASSERT_EQ(fixture.drives->mounts, std::vector<std::string>{"v1"});
        EXPECT_EQ(fixture.mountedCount(), 0u);
        EXPECT_FALSE(saysCouldNotMount(fixture.statusPresenter->presented));
        EXPECT_TRUE(fixture.sink->named("drive.mount.failed").empty());
        if (bySleep) {
            EXPECT_EQ(fixture.acknowledgedReasons(), std::vector<std::string>{"trigger_finished"});
            EXPECT_EQ(asSet(fixture.queuedIDs(*store)),
                      (std::set<std::string>{"a", "v1", "v2", "v3"}));
        } else {
            EXPECT_TRUE(fixture.queuedIDs(*store).empty());
            store->handleSystemPowerWillSleep([] {});
            fixture.pass(1s);
        }
        store->beginWakeRemount();
        fixture.pass(60s);
        for (const char* id : {"v2", "v3"}) {
            EXPECT_EQ(store->isCurrentlyMounted(id), bySleep) << id;
            EXPECT_EQ(countOf(fixture.drives->mounts, id), bySleep ? 1u : 0u) << id;
        }
        EXPECT_EQ(store->isCurrentlyMounted("v1"), bySleep);
        EXPECT_TRUE(fixture.queuedIDs(*store).empty());
        EXPECT_FALSE(saysCouldNotMount(fixture.statusPresenter->presented));
    }
}

// A sleep takes Alpha and Bravo down; Charlie is plugged in meanwhile. At the
// wake Alpha's mount takes 10 s, and during it the user clicks Eject All:
// Bravo is left alone, which is no failure of the wake remount.
TEST(BerthkeepStoreNewestWord, ADriveLeftToTheUsersWordIsNotAFailedRemount) {
    SleepFixture fixture;
    fixture.drives->mountDelays = {{"a", 10s}};
    fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(2s);
    fixture.inventory->drives.push_back(drive("c", "Charlie"));
    store->refreshInventory();
    fixture.pass(500ms);
    store->beginWakeRemount();
    fixture.pass(5s);
    ASSERT_EQ(store->mountingDriveIDs(), std::set<std::string>{"a"});
    store->perform(MenubarUtilityAction::Kind::ejectAll);
    fixture.pass(30s);

    EXPECT_EQ(countOf(fixture.drives->mounts, "b"), 0u);
    EXPECT_EQ(fixture.mountedCount(), 0u);
    const auto finished = fixture.sink->named("sleep.wake.remount.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished.front().metadata.at("failed_count"), "0");
}

// Vol1 and Vol2 of one disk are taken down by a sleep; at the wake Vol2 refuses
// its mounts and stays queued. Then Vol3's card Mount runs 10 s, and during it
// the user clicks the disk's Eject: Vol1 goes down, Vol2 leaves the queue, and
// Vol3 is ejected once its mount ends. No later wake mounts any of them.
TEST(BerthkeepStoreNewestWord, ADisksEjectSpeaksForEachOfItsVolumes) {
    SleepFixture fixture;
    const auto volume = [](const char* id, const char* name, const char* bsdName, bool mounted) {
        return drive(id, name, mounted, DetectedDrive::Scope::managed, std::string(bsdName),
                     std::string("disk5"));
    };
    fixture.inventory->drives = {volume("v1", "Vol1", "disk5s1", true),
                                 volume("v2", "Vol2", "disk5s2", true),
                                 volume("v3", "Vol3", "disk5s3", false)};
    fixture.drives->refusing = {"v2"};
    fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, false);
    auto store = fixture.start();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(2s);
    store->beginWakeRemount();
    fixture.pass(60s);
    ASSERT_TRUE(store->isCurrentlyMounted("v1"));
    ASSERT_EQ(fixture.queuedIDs(*store), std::vector<std::string>{"v2"});
    fixture.drives->refusing.clear();
    fixture.drives->mountDelays = {{"v3", 10s}};
    store->perform(DriveAction::Kind::mount, "v3");
    fixture.pass(2s);
    ASSERT_EQ(store->mountingDriveIDs(), std::set<std::string>{"v3"});
    store->perform(DriveGroupActionKind::ejectAll, "disk5");
    fixture.pass(20s);

    EXPECT_EQ(fixture.mountedCount(), 0u) << "Vol3 followed and ejected once up";
    EXPECT_EQ(countOf(fixture.drives->ejectedIDs(), "v3"), 1u);
    EXPECT_TRUE(fixture.queuedIDs(*store).empty());
    const std::size_t mountsBefore = fixture.drives->mounts.size();
    store->handleSystemPowerWillSleep([] {});
    fixture.pass(1s);
    store->beginWakeRemount();
    fixture.pass(30s);
    EXPECT_EQ(fixture.drives->mounts.size(), mountsBefore);
    EXPECT_EQ(fixture.mountedCount(), 0u);
}

} // namespace
} // namespace berthkeep

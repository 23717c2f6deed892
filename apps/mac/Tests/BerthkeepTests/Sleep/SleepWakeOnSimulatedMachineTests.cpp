#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <nlohmann/json.hpp>

#include "../Inventory/InventoryTestSupport.hpp"
#include "../Store/SimulatedMachineStoreSupport.hpp"
#include "../Store/StoreFixture.hpp"
#include "Berthkeep/Shell/LiveBerthkeepNotificationManager.hpp"
#include "platform/Notifications/SimulatedUserNotificationCenter.hpp"
#include "platform/Power/SimulatedSystemPowerManagement.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"
#include "platform/SimulatedMachine/SimulatedPowerFile.hpp"
#include "platform/Workspace/SimulatedWorkspaceNotificationCenter.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

// The test's own limits on the sleep, in place of the program's 25 s hold and
// 15 s per eject. Each eject runs about fifteen stand-in tools (checks, the
// eject, inventory refreshes); instrumented, on a machine loaded to 2.5 times
// its processors, each takes most of a second, and a sleep the hold cut short
// would leave drives mounted. What these tests check is the order of events,
// so the limits are ones no load reaches.
constexpr auto sleepHold = 5min;
constexpr auto sleepEjectLimit = 2min;
// How long the simulated machine and its control tool wait for the answer:
// past the hold.
constexpr auto answerWait = sleepHold + 30s;
// How long a step after the wake (a remount with its retries, a notice) may take.
constexpr auto stepWait = 3min;

// The real store, registered for power messages on a simulated machine, with the
// stand-in disk tools and live time; the control tool sends the messages.
class SleepWakeOnSimulatedMachine : public inventorytest::SimulatedMachineTest {
protected:
    void TearDown() override {
        store.reset();
        power.reset();
        inventorytest::SimulatedMachineTest::TearDown();
    }

    // Three mounted USB sticks; returns their disks.
    std::vector<std::string> attachSticks() {
        return attachMountedSticks({"Alpha", "Bravo", "Charlie"});
    }

    // `watchDisks`: the store also hears of disks that appear, as the program does.
    void startStore(std::size_t mountedManagedDrives = 3, bool watchDisks = false) {
        storetest::onSimulatedMachine(fixture, stateFile());
        if (watchDisks) {
            storetest::watchDisks(fixture, stateFile());
        }
        storetest::useStandInDriveActions(fixture, stateFile());
        fixture.customNotifications = std::make_shared<LiveBerthkeepNotificationManager>(
            [center = center] { return center; });
        power = std::make_shared<SimulatedSystemPowerManagement>(stateFile(), 50ms);
        fixture.workspace =
            std::make_shared<SimulatedWorkspaceNotificationCenter>(stateFile(), 100ms);
        fixture.powerManagement = power;
        fixture.liveClock = true;
        fixture.timing.powerChangeAcknowledgeTimeout = sleepHold;
        fixture.timing.sleepTriggeredEjectTimeout = sleepEjectLimit;
        fixture.performInitialDriveUsageRefresh = false;
        store = fixture.make();
        ASSERT_TRUE(test::processEventsUntil(
            [this] { return store->hasCompletedInitialAsyncUsageRefresh(); }, stepWait));
        ASSERT_EQ(store->mountedManagedDriveIDs().size(), mountedManagedDrives);
        ASSERT_TRUE(store->sleepWake().isRegisteredForSystemPower());
    }

    // The control tool, started; answerOf() waits for its JSON answer while this
    // loop keeps delivering.
    static std::unique_ptr<QProcess> startPower(const QString& message) {
        auto tool = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(SimulatedPowerFile::giveUpEnvironmentVariable,
                           QString::number(std::chrono::milliseconds(answerWait).count()));
        tool->setProcessEnvironment(environment);
        tool->start(QStringLiteral(BERTHKEEP_SIM_BIN_DIR "/berthkeep-sim"),
                    {"power", message, "--wait",
                     QString::number(std::chrono::seconds(answerWait).count())});
        EXPECT_TRUE(tool->waitForStarted(5000));
        return tool;
    }
    static nlohmann::json answerOf(QProcess& tool) {
        EXPECT_TRUE(
            inventorytest::spinUntil([&tool] { return tool.state() == QProcess::NotRunning; },
                                     std::chrono::milliseconds(answerWait + 10s).count()));
        const auto output = tool.readAllStandardOutput().toStdString();
        return nlohmann::json::parse(output, nullptr, false);
    }
    nlohmann::json sendPower(const QString& message) { return answerOf(*startPower(message)); }

    // A wake, up to the end of its remount.
    void wakeAndRemount() {
        const std::size_t before = fixture.sink->named("sleep.wake.remount.finished").size();
        sendPower("has-powered-on");
        ASSERT_TRUE(test::processEventsUntil(
            [this, before] {
                return fixture.sink->named("sleep.wake.remount.finished").size() > before;
            },
            stepWait));
    }

    // Whether the volume of that name is mounted on the machine now.
    bool isMounted(const std::string& volumeName) const {
        for (const SimulatedDisk& disk : stateFile().read().disks) {
            for (const SimulatedVolume& volume : disk.volumes) {
                if (volume.volumeName == volumeName) {
                    return volume.mounted;
                }
            }
        }
        return false;
    }

    // A real process keeps Bravo busy through a whole sleep cycle.
    void runHeldDriveCycle(bool notificationsOn) {
        fixture.defaults->setBool(AppPreferencesStore::Keys::notificationsEnabled, notificationsOn);
        const std::vector<std::string> disks = attachSticks();
        m_holder.holdOpen(*stateFile().read().findDisk(disks[1])->volumes.back().mountPath);
        startStore();

        const nlohmann::json slept = sendPower("will-sleep");
        EXPECT_EQ(slept.value("acknowledged", false), true) << slept.dump();
        EXPECT_LT(slept.value("elapsed_ms", std::chrono::milliseconds(answerWait).count()),
                  std::chrono::milliseconds(sleepHold).count())
            << "acknowledged once the ejects were done, not by the hold";
        const SimulatedWorld asleep = stateFile().read();
        ASSERT_EQ(asleep.disks.size(), 1u);
        EXPECT_EQ(asleep.disks[0].bsdName, disks[1]);
        EXPECT_TRUE(asleep.disks[0].volumes.back().mounted);

        sendPower("has-powered-on");
        ASSERT_TRUE(test::processEventsUntil(
            // A delivery clears the pending notice only once the center has answered.
            [this] {
                return (!center->addedRequests().empty() &&
                        !store->pendingSleepFailureNotification()) ||
                       !fixture.sink->named("notifications.delivery.skipped").empty();
            },
            stepWait));
        const auto stored =
            fixture.defaults->dataForKey(BerthkeepStore::pendingSleepFailureNotificationKey);
        if (notificationsOn) {
            ASSERT_EQ(center->addedRequests().size(), 1u);
            EXPECT_EQ(center->addedRequests()[0].content.body,
                      "Couldn\u2019t eject 1 drive before sleep");
            EXPECT_FALSE(stored);
        } else {
            EXPECT_TRUE(center->addedRequests().empty());
            EXPECT_TRUE(stored);
            ASSERT_TRUE(store->pendingSleepFailureNotification());
            EXPECT_EQ(store->pendingSleepFailureNotification()->failedDriveCount, 1);
        }
    }

    // Bravo's eject is slow, and Bravo is pulled out 1.5 s into it: the tool
    // holds the disk it began with and finds it gone. Bravo is counted as not
    // attached, never as ejected, and no wake tries to bring it back.
    void pullBravoOutDuringItsOwnEject(bool sleep) {
        const std::vector<std::string> disks = attachSticks();
        ScriptedBehaviour slow;
        slow.verb = "eject";
        slow.device = disks[1];
        slow.delayMilliseconds = 4000;
        slow.remainingUses = 1;
        addBehaviour(slow);
        startStore();
        std::unique_ptr<QProcess> tool;
        if (sleep) {
            tool = startPower("will-sleep");
        } else {
            store->perform(MenubarUtilityAction::Kind::ejectAll);
        }
        ASSERT_TRUE(test::processEventsUntil(
            [this] { return countFor("reliability.eject.drive.started", "Bravo") == 1; },
            stepWait));
        inventorytest::spinFor(1500);
        stateFile().update([&](SimulatedWorld& world) { return detachDevice(world, disks[1]); });
        ASSERT_TRUE(test::processEventsUntil(
            [this] { return !fixture.sink->named("reliability.eject.finished").empty(); },
            stepWait));
        if (tool) {
            EXPECT_EQ(answerOf(*tool).value("acknowledged", false), true);
        }

        const auto finished = fixture.sink->named("reliability.eject.finished")[0].metadata;
        EXPECT_EQ(finished.at("ejected_count"), "2");
        EXPECT_EQ(finished.at("still_busy_count"), "0");
        EXPECT_EQ(store->lastActionSummary(),
                  LastActionSummary{LastActionSummary::Result::ejected(2)});
        EXPECT_FALSE(store->pendingSleepFailureNotification());
        if (!sleep) {
            EXPECT_EQ(fixture.statusPresenter->presented.back(),
                      TransientActionStatus::result(TransientActionStatusAction::ejectAll, 2, 0,
                                                    std::nullopt, 1));
            return;
        }
        EXPECT_EQ(WakeRemountQueue::driveNames(store->wakeRemountQueue().targets()),
                  "Alpha, Charlie");
        wakeAndRemount();
        EXPECT_TRUE(isMounted("Alpha"));
        EXPECT_TRUE(isMounted("Charlie"));
        EXPECT_EQ(countFor("sleep.wake.remount.not_attached", "Bravo"), 0u);
        EXPECT_TRUE(store->wakeRemountQueue().empty());
    }

    // Alpha is parked at the wake (a new stick took its disk name) and is
    // plugged back in under another number some time after: it is mounted, and
    // the stick on its old name is left as it was.
    void bringAlphaBackLate(int afterMilliseconds) {
        const std::vector<std::string> disks = attachMountedSticks({"Alpha"});
        startStore(1, true);
        ASSERT_EQ(sendPower("will-sleep").value("acknowledged", false), true);
        std::string placeholder;
        stateFile().update([&](SimulatedWorld& world) {
            placeholder = attachPreset(world, SimulatedDrivePreset::usbStick, "Placeholder");
            return true;
        });
        ASSERT_EQ(placeholder, disks[0]);
        sendPower("has-powered-on");
        inventorytest::spinFor(afterMilliseconds);
        stateFile().update(
            [&](SimulatedWorld& world) { return replugDisk(world, disks[0], true).replugged; });

        // Mounted on the machine, and then taken off the queue once the mount is seen.
        ASSERT_TRUE(test::processEventsUntil(
            [this] { return isMounted("Alpha") && store->wakeRemountQueue().empty(); }, stepWait));
        EXPECT_TRUE(isMounted("Placeholder"));
        EXPECT_EQ(stateFile().read().findDisk(disks[0])->volumes.back().volumeName,
                  std::optional<std::string>("Placeholder"));
        EXPECT_EQ(countFor("sleep.wake.remount.drive.started", "Placeholder"), 0u);
    }

    std::size_t countFor(const char* event, const std::string& driveName) const {
        std::size_t count = 0;
        for (const auto& logged : fixture.sink->named(event)) {
            const auto it = logged.metadata.find("drive_name");
            count += it != logged.metadata.end() && it->second == driveName ? 1 : 0;
        }
        return count;
    }

    storetest::StoreFixture fixture;
    std::shared_ptr<SimulatedUserNotificationCenter> center =
        std::make_shared<SimulatedUserNotificationCenter>(
            UserNotificationAuthorizationStatus::authorized);
    std::shared_ptr<SimulatedSystemPowerManagement> power;
    std::unique_ptr<BerthkeepStore> store;

private:
    storetest::OpenFileHolder m_holder;
};

TEST_F(SleepWakeOnSimulatedMachine, AFullCycleRemountsTheDrivesAfterWake) {
    const std::vector<std::string> disks = attachSticks();
    const std::string charlie = stateFile().read().findDisk(disks[2])->volumes.back().bsdName;
    startStore();
    ASSERT_EQ(sendPower("can-sleep").value("allowed", false), true);

    const nlohmann::json slept = sendPower("will-sleep");
    EXPECT_EQ(slept.value("acknowledged", false), true) << slept.dump();
    EXPECT_TRUE(stateFile().read().disks.empty()) << "every stick ejected before sleep";
    EXPECT_EQ(store->wakeRemountQueue().targets().size(), 3u);
    // Charlie refuses every mount.
    ScriptedBehaviour refusal;
    refusal.verb = "mount";
    refusal.device = charlie;
    refusal.exitStatus = 1;
    refusal.standardError = "refused";
    addBehaviour(refusal);

    QElapsedTimer sinceWake;
    sinceWake.start();
    sendPower("has-powered-on");
    ASSERT_TRUE(test::processEventsUntil(
        [this] { return !fixture.sink->named("sleep.wake.remount.drive.started").empty(); },
        stepWait));
    EXPECT_GE(sinceWake.elapsed(), 1900);
    ASSERT_TRUE(test::processEventsUntil(
        [this] { return !fixture.sink->named("sleep.wake.remount.finished").empty(); }, stepWait));

    const SimulatedWorld after = stateFile().read();
    for (std::size_t index = 0; index < disks.size(); ++index) {
        const SimulatedDisk* disk = after.findDisk(disks[index]);
        ASSERT_NE(disk, nullptr);
        EXPECT_EQ(disk->volumes.back().mounted, index != 2) << disks[index];
    }
    EXPECT_EQ(countFor("sleep.wake.remount.drive.started", "Charlie"), 3u);
    EXPECT_EQ(fixture.sink->named("sleep.wake.remount.retrying").size(), 2u);
    const auto finished = fixture.sink->named("sleep.wake.remount.finished")[0].metadata;
    EXPECT_EQ(finished.at("succeeded_count"), "2");
    EXPECT_EQ(finished.at("failed_count"), "1");
    ASSERT_EQ(store->wakeRemountQueue().targets().size(), 1u);
    EXPECT_EQ(store->wakeRemountQueue().targets()[0].driveName, "Charlie");
}

// While the machine sleeps the bus hands the disks other numbers: Alpha and
// Bravo swap theirs, Charlie gets a new one, and a new stick takes the number
// Charlie left. Every stick the sleep took down comes back under the name it
// has now; the newcomer is left as it was.
TEST_F(SleepWakeOnSimulatedMachine, DrivesThatComeBackUnderOtherNumbersAreMountedAgain) {
    const std::vector<std::string> disks = attachSticks();
    startStore();
    ASSERT_EQ(sendPower("will-sleep").value("acknowledged", false), true);
    ASSERT_TRUE(stateFile().read().disks.empty());

    const auto renumber = [](SimulatedDisk& disk, const std::string& to) {
        for (SimulatedVolume& volume : disk.volumes) {
            volume.bsdName = to + volume.bsdName.substr(disk.bsdName.size());
        }
        disk.bsdName = to;
    };
    stateFile().update([&](SimulatedWorld& world) {
        for (SimulatedDisk& disk : world.parkedDisks) {
            const std::string was = disk.bsdName;
            renumber(disk, was == disks[0] ? disks[1] : was == disks[1] ? disks[0] : "disk9");
        }
        const std::string newcomer =
            attachPreset(world, SimulatedDrivePreset::usbStick, "Newcomer");
        SimulatedDisk* disk = world.findDisk(newcomer);
        renumber(*disk, disks[2]);
        markVolumeUnmounted(disk->volumes.back());
        return true;
    });
    wakeAndRemount();

    for (const char* name : {"Alpha", "Bravo", "Charlie"}) {
        EXPECT_TRUE(isMounted(name)) << name;
    }
    EXPECT_FALSE(isMounted("Newcomer")) << "a drive the program never took down";
    EXPECT_TRUE(fixture.sink->named("sleep.wake.remount.failed").empty());
    const auto finished = fixture.sink->named("sleep.wake.remount.finished").back().metadata;
    EXPECT_EQ(finished.at("succeeded_count"), "3");
    EXPECT_TRUE(store->wakeRemountQueue().empty());
}

// A volume the user excluded is never taken down: its disk's managed volume is
// unmounted alone for the sleep and mounted alone after the wake.
TEST_F(SleepWakeOnSimulatedMachine, AnExcludedVolumeStaysMountedThroughTheSleep) {
    stateFile().update([this](SimulatedWorld& world) {
        world.mountRoot = mountRoot();
        attachPreset(world, SimulatedDrivePreset::apfsDisk);
        return true;
    });
    startStore(2);
    const std::vector<DetectedDrive> shown = store->detectedDrives();
    const auto archive = std::find_if(shown.begin(), shown.end(),
                                      [](const DetectedDrive& d) { return d.name() == "Archive"; });
    ASSERT_NE(archive, shown.end());
    store->setExcluded(true, *archive);
    ASSERT_TRUE(test::processEventsUntil(
        [this] { return store->mountedManagedDriveIDs().size() == 1; }, stepWait));

    ASSERT_EQ(sendPower("will-sleep").value("acknowledged", false), true);
    EXPECT_FALSE(isMounted("Backup"));
    EXPECT_TRUE(isMounted("Archive"));
    EXPECT_TRUE(stateFile().read().parkedDisks.empty()) << "the disk was not ejected";

    wakeAndRemount();
    EXPECT_TRUE(isMounted("Backup"));
    EXPECT_TRUE(isMounted("Archive"));
    EXPECT_TRUE(store->wakeRemountQueue().empty());
}

TEST_F(SleepWakeOnSimulatedMachine, AHeldDriveStaysMountedAndIsReportedAfterWake) {
    runHeldDriveCycle(true);
}

TEST_F(SleepWakeOnSimulatedMachine, WithNotificationsOffTheHeldDriveNoticeIsKept) {
    runHeldDriveCycle(false);
}

// A second will-sleep while the first one's ejects still run: the first is
// answered at once, the second once the ejects have ended.
TEST_F(SleepWakeOnSimulatedMachine, ANewerWillSleepAnswersTheOlderAtOnce) {
    attachSticks();
    ScriptedBehaviour slow;
    slow.verb = "eject";
    slow.delayMilliseconds = 4000;
    addBehaviour(slow);
    startStore();

    const std::unique_ptr<QProcess> first = startPower("will-sleep");
    inventorytest::spinFor(2000);
    const std::unique_ptr<QProcess> second = startPower("will-sleep");
    const nlohmann::json firstAnswer = answerOf(*first);
    const nlohmann::json secondAnswer = answerOf(*second);
    for (const nlohmann::json& answer : {firstAnswer, secondAnswer}) {
        EXPECT_EQ(answer.value("acknowledged", false), true) << answer.dump();
        EXPECT_LT(answer.value("elapsed_ms", 999999), std::chrono::milliseconds(sleepHold).count())
            << "answered, not given up on" << answer.dump();
    }
    // Answered when the second arrived, not when the ejects ended: had it waited
    // for them, it would have taken the second's time and the 2 s between.
    EXPECT_LT(firstAnswer.value("elapsed_ms", 999999), secondAnswer.value("elapsed_ms", 0))
        << firstAnswer.dump() << secondAnswer.dump();
    const auto answered = fixture.sink->named("sleep.power_change.acknowledged");
    ASSERT_EQ(answered.size(), 2u);
    EXPECT_EQ(answered[0].metadata.at("reason"), "superseded");
    EXPECT_TRUE(stateFile().read().disks.empty()) << "every stick ejected before sleep";
}

TEST_F(SleepWakeOnSimulatedMachine, ADrivePulledOutDuringItsSleepEjectIsNotQueued) {
    pullBravoOutDuringItsOwnEject(true);
}

TEST_F(SleepWakeOnSimulatedMachine, ADrivePulledOutDuringItsEjectAllStepIsNotAttached) {
    pullBravoOutDuringItsOwnEject(false);
}

TEST_F(SleepWakeOnSimulatedMachine, ADriveBackThreeSecondsAfterTheWakeIsMounted) {
    bringAlphaBackLate(3000);
}

TEST_F(SleepWakeOnSimulatedMachine, ADriveBackTwelveSecondsAfterTheWakeIsMounted) {
    bringAlphaBackLate(12000);
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "../Inventory/InventoryTestSupport.hpp"
#include "Berthkeep/Usage/VolumeUsageCollector.hpp"
#include "BerthkeepRustBridge/RustDriveUsageProvider.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "StoreFixture.hpp"
#include "StoreOnSimulatedMachine.hpp"
#include "StoreTestSupport.hpp"
#include "platform/Power/SimulatedSystemPowerManagement.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

class BerthkeepStoreOnSimulatedMachine : public storetest::StoreOnSimulatedMachine {};

// The real inventory service and the real in-app core, on a machine with the
// internal disk and two USB sticks.
TEST_F(BerthkeepStoreOnSimulatedMachine, ListsBothAttachedDrivesAsSafe) {
    SimulatedWorld world;
    world.createMountDirectories = false;
    attachPreset(world, SimulatedDrivePreset::internalDisk);
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Travel_Stick"));
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Backup"));
    stateFile().write(world);

    storetest::StoreFixture fixture;
    // Snapshots run the stand-in tools on the thread pool.
    storetest::onSimulatedMachine(fixture, stateFile());
    const auto store = fixture.make();

    const auto expectBothSafe = [&store](const char* when) {
        SCOPED_TRACE(when);
        const MenubarViewState& state = store->currentState();
        EXPECT_EQ(state.globalState, GlobalSafetyState::safe());
        ASSERT_EQ(state.drives.size(), 2u);
        EXPECT_EQ(state.drives[0].name, "Backup");
        EXPECT_EQ(state.drives[1].name, "Travel Stick");
        for (const DriveRowState& row : state.drives) {
            EXPECT_EQ(row.status, DriveStatus::safe);
        }
        EXPECT_EQ(state.driveGroups.size(), 2u);
        EXPECT_TRUE(state.utilityActions[0].isEnabled);
    };
    expectBothSafe("after the launch-time bootstrap");
    ASSERT_EQ(fixture.transitions().size(), 1u);
    EXPECT_EQ(fixture.transitions()[0].metadata.at("from"),
              GlobalSafetyState::noManagedDrives().headerCopy());

    ASSERT_TRUE(test::processEventsUntil(
        [&store] { return store->hasCompletedInitialAsyncUsageRefresh(); }));
    expectBothSafe("after the first full refresh");
}

// Records what the store registers for.
class CountingWorkspaceCenter final : public WorkspaceNotificationCenter {
public:
    ObserverToken addObserver(WorkspaceNotificationName name, Observer) override {
        names.push_back(name);
        return names.size();
    }
    void removeObserver(ObserverToken) override {}
    std::vector<WorkspaceNotificationName> names;
};

TEST_F(BerthkeepStoreOnSimulatedMachine, WatchesVolumesAndPowerOnlyWhenAskedToObserve) {
    stateFile().write(SimulatedWorld{});
    for (const bool observe : {false, true}) {
        SCOPED_TRACE(observe);
        storetest::StoreFixture fixture;
        fixture.inventory->drives = {storetest::drive("a", "Alpha")};
        auto center = std::make_shared<CountingWorkspaceCenter>();
        fixture.workspace = center;
        fixture.powerManagement = std::make_shared<SimulatedSystemPowerManagement>(stateFile());
        fixture.observeWorkspace = observe;
        const auto store = fixture.make();

        EXPECT_EQ(center->names.size(), observe ? 4u : 0u);
        EXPECT_EQ(store->sleepWake().isRegisteredForSystemPower(), observe);
        // The rest of start-up does not depend on it.
        EXPECT_EQ(fixture.monitor->starts, 1);
        EXPECT_EQ(store->currentState().drives.size(), 1u);
    }
}

// Drives ignored before are looked at again after any disk event.
TEST_F(BerthkeepStoreOnSimulatedMachine, DiskEventEmptiesTheIgnoredCandidatesAndRefreshes) {
    SimulatedWorld world;
    world.createMountDirectories = false;
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Backup"));
    stateFile().write(world);

    storetest::StoreFixture fixture;
    const auto inventory = storetest::onSimulatedMachine(fixture, stateFile());
    // Disk events come from the fake monitor; snapshots run inline.
    fixture.monitor = std::make_shared<storetest::FakeMonitor>();
    fixture.executor = std::make_shared<InlineExecutor>();
    fixture.performInitialAsyncInventoryRefresh = false;
    fixture.performInitialDriveUsageRefresh = false;
    const auto store = fixture.make();
    test::processQueuedEvents();
    inventory->ignoredCandidateCache()->insert("disk9s1", "disk9");
    const auto results = fixture.sink->named("inventory.refresh.result").size();

    fixture.monitor->action();
    EXPECT_TRUE(inventory->ignoredCandidateCache()->ignoredIdentifiers().empty());
    EXPECT_TRUE(inventory->ignoredCandidateCache()->ignoredGroupIdentifiers().empty());
    fixture.clock->advance(InventoryRefreshCoordinator::diskArbitrationDebounce);
    ASSERT_TRUE(test::processEventsUntil(
        [&] { return fixture.sink->named("inventory.refresh.result").size() > results; }));
    EXPECT_EQ(store->detectedDrives().size(), 1u);
}

#ifdef BERTHKEEP_USAGE_CORE_LIBRARY_PATH
// End to end on live time: the real inventory, the built core library's activity
// monitor, and a child process that holds a file open under one drive's folder.
TEST_F(BerthkeepStoreOnSimulatedMachine, AFileHeldOpenMakesItsDriveBusyUntilItCloses) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    attachPreset(world, SimulatedDrivePreset::internalDisk);
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Archive"));
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Backup"));
    stateFile().write(world);
    QString archiveFolder;
    for (const SimulatedDisk& disk : world.disks) {
        for (const SimulatedVolume& volume : disk.volumes) {
            if (volume.volumeName == "Archive" && volume.mountPath) {
                archiveFolder = QString::fromStdString(*volume.mountPath);
            }
        }
    }
    ASSERT_TRUE(QDir(archiveFolder).exists());

    // Written before anything watches, and then only read: no file events, just
    // the open file itself.
    QFile file(archiveFolder + "/held.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("kept open by a child");
    file.close();
    QProcess holder;
    holder.start("/bin/sh", {"-c", "exec 3<\"$1/held.txt\"; exec sleep 60", "sh", archiveFolder});
    ASSERT_TRUE(holder.waitForStarted());

    storetest::StoreFixture fixture;
    QTemporaryDir support;
    const auto learning = std::make_shared<FileTargetedAssistLearningStore>(
        BerthkeepRuntimeIdentity::testBundleIdentifier, support.path().toStdString());
    const auto collector = std::make_shared<VolumeUsageCollector>(
        [learning]() -> std::shared_ptr<DriveUsageProviding> {
            return std::make_shared<RustDriveUsageProvider>(BERTHKEEP_USAGE_CORE_LIBRARY_PATH,
                                                            learning, [] { return true; });
        });
    storetest::onSimulatedMachine(fixture, stateFile());
    fixture.customUsage = collector;
    fixture.liveClock = true;
    const auto store = fixture.make();

    const auto row = [&store](const std::string& name) -> std::optional<DriveRowState> {
        for (const DriveRowState& candidate : store->currentState().drives) {
            if (candidate.name == name) {
                return candidate;
            }
        }
        return std::nullopt;
    };
    const auto status = [&row](const std::string& name) {
        const auto found = row(name);
        return found ? found->status : DriveStatus::connected;
    };
    ASSERT_TRUE(test::processEventsUntil(
        [&status] { return status("Archive") == DriveStatus::busy; }, 20s));
    EXPECT_EQ(status("Backup"), DriveStatus::safe);
    EXPECT_EQ(store->currentState().globalState, GlobalSafetyState::attention(1));
    const DriveRowState archive = *row("Archive");
    ASSERT_FALSE(archive.attentionReasonCodes.empty());
    EXPECT_EQ(archive.attentionReasonCodes[0], BerthkeepAttentionReasonCode::openFileUsage);
    EXPECT_TRUE(archive.attentionReasonCopy());
    EXPECT_EQ(store->currentUsagePollingInterval(), 3s);
    const auto completed = fixture.sink->named("inventory.usage_probe.completed");
    ASSERT_FALSE(completed.empty());
    EXPECT_NE(completed.back().metadata.at("usage_summary").find("Archive:open="),
              std::string::npos);

    // Polling first slept the idle interval (no evidence when it started); its
    // next sleep is the busy one.
    const auto lastTick = [&fixture] {
        const auto ticks = fixture.sink->named("inventory.usage_polling.tick_scheduled");
        return ticks.empty() ? std::string() : ticks.back().metadata.at("interval_seconds");
    };
    ASSERT_TRUE(test::processEventsUntil([&lastTick] { return lastTick() == "3"; }, 20s));

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished());
    const std::size_t probes = fixture.sink->named("inventory.usage_probe.completed").size();
    ASSERT_TRUE(
        test::processEventsUntil([&status] { return status("Archive") == DriveStatus::safe; }, 6s))
        << "the next poll, three seconds on, finds it safe";
    EXPECT_GT(fixture.sink->named("inventory.usage_probe.completed").size(), probes);
    EXPECT_EQ(store->currentState().globalState, GlobalSafetyState::safe());
    EXPECT_EQ(store->currentUsagePollingInterval(), 10s);
    EXPECT_EQ(lastTick(), "10");
}
#endif

} // namespace
} // namespace berthkeep

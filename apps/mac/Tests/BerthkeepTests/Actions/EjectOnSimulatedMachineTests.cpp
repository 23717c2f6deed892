#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <nlohmann/json.hpp>

#include "../Inventory/InventoryTestSupport.hpp"
#include "../Store/StoreFixture.hpp"
#include "Berthkeep/Actions/LiveEjectDiskUtilityRunner.hpp"
#include "Berthkeep/Actions/WorkspaceDriveEjector.hpp"
#include "Berthkeep/Actions/WorkspaceDriveRemounter.hpp"
#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeUnmounting.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

class EjectOnSimulatedMachine : public inventorytest::SimulatedMachineTest {
protected:
    void TearDown() override {
        if (m_holder.state() != QProcess::NotRunning) {
            m_holder.kill();
            m_holder.waitForFinished(5000);
        }
        inventorytest::SimulatedMachineTest::TearDown();
    }

    // A real process with a file open under the mount folder, as an editor would.
    void holdOpen(const std::string& mountPath) {
        const QString file = QString::fromStdString(mountPath + "/notes.txt");
        QFile(file).open(QIODevice::WriteOnly);
        m_holder.start("/bin/sh", {"-c", "exec 3<\"$1\"; echo ready; exec sleep 60", "sh", file});
        ASSERT_TRUE(m_holder.waitForReadyRead(5000));
    }

    // The real store over the real inventory and the stand-in tools, on the live clock.
    std::unique_ptr<BerthkeepStore> makeStore(storetest::StoreFixture& fixture) {
        fixture.executor = nullptr;
        const std::string diskutil = inventorytest::standInPath("diskutil");
        auto inventory = std::make_shared<MountedVolumeInventoryService>(
            std::make_shared<LiveDiskUtilityRunner>(diskutil, 5000ms, 250ms),
            std::make_shared<LiveDiskImageRegistry>(inventorytest::standInPath("hdiutil")),
            std::make_shared<LiveDiskArbitrationProvider>(
                std::make_shared<SimulatedDiskArbitration>(stateFile())),
            std::make_shared<SimulatedMountedVolumeListing>(stateFile()),
            stateFile().read().volumesFolder());
        auto ejector = std::make_shared<WorkspaceDriveEjector>(
            std::make_shared<LiveEjectDiskUtilityRunner>(diskutil),
            std::make_shared<SimulatedMountedVolumeUnmounting>(stateFile()));
        BerthkeepStore::Platform platform{fixture.launchAtLogin(), nullptr, nullptr, nullptr};
        return std::make_unique<BerthkeepStore>(
            inventory, nullptr, fixture.usage, ejector,
            std::make_shared<WorkspaceDriveRemounter>(diskutil),
            std::make_shared<SwiftBerthkeepCore>(), fixture.notifications, fixture.statusPresenter,
            std::make_shared<storetest::UnusedSleepRequester>(), fixture.promptPresenter,
            fixture.telemetry, BerthkeepLogger(fixture.sink), fixture.defaults, false, true, false,
            BerthkeepStore::Timing{}, platform);
    }

    QProcess m_holder;
};

TEST_F(EjectOnSimulatedMachine, EjectAllLeavesTheHeldDriveMountedAndSaysWhy) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    std::vector<std::string> disks;
    for (const char* name : {"Alpha", "Bravo", "Charlie"}) {
        disks.push_back(attachPreset(world, SimulatedDrivePreset::usbStick, std::string(name)));
    }
    stateFile().write(world);
    const std::string heldPath = *stateFile().read().findDisk(disks[1])->volumes.back().mountPath;
    holdOpen(heldPath);

    storetest::StoreFixture fixture;
    auto store = makeStore(fixture);
    // The launch refresh runs the stand-in tools on the thread pool.
    ASSERT_TRUE(test::processEventsUntil(
        [&store] { return store->hasCompletedInitialAsyncUsageRefresh(); }, 20s));
    ASSERT_EQ(store->mountedManagedDriveIDs().size(), 3u);

    test::runTask(store->actionCoordinator().runExplicitEject(
                      store->mountedManagedDriveIDs(), TriggerReason::manualEjectAll, *store),
                  30s);

    const TransientActionStatus expected{TransientActionStatusAction::ejectAll,
                                         "1 drive still in use", "2 drives ejected",
                                         TransientActionStatusTone::attention};
    ASSERT_FALSE(fixture.statusPresenter->presented.empty());
    EXPECT_EQ(fixture.statusPresenter->presented.back(), expected);
    const auto finished = fixture.sink->named("reliability.eject.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].metadata.at("ejected_count"), "2");
    EXPECT_EQ(finished[0].metadata.at("still_busy_count"), "1");
    const auto failed = fixture.sink->named("reliability.eject.drive.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].metadata.at("error").find("Bravo"), std::string::npos)
        << failed[0].metadata.at("error") << failed[0].metadata.at("error");
    const auto stored = fixture.defaults->dataForKey(BerthkeepStore::lastActionSummaryKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(
        nlohmann::json::parse(std::string(stored->begin(), stored->end())),
        nlohmann::json::parse(R"({"kind":"partialSuccess","ejectedCount":2,"stillBusyCount":1})"));

    const SimulatedWorld after = stateFile().read();
    ASSERT_EQ(after.disks.size(), 1u);
    EXPECT_EQ(after.disks[0].bsdName, disks[1]);
    EXPECT_TRUE(after.disks[0].volumes.back().mounted);
    EXPECT_EQ(after.parkedDisks.size(), 2u);
}

TEST_F(EjectOnSimulatedMachine, ReplugedDriveMountsFromTheStore) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    const std::string disk =
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Alpha"));
    ejectDisk(world, disk);
    replugDisk(world, disk, true);
    stateFile().write(world);

    storetest::StoreFixture fixture;
    auto store = makeStore(fixture);
    ASSERT_TRUE(test::processEventsUntil(
        [&store] { return store->hasCompletedInitialAsyncUsageRefresh(); }, 20s));
    ASSERT_EQ(store->detectedDrives().size(), 1u);
    ASSERT_FALSE(store->detectedDrives()[0].isMounted());

    test::runTask(store->mountDrive(store->detectedDrives()[0].id()), 20s);

    ASSERT_FALSE(fixture.statusPresenter->presented.empty());
    EXPECT_EQ(fixture.statusPresenter->presented.back().title, "1 drive mounted");
    const SimulatedWorld after = stateFile().read();
    ASSERT_EQ(after.disks.size(), 1u);
    EXPECT_TRUE(after.disks[0].volumes.back().mounted);
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "../Inventory/InventoryTestSupport.hpp"
#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "StoreFixture.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

class BerthkeepStoreOnSimulatedMachine : public inventorytest::SimulatedMachineTest {};

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
    fixture.executor = nullptr; // snapshots run the stand-in tools on the thread pool
    fixture.inventory = nullptr;
    auto inventory = std::make_shared<MountedVolumeInventoryService>(
        std::make_shared<LiveDiskUtilityRunner>(inventorytest::standInPath("diskutil"), 5000ms,
                                                250ms),
        std::make_shared<LiveDiskImageRegistry>(inventorytest::standInPath("hdiutil")),
        std::make_shared<LiveDiskArbitrationProvider>(
            std::make_shared<SimulatedDiskArbitration>(stateFile())),
        std::make_shared<SimulatedMountedVolumeListing>(stateFile()), world.volumesFolder());
    BerthkeepStore::Platform platform{fixture.launchAtLogin(), fixture.clock, nullptr};
    BerthkeepStore store(
        inventory, nullptr, fixture.usage, std::make_shared<storetest::UnusedEjector>(),
        std::make_shared<storetest::UnusedRemounter>(), std::make_shared<SwiftBerthkeepCore>(),
        fixture.notifications, fixture.statusPresenter,
        std::make_shared<storetest::UnusedSleepRequester>(), fixture.promptPresenter,
        fixture.telemetry, BerthkeepLogger(fixture.sink), fixture.defaults, true, true, true,
        BerthkeepStore::Timing{}, platform);

    const auto expectBothSafe = [&store](const char* when) {
        SCOPED_TRACE(when);
        const MenubarViewState& state = store.currentState();
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
        [&store] { return store.hasCompletedInitialAsyncUsageRefresh(); }));
    expectBothSafe("after the first full refresh");
}

} // namespace
} // namespace berthkeep

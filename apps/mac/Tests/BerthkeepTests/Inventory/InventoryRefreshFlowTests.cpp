#include "InventoryServiceTestSupport.hpp"
#include "InventoryTestSupport.hpp"

#include <chrono>

#include "Berthkeep/Inventory/InventoryRefreshCoordinator.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/LiveDriveInventoryMonitor.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

struct Flow {
    std::vector<SteadyClock::time_point> changes;
    std::vector<SteadyClock::time_point> refreshesStarted;
    std::vector<std::vector<DetectedDrive>> results;
};

QCoro::Task<void> refreshInventory(std::shared_ptr<MountedVolumeInventoryService> inventory,
                                   std::shared_ptr<Flow> flow) {
    flow->refreshesStarted.push_back(SteadyClock::now());
    auto work = [inventory] {
        return inventory->snapshot(
            {}, DriveInventoryAuditContext{ActivityDetectionMode::enhanced,
                                           BerthkeepAuditWorkPhase::backgroundWork,
                                           DriveInventoryRefreshStage::reconcile});
    };
    auto drives = co_await runDetached(work);
    flow->results.push_back(std::move(drives));
}

// The way the store wires them: a disk event empties the ignored-candidate
// cache and asks the coordinator for a refresh, which runs a detailed snapshot
// off the main thread.
class InventoryRefreshFlowTest : public inventorytest::SimulatedMachineTest {};

TEST_F(InventoryRefreshFlowTest, AttachingADiskRefreshesOnceTheDebounceHasPassed) {
    SimulatedWorld world = makeSampleWorld("/Volumes", false);
    stateFile().write(world);
    auto diskArbitration = std::make_shared<LiveDiskArbitrationProvider>(
        std::make_shared<SimulatedDiskArbitration>(stateFile(), 100ms));
    auto inventory = std::make_shared<MountedVolumeInventoryService>(
        std::make_shared<LiveDiskUtilityRunner>(inventorytest::standInPath("diskutil"),
                                                inventorytest::answeringCallTimeout),
        std::make_shared<LiveDiskImageRegistry>(inventorytest::standInPath("hdiutil"),
                                                inventorytest::answeringCallTimeout),
        diskArbitration, std::make_shared<SimulatedMountedVolumeListing>(stateFile()),
        world.volumesFolder());
    InventoryRefreshCoordinator coordinator;
    auto sink = std::make_shared<inventorytest::CapturingLogSink>();
    const BerthkeepLogger logger(sink);
    auto flow = std::make_shared<Flow>();

    LiveDriveInventoryMonitor monitor(diskArbitration);
    monitor.start([&] {
        flow->changes.push_back(SteadyClock::now());
        inventory->ignoredCandidateCache()->removeAll();
        coordinator.schedule(InventoryRefreshCoordinator::diskArbitrationChangeReason, logger,
                             [inventory, flow] { return refreshInventory(inventory, flow); });
    });
    // Each refresh starts the stand-in tools several times: slow on a loaded machine.
    const int refreshWaitMs = 30000;
    ASSERT_TRUE(inventorytest::spinUntil(
        [&] { return !flow->results.empty() && !coordinator.hasScheduledTask(); }, refreshWaitMs));
    ASSERT_EQ(flow->results.back().size(), 1u) << "the USB stick";

    const std::size_t changesBefore = flow->changes.size();
    const std::size_t refreshesBefore = flow->refreshesStarted.size();
    stateFile().update([](SimulatedWorld& machine) {
        attachPreset(machine, SimulatedDrivePreset::apfsDisk, std::string("Disk 9"));
        return true;
    });
    ASSERT_TRUE(inventorytest::spinUntil(
        [&] { return flow->results.back().size() == 3u && !coordinator.hasScheduledTask(); },
        refreshWaitMs));
    monitor.stop();

    ASSERT_GT(flow->changes.size(), changesBefore);
    ASSERT_GT(flow->refreshesStarted.size(), refreshesBefore);
    EXPECT_GE(flow->refreshesStarted[refreshesBefore] - flow->changes[changesBefore], 240ms)
        << "the refresh waited for the disks to settle";
    const auto& drives = flow->results.back();
    EXPECT_EQ(drives[0].name(), "Archive");
    EXPECT_EQ(drives[1].name(), "Disk 9");
    EXPECT_EQ(drives[2].name(), "USB STICK");
    EXPECT_EQ(drives[0].ejectGroupID(), drives[1].ejectGroupID()) << "one SSD, one group";
}

} // namespace
} // namespace berthkeep

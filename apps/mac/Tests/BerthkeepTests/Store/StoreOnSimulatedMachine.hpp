#pragma once

#include <chrono>
#include <memory>

#include "../Inventory/InventoryTestSupport.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"

namespace berthkeep::storetest {

// A simulated machine of its own, for a store over the real inventory.
class StoreOnSimulatedMachine : public inventorytest::SimulatedMachineTest {
protected:
    // The real inventory service over the stand-in disk tools and this machine.
    std::shared_ptr<MountedVolumeInventoryService> liveInventory(const SimulatedWorld& world) {
        using namespace std::chrono_literals;
        return std::make_shared<MountedVolumeInventoryService>(
            std::make_shared<LiveDiskUtilityRunner>(inventorytest::standInPath("diskutil"), 5000ms,
                                                    250ms),
            std::make_shared<LiveDiskImageRegistry>(inventorytest::standInPath("hdiutil")),
            std::make_shared<LiveDiskArbitrationProvider>(
                std::make_shared<SimulatedDiskArbitration>(stateFile())),
            std::make_shared<SimulatedMountedVolumeListing>(stateFile()), world.volumesFolder());
    }
};

} // namespace berthkeep::storetest

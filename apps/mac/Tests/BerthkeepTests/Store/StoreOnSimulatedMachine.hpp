#pragma once

#include <chrono>
#include <memory>

#include "../Inventory/InventoryTestSupport.hpp"
#include "SimulatedMachineStoreSupport.hpp"

namespace berthkeep::storetest {

// A simulated machine of its own, for a store over the real inventory.
class StoreOnSimulatedMachine : public inventorytest::SimulatedMachineTest {
protected:
    // The real inventory service over the stand-in disk tools and this machine.
    std::shared_ptr<MountedVolumeInventoryService> liveInventory(const SimulatedWorld&) {
        return simulatedMachineInventory(stateFile());
    }
};

} // namespace berthkeep::storetest

#pragma once

#include "../Inventory/InventoryTestSupport.hpp"
#include "SimulatedMachineStoreSupport.hpp"

namespace berthkeep::storetest {

// A simulated machine of its own, for a store over the real inventory
// (onSimulatedMachine).
class StoreOnSimulatedMachine : public inventorytest::SimulatedMachineTest {};

} // namespace berthkeep::storetest

#include "Berthkeep/Inventory/DetectedDrive+Sorting.hpp"

#include "BerthkeepShared/NaturalNameOrder.hpp"

namespace berthkeep {

std::vector<DetectedDrive> sortedByLocalizedDriveName(std::vector<DetectedDrive> drives) {
    // Snapshots sort on worker threads: each sort has its own order.
    return NaturalNameOrder().sorted(
        std::move(drives),
        [](const DetectedDrive& drive) -> const std::string& { return drive.name(); });
}

} // namespace berthkeep

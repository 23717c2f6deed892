#pragma once

#include <cstddef>

namespace berthkeep {

// The inventory counts last sent as "drive_inventory_seen"; an equal signature
// is not sent again.
struct InventoryTelemetrySignature {
    std::size_t visibleCount = 0;
    std::size_t managedCount = 0;
    std::size_t excludedCount = 0;
    std::size_t mountedCount = 0;

    bool operator==(const InventoryTelemetrySignature&) const = default;
};

} // namespace berthkeep

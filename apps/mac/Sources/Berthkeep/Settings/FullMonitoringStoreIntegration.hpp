#pragma once

#include <map>
#include <string>

#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"

namespace berthkeep {

// What the Full Monitoring coordinator asks of the store. The store's own
// implementation holds the store weakly and loads it anew at every call: each
// operation does nothing once the store is gone. Main thread only.
class FullMonitoringStoreIntegration {
public:
    virtual ~FullMonitoringStoreIntegration() = default;

    // Starts, restarts or stops the periodic usage probe for the current mode.
    virtual void manageUsagePolling() = 0;
    // Rebuilds and publishes the menu state with the store's own core.
    virtual void rebuildCurrentState() = 0;
    // Replaces the usage evidence; an empty map clears it.
    virtual void
    applyUsageSnapshots(const std::map<std::string, DriveUsageSnapshot>& snapshots) = 0;
    // Starts a main-thread task that refreshes the inventory in the current mode
    // and then probes drive usage; returns at once.
    virtual void scheduleInventoryAndUsageRefresh() = 0;
};

} // namespace berthkeep

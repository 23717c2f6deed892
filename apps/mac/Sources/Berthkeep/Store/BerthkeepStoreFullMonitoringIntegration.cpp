#include "Berthkeep/Store/BerthkeepStoreFullMonitoringIntegration.hpp"

#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {

void BerthkeepStoreFullMonitoringIntegration::manageUsagePolling() {
    if (m_store) {
        m_store->manageUsagePolling();
    }
}

void BerthkeepStoreFullMonitoringIntegration::rebuildCurrentState() {
    if (m_store) {
        m_store->rebuildCurrentState();
    }
}

void BerthkeepStoreFullMonitoringIntegration::applyUsageSnapshots(
    const std::map<std::string, DriveUsageSnapshot>& snapshots) {
    if (m_store) {
        m_store->applyUsageSnapshots(snapshots);
    }
}

void BerthkeepStoreFullMonitoringIntegration::scheduleInventoryAndUsageRefresh() {
    startMainActorTask([store = m_store] { return refreshInventoryAndUsage(store); },
                       "full monitoring refresh");
}

QCoro::Task<void>
BerthkeepStoreFullMonitoringIntegration::refreshInventoryAndUsage(QPointer<BerthkeepStore> store) {
    if (!store) {
        co_return;
    }
    co_await store->refreshInventoryNow();
    if (!store) {
        co_return;
    }
    co_await store->refreshDriveUsageNow();
}

} // namespace berthkeep

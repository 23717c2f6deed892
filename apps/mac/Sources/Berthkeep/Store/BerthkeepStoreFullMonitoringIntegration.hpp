#pragma once

#include <QPointer>

#include <QCoroTask>

#include "Berthkeep/Settings/FullMonitoringStoreIntegration.hpp"

namespace berthkeep {

class BerthkeepStore;

// The store's side of the Full Monitoring coordinator's requests. Holds the
// store weakly: empty until the store points it at itself, and every call does
// nothing once the store is gone.
class BerthkeepStoreFullMonitoringIntegration final : public FullMonitoringStoreIntegration {
public:
    void attach(BerthkeepStore* store) { m_store = store; }

    void manageUsagePolling() override;
    void rebuildCurrentState() override;
    void applyUsageSnapshots(const std::map<std::string, DriveUsageSnapshot>& snapshots) override;
    void scheduleInventoryAndUsageRefresh() override;

private:
    static QCoro::Task<void> refreshInventoryAndUsage(QPointer<BerthkeepStore> store);

    QPointer<BerthkeepStore> m_store;
};

} // namespace berthkeep

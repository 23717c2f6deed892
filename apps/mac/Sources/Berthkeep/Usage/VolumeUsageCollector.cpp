#include "Berthkeep/Usage/VolumeUsageCollector.hpp"

#include <mutex>
#include <set>

#include "Berthkeep/Drive/UnavailableDriveUsageProvider.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep {

// Owns the usage source: made by the factory on the first resolve() and kept for
// the box's life, a failed (unavailable) one included. The lock is held while the
// factory runs, so a second caller waits instead of loading the library twice.
class LazyDriveUsageProviderBox {
public:
    explicit LazyDriveUsageProviderBox(VolumeUsageCollector::ProviderFactory factory)
        : m_providerFactory(std::move(factory)) {}

    std::shared_ptr<DriveUsageProviding> resolve() {
        std::lock_guard guard(m_lock);
        if (!m_provider) {
            auto provider = m_providerFactory ? m_providerFactory() : nullptr;
            if (!provider) {
                provider = std::make_shared<UnavailableDriveUsageProvider>(
                    std::make_exception_ptr(BerthkeepRustBridgeUnavailableError()));
            }
            m_provider = std::move(provider);
        }
        return m_provider;
    }

private:
    VolumeUsageCollector::ProviderFactory m_providerFactory;
    std::mutex m_lock;
    std::shared_ptr<DriveUsageProviding> m_provider;
};

VolumeUsageCollector::VolumeUsageCollector(ProviderFactory providerFactory)
    : m_providerBox(std::make_shared<LazyDriveUsageProviderBox>(std::move(providerFactory))) {}

VolumeUsageCollector::ProviderFactory VolumeUsageCollector::defaultProviderFactory() {
    // Before the bridge bootstrap has run, the registry gives its unavailable
    // source; a registered maker that yields null is turned into one by the box.
    return [] {
        return BerthkeepRustBridgeRegistry::makeDriveUsageProvider();
    };
}

std::map<std::string, DriveUsageSnapshot>
VolumeUsageCollector::snapshot(const std::vector<DetectedDrive>& drives,
                               ActivityDetectionMode mode) {
    if (mode == ActivityDetectionMode::coreOnly) {
        BerthkeepStartupAudit::coreOnlyViolation(
            "VolumeUsageCollector", "snapshot", BerthkeepAuditWorkPhase::initialRefresh,
            "Attempted to start drive usage collection while activity detection is disabled",
            std::nullopt);
        return {};
    }

    const auto provider = m_providerBox->resolve();

    std::vector<DetectedDrive> monitored;
    std::set<std::string> monitoredIDs;
    for (const auto& drive : drives) {
        if (drive.scope() == DetectedDrive::Scope::managed && drive.mountURL().has_value()) {
            monitored.push_back(drive);
            monitoredIDs.insert(drive.id());
        }
    }

    provider->updateManagedVolumes(monitored, mode);
    auto snapshots = provider->usageSnapshotsByDriveID();
    std::erase_if(snapshots, [&monitoredIDs](const auto& entry) {
        return monitoredIDs.count(entry.first) == 0;
    });
    return snapshots;
}

} // namespace berthkeep

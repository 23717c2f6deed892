#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <exception>

#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"
#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {

namespace {

QCoro::Task<void> runScheduledRefresh(QPointer<BerthkeepStore> store) {
    if (store) {
        co_await store->refreshInventoryNow();
    }
}

} // namespace

std::vector<DetectedDrive>
BerthkeepStore::inventorySnapshot(DriveInventoryProviding& provider,
                                  const std::set<std::string>& excludedDriveIDs,
                                  ActivityDetectionMode mode, BerthkeepAuditWorkPhase phase,
                                  DriveInventoryRefreshStage stage, bool allowMountedVolumeAccess) {
    if (auto* contextual = dynamic_cast<ContextualDriveInventoryProviding*>(&provider)) {
        return contextual->snapshot(excludedDriveIDs,
                                    DriveInventoryAuditContext{mode, phase, stage});
    }
    return provider.snapshot(excludedDriveIDs, allowMountedVolumeAccess);
}

void BerthkeepStore::refreshInventorySynchronously() {
    constexpr auto mode = ActivityDetectionMode::coreOnly;
    constexpr auto phase = BerthkeepAuditWorkPhase::appLaunch;
    audit("refreshInventorySynchronously", mode, phase,
          "Starting lightweight launch-time inventory bootstrap");
    auto drives = inventorySnapshot(*m_inventoryProvider, excludedDriveIDs(), mode, phase,
                                    DriveInventoryRefreshStage::bootstrap, false);
    const std::size_t count = drives.size();
    applyInventorySnapshot(std::move(drives), {});
    audit("refreshInventorySynchronously", mode, phase,
          "Finished lightweight launch-time inventory bootstrap",
          {{"drive_count", std::to_string(count)}});
}

QCoro::Task<std::vector<DetectedDrive>> BerthkeepStore::refreshInventoryNow() {
    const QPointer<BerthkeepStore> self(this);
    const std::uint64_t requestID = ++m_latestInventoryRefreshRequestID;
    const ActivityDetectionMode mode =
        m_fullMonitoringCoordinator->effectiveActivityDetectionMode();
    const bool allowAccess = m_fullMonitoringCoordinator->isFullMonitoringActive();
    constexpr auto phase = BerthkeepAuditWorkPhase::backgroundWork;
    audit("refreshInventoryNow", mode, phase, "Starting async inventory refresh");

    auto work = [provider = m_inventoryProvider, excluded = excludedDriveIDs(), mode, allowAccess] {
        return inventorySnapshot(*provider, excluded, mode, phase,
                                 DriveInventoryRefreshStage::reconcile, allowAccess);
    };
    const auto executor = m_platform.executor;
    std::vector<DetectedDrive> drives = co_await runDetached(work, executor);
    if (!self) {
        co_return drives;
    }
    if (requestID != m_latestInventoryRefreshRequestID) {
        co_return m_detectedDrives;
    }
    applyInventorySnapshot(drives, m_driveUsageSnapshotsByDriveID);
    audit("refreshInventoryNow", mode, phase, "Finished async inventory refresh",
          {{"drive_count", std::to_string(drives.size())}});
    if (allowAccess && mode != ActivityDetectionMode::coreOnly) {
        co_await refreshDriveUsageNow();
    }
    co_return drives;
}

void BerthkeepStore::applyInventorySnapshot(
    std::vector<DetectedDrive> drives, std::map<std::string, DriveUsageSnapshot> usageSnapshots) {
    emit objectWillChange();
    m_detectedDrives = std::move(drives);
    emit detectedDrivesChanged();

    std::set<std::string> managedIDs;
    for (const DetectedDrive& drive : managedDrives()) {
        managedIDs.insert(drive.id());
    }
    std::erase_if(m_attentionDriveIDs, [&](const auto& id) { return !managedIDs.contains(id); });
    // Eject All keeps its whole working set while its drives disappear one by one.
    const bool ejectAllRunning =
        m_activeAttemptID && m_lastObservedTrigger == TriggerReason::manualEjectAll;
    if (!ejectAllRunning) {
        std::erase_if(m_workingDriveIDs, [&](const auto& id) { return !managedIDs.contains(id); });
    }
    std::erase_if(usageSnapshots,
                  [&](const auto& entry) { return !managedIDs.contains(entry.first); });
    m_driveUsageSnapshotsByDriveID = std::move(usageSnapshots);

    manageUsagePolling();
    const auto excludedCount = m_detectedDrives.size() - managedIDs.size();
    m_logger.debug(BerthkeepLogCategory::inventory, "inventory.refresh.result",
                   "Drive inventory refreshed",
                   {{"visible_drive_count", std::to_string(m_detectedDrives.size())},
                    {"managed_drive_count", std::to_string(managedIDs.size())},
                    {"excluded_drive_count", std::to_string(excludedCount)}});
    rebuildCurrentState();
}

void BerthkeepStore::scheduleInventoryRefresh(const std::string& reason) {
    m_inventoryRefreshCoordinator->schedule(
        reason, m_logger,
        [store = QPointer<BerthkeepStore>(this)] { return runScheduledRefresh(store); });
}

QCoro::Task<bool> BerthkeepStore::refreshDriveUsageNow() {
    const QPointer<BerthkeepStore> self(this);
    if (!m_fullMonitoringCoordinator->wantsFullMonitoring()) {
        m_fullMonitoringCoordinator->setCapability(FullMonitoringCapability::unknown());
        applyUsageSnapshots({});
        co_return true;
    }
    const ActivityDetectionMode mode =
        m_fullMonitoringCoordinator->effectiveActivityDetectionMode();
    if (mountedManagedDrives().empty() || mode == ActivityDetectionMode::coreOnly) {
        applyUsageSnapshots({});
        m_hasCompletedInitialAsyncUsageRefresh = true;
        co_return true;
    }
    if (m_isRefreshingDriveUsage) {
        m_pendingDriveUsageRefresh = true;
        co_return false;
    }

    m_isRefreshingDriveUsage = true;
    const std::uint64_t requestID = ++m_latestUsageRefreshRequestID;
    const auto previous = m_driveUsageSnapshotsByDriveID;
    auto work = [collector = m_usageCollector, drives = m_detectedDrives, mode]() {
        std::map<std::string, DriveUsageSnapshot> snapshots;
        std::exception_ptr error;
        try {
            snapshots = collector->snapshot(drives, mode);
        } catch (...) {
            error = std::current_exception();
        }
        return std::make_pair(std::move(snapshots), error);
    };
    const auto executor = m_platform.executor;
    auto [snapshots, error] = co_await runDetached(work, executor);
    if (!self) {
        co_return false;
    }

    const bool current = requestID == m_latestUsageRefreshRequestID;
    if (current) {
        m_hasCompletedInitialAsyncUsageRefresh = true;
        if (!error) {
            m_fullMonitoringCoordinator->setCapability(FullMonitoringCapability::available());
            applyUsageSnapshots(std::move(snapshots));
        } else {
            const std::string description = RustBerthkeepCore::errorText(error);
            m_fullMonitoringCoordinator->setCapability(
                BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(error) ==
                        BerthkeepRustDriveUsageFailureKind::unavailable
                    ? FullMonitoringCapability::unavailable(description)
                    : FullMonitoringCapability::setupRequired());
            m_logger.error(BerthkeepLogCategory::inventory, "inventory.usage_probe.failed",
                           "Drive usage probe failed", {{"error", description}});
            applyUsageSnapshots(previous);
        }
    }
    m_isRefreshingDriveUsage = false;
    if (m_pendingDriveUsageRefresh) {
        m_pendingDriveUsageRefresh = false;
        startMainActorTask([self] { return runDriveUsageRefresh(self); }, "store usage refresh");
    }
    co_return current;
}

QCoro::Task<void> BerthkeepStore::runDriveUsageRefresh(QPointer<BerthkeepStore> store) {
    if (store) {
        co_await store->refreshDriveUsageNow();
    }
}

void BerthkeepStore::applyUsageSnapshots(std::map<std::string, DriveUsageSnapshot> snapshots) {
    std::set<std::string> managedIDs;
    for (const DetectedDrive& drive : managedDrives()) {
        managedIDs.insert(drive.id());
    }
    std::erase_if(snapshots, [&](const auto& entry) { return !managedIDs.contains(entry.first); });
    m_driveUsageSnapshotsByDriveID = std::move(snapshots);
    manageUsagePolling();
    rebuildCurrentState();
}

void BerthkeepStore::manageUsagePolling() {
    const ActivityDetectionMode mode =
        m_fullMonitoringCoordinator->effectiveActivityDetectionMode();
    const bool active = m_fullMonitoringCoordinator->isFullMonitoringActive();
    const auto managedCount = std::to_string(managedDrives().size());
    const auto mountedCount = std::to_string(mountedManagedDrives().size());

    UsagePollingDecision decision;
    decision.isEnabled =
        active && mode != ActivityDetectionMode::coreOnly && !mountedManagedDrives().empty();
    decision.mode = mode;
    decision.intervalSeconds = std::to_string(
        std::chrono::duration_cast<std::chrono::seconds>(m_timing.usagePollingInterval).count());
    decision.metadata = {{"full_monitoring_active", telemetryText(active)},
                         {"activity_detection_mode", toString(mode)},
                         {"managed_drive_count", managedCount},
                         {"mounted_managed_drive_count", mountedCount}};

    const QPointer<BerthkeepStore> self(this);
    m_usagePollingCoordinator->sync(
        m_logger, decision,
        [self]() -> Duration {
            return self ? self->currentUsagePollingInterval() : Timing{}.usagePollingInterval;
        },
        [self](Duration interval) -> BerthkeepLogMetadata {
            if (!self) {
                return {};
            }
            return {{"interval_seconds",
                     std::to_string(
                         std::chrono::duration_cast<std::chrono::seconds>(interval).count())},
                    {"managed_drive_count", std::to_string(self->managedDrives().size())},
                    {"mounted_managed_drive_count",
                     std::to_string(self->mountedManagedDrives().size())}};
        },
        [self]() -> BerthkeepLogMetadata {
            if (!self) {
                return {};
            }
            return {{"managed_drive_count", std::to_string(self->managedDrives().size())},
                    {"mounted_managed_drive_count",
                     std::to_string(self->mountedManagedDrives().size())},
                    {"full_monitoring_capability", FullMonitoringCoordinator::telemetryDescription(
                                                       self->fullMonitoringCapability())}};
        },
        [self]() { return runDriveUsageRefresh(self); });
}

BerthkeepStore::Duration BerthkeepStore::currentUsagePollingInterval() const {
    // Slow down only when there is evidence and all of it says idle.
    const auto mounted = mountedManagedDrives();
    if (mounted.empty() || m_driveUsageSnapshotsByDriveID.empty()) {
        return m_timing.usagePollingInterval;
    }
    for (const DetectedDrive& drive : mounted) {
        const auto usage = m_driveUsageSnapshotsByDriveID.find(drive.id());
        if (usage != m_driveUsageSnapshotsByDriveID.end() && usage->second.isBusy) {
            return m_timing.usagePollingInterval;
        }
    }
    return m_timing.idleUsagePollingInterval;
}

} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <QUuid>

#include <algorithm>
#include <exception>
#include <utility>

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/SharedTask.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"

namespace berthkeep {

namespace {

constexpr auto kRefreshPhase = BerthkeepAuditWorkPhase::backgroundWork;

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

InventoryRefreshRequestContext BerthkeepStore::currentInventoryRefreshRequestContext() const {
    return InventoryRefreshRequestContext{
        excludedDriveIDs(), m_fullMonitoringCoordinator->isFullMonitoringActive(),
        m_fullMonitoringCoordinator->effectiveActivityDetectionMode()};
}

QCoro::Task<std::vector<DetectedDrive>> BerthkeepStore::refreshInventoryNow() {
    const QPointer<BerthkeepStore> self(this);
    for (;;) {
        const InventoryRefreshRequestContext context = currentInventoryRefreshRequestContext();
        if (m_activeInventoryRefresh) {
            // A copy: the running task clears the slot when it ends.
            const SharedTask<std::vector<DetectedDrive>> running = m_activeInventoryRefresh->task;
            if (m_activeInventoryRefresh->context == context) {
                audit("refreshInventoryNow", context.activityDetectionMode, kRefreshPhase,
                      "Joined in-flight async inventory refresh");
                co_return co_await running;
            }
            audit("refreshInventoryNow", context.activityDetectionMode, kRefreshPhase,
                  "Waiting for incompatible in-flight async inventory refresh");
            co_await running;
            if (!self) {
                co_return std::vector<DetectedDrive>{};
            }
            continue; // a fresh context, a fresh look at the slot
        }

        const std::string id =
            QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
        // Queued, so the slot is filled before the refresh can run (and end).
        auto task = startMainActorTask(
            [self, id, context] { return runInventoryRefresh(self, id, context); },
            "inventory refresh");
        m_activeInventoryRefresh = ActiveInventoryRefresh{id, context, task};
        co_return co_await task;
    }
}

QCoro::Task<std::vector<DetectedDrive>>
BerthkeepStore::runInventoryRefresh(QPointer<BerthkeepStore> store, std::string id,
                                    InventoryRefreshRequestContext context) {
    if (!store) {
        co_return std::vector<DetectedDrive>{};
    }
    std::vector<DetectedDrive> drives;
    std::exception_ptr failure;
    try {
        drives = co_await store->performInventoryRefreshNow(context);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!store) {
        co_return drives;
    }
    // On every road: a slot left holding a failed task would hand its error
    // to every later refresh without asking the provider again.
    if (store->m_activeInventoryRefresh && store->m_activeInventoryRefresh->id == id) {
        store->m_activeInventoryRefresh.reset();
    }
    if (failure) {
        store->m_logger.error(BerthkeepLogCategory::inventory, "inventory.refresh.failed",
                              "Drive inventory refresh failed; keeping the drives as they were",
                              {{"error", DriveOperationError::describe(failure)}});
        drives = store->m_detectedDrives;
    }
    co_return drives;
}

QCoro::Task<std::vector<DetectedDrive>>
BerthkeepStore::performInventoryRefreshNow(InventoryRefreshRequestContext context) {
    const QPointer<BerthkeepStore> self(this);
    const std::uint64_t requestID = ++m_latestInventoryRefreshRequestID;
    wakeRemountQueue().snapshotBegun(requestID);
    const ActivityDetectionMode mode = context.activityDetectionMode;
    audit("refreshInventoryNow", mode, kRefreshPhase, "Starting async inventory refresh");

    auto work = [provider = m_inventoryProvider, context] {
        return inventorySnapshot(*provider, context.excludedDriveIDs, context.activityDetectionMode,
                                 kRefreshPhase, DriveInventoryRefreshStage::reconcile,
                                 context.allowMountedVolumeAccess);
    };
    const auto executor = m_platform.executor;
    std::vector<DetectedDrive> drives = co_await runDetached(work, executor);
    if (!self) {
        co_return drives;
    }
    if (requestID != m_latestInventoryRefreshRequestID) {
        // A copy: co_return of a member may move from it.
        std::vector<DetectedDrive> current = m_detectedDrives;
        co_return current;
    }
    applyInventorySnapshot(drives, m_driveUsageSnapshotsByDriveID);
    // A queued drive that is up, whoever mounted it, has nothing left to come back.
    const std::vector<RemountTarget> up = wakeRemountQueue().takeMounted(drives, requestID);
    if (!up.empty()) {
        m_logger.notice(BerthkeepLogCategory::reliability, "sleep.wake.remount.dequeued",
                        "Took mounted drives off the wake remount queue",
                        {{"reason", "mounted"},
                         {"drive_names", WakeRemountQueue::driveNames(up)},
                         {"pending_retry_count", std::to_string(wakeRemountQueue().size())}});
    }
    audit("refreshInventoryNow", mode, kRefreshPhase, "Finished async inventory refresh",
          {{"drive_count", std::to_string(drives.size())}});
    if (context.allowMountedVolumeAccess && mode != ActivityDetectionMode::coreOnly) {
        if (isSleepHeld() || m_ejectAttempt.isRunning()) {
            // An eject reads the disks after every drive: a slow probe must not
            // eat the time the hold leaves the ejects.
            SharedTask<bool> probe(refreshDriveUsageNow());
        } else {
            co_await refreshDriveUsageNow();
        }
    }
    co_return drives;
}

void BerthkeepStore::refreshInventory() {
    startMainActorTask(
        [store = QPointer<BerthkeepStore>(this)] { return runScheduledRefresh(store); },
        "store inventory refresh");
}

std::set<std::string> BerthkeepStore::managedDriveIDs() const {
    std::set<std::string> ids;
    for (const DetectedDrive& drive : m_detectedDrives) {
        if (drive.scope() == DetectedDrive::Scope::managed) {
            ids.insert(drive.id());
        }
    }
    return ids;
}

void BerthkeepStore::applyInventorySnapshot(
    std::vector<DetectedDrive> drives, std::map<std::string, DriveUsageSnapshot> usageSnapshots) {
    emit objectWillChange();
    const std::vector<DetectedDrive> before = std::exchange(m_detectedDrives, std::move(drives));

    const std::set<std::string> managedIDs = managedDriveIDs();
    // Eject All keeps its whole working set while its drives disappear one by
    // one. A drive that was only excluded is still being worked on: its id stays
    // until the action that added it ends, or a second eject could start.
    const bool ejectAllRunning =
        m_ejectAttempt.activeAttemptID() && m_lastObservedTrigger == TriggerReason::manualEjectAll;
    std::set<std::string> detectedIDs;
    for (const DetectedDrive& drive : m_detectedDrives) {
        detectedIDs.insert(drive.id());
    }
    m_ejectAttempt.keepOnly(detectedIDs, managedIDs, ejectAllRunning);
    std::erase_if(usageSnapshots,
                  [&](const auto& entry) { return !managedIDs.contains(entry.first); });
    m_driveUsageSnapshotsByDriveID = std::move(usageSnapshots);

    manageUsagePolling();
    const auto excludedCount = static_cast<std::size_t>(
        std::count_if(m_detectedDrives.begin(), m_detectedDrives.end(), [](const auto& drive) {
            return drive.scope() == DetectedDrive::Scope::excluded;
        }));
    m_logger.debug(BerthkeepLogCategory::inventory, "inventory.refresh.result",
                   "Drive inventory refreshed",
                   {{"visible_drive_count", std::to_string(m_detectedDrives.size())},
                    {"managed_drive_count", std::to_string(managedIDs.size())},
                    {"excluded_drive_count", std::to_string(excludedCount)}});
    recordInventoryTelemetryIfNeeded();
    rebuildCurrentState();
    // A running wake remount looks for its drives itself, at every attempt.
    if (!m_sleepWake->isWakeRemountRunning()) {
        mountQueuedDrivesThatCameBack([&before](const RemountTarget& target) {
            return !WakeRemountQueue::findDrive(target, before);
        });
    }
}

void BerthkeepStore::mountQueuedDrivesThatCameBack(
    const std::function<bool(const RemountTarget&)>& wasAway) {
    mountQueuedDrives(wasAway, "sleep.wake.remount.drive_returned",
                      "A queued drive came back after the wake; mounting it");
}

void BerthkeepStore::mountQueuedDrivesLeftToEndedMounts(const std::set<std::string>& driveIDs) {
    mountQueuedDrives(
        [&driveIDs](const RemountTarget& target) { return driveIDs.contains(target.driveID); },
        "sleep.wake.remount.other_mount_ended",
        "Another mount of a queued drive ended without mounting it; mounting it");
}

void BerthkeepStore::mountQueuedDrives(const std::function<bool(const RemountTarget&)>& chosen,
                                       const char* event, const char* message) {
    // While a sleep is held, or before its wake, a queued drive waits for the wake.
    if (wakeRemountQueue().empty() || !m_sleepWake->wakeObservedSinceLastSleep()) {
        return;
    }
    std::vector<RemountTarget> back;
    for (const RemountTarget& target : wakeRemountQueue().targets()) {
        const DetectedDrive* now = WakeRemountQueue::findDrive(target, m_detectedDrives);
        if (now && !now->isMounted() && mayMountNow(target, true, std::nullopt) && chosen(target)) {
            back.push_back(target);
        }
    }
    if (back.empty()) {
        return;
    }
    m_logger.notice(BerthkeepLogCategory::reliability, event, message,
                    {{"drive_names", WakeRemountQueue::driveNames(back)}});
    triggerWakeRemountCatchUpIfNeeded();
}

void BerthkeepStore::recordInventoryTelemetryIfNeeded() {
    if (!m_telemetryController->anonymousImprovementEnabled()) {
        return; // nothing remembered either, so opting in later still sends
    }
    InventoryTelemetrySignature signature;
    signature.visibleCount = m_detectedDrives.size();
    for (const DetectedDrive& drive : m_detectedDrives) {
        signature.managedCount += drive.scope() == DetectedDrive::Scope::managed ? 1 : 0;
        signature.excludedCount += drive.scope() == DetectedDrive::Scope::excluded ? 1 : 0;
        signature.mountedCount += drive.isMounted() ? 1 : 0;
    }
    if (m_lastInventoryTelemetrySignature == signature) {
        return;
    }
    m_lastInventoryTelemetrySignature = signature;
    recordAnonymousTelemetry("drive_inventory_seen",
                             {{"visible_count", std::to_string(signature.visibleCount)},
                              {"managed_count", std::to_string(signature.managedCount)},
                              {"excluded_count", std::to_string(signature.excludedCount)},
                              {"mounted_count", std::to_string(signature.mountedCount)}});
}

void BerthkeepStore::scheduleInventoryRefresh(const std::string& reason) {
    m_inventoryRefreshCoordinator->schedule(
        reason, m_logger,
        [store = QPointer<BerthkeepStore>(this)] { return runScheduledRefresh(store); });
}

void BerthkeepStore::applyExcludedScopeLocally(bool excluded, const std::string& driveID) {
    std::vector<DetectedDrive> updated;
    updated.reserve(m_detectedDrives.size());
    for (const DetectedDrive& drive : m_detectedDrives) {
        if (drive.id() != driveID) {
            updated.push_back(drive);
            continue;
        }
        updated.emplace_back(
            drive.id(), drive.name(), drive.mountURL(),
            excluded ? DetectedDrive::Scope::excluded : DetectedDrive::Scope::managed,
            drive.isEjectable(), drive.bsdName(), drive.ejectTargetBSDName(), drive.ejectGroupID(),
            drive.allowsGroupedWakeRemount(), drive.identity());
    }
    emit objectWillChange();
    m_detectedDrives = std::move(updated);
}

} // namespace berthkeep

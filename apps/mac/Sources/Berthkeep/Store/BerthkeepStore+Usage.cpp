#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <algorithm>
#include <charconv>
#include <exception>

#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/NaturalNameOrder.hpp"

namespace berthkeep {

namespace {

std::string count(std::size_t value) {
    return std::to_string(value);
}

std::string flag(bool value) {
    return value ? "true" : "false";
}

// The shortest text that reads back as the same number, with ".0" on whole values.
std::string scoreText(double score) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), score);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eEn") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string reasonCodesText(const DriveUsageSnapshot& snapshot) {
    std::string text;
    for (const BerthkeepAttentionReasonCode code : snapshot.reasonCodes()) {
        if (!text.empty()) {
            text += ",";
        }
        text += toString(code);
    }
    return text;
}

long long wholeSeconds(Clock::Duration duration) {
    return std::chrono::duration_cast<std::chrono::seconds>(duration).count();
}

} // namespace

QCoro::Task<bool> BerthkeepStore::refreshDriveUsageNow() {
    const QPointer<BerthkeepStore> self(this);
    const auto phase = m_hasCompletedInitialAsyncUsageRefresh
                           ? BerthkeepAuditWorkPhase::backgroundWork
                           : BerthkeepAuditWorkPhase::initialRefresh;
    const std::vector<DetectedDrive> drives = m_detectedDrives;
    const auto previous = m_driveUsageSnapshotsByDriveID;
    const std::vector<DetectedDrive> mounted = mountedManagedDrives();
    const std::string mountedCount = count(mounted.size());

    if (!m_fullMonitoringCoordinator->wantsFullMonitoring()) {
        m_fullMonitoringCoordinator->setCapability(FullMonitoringCapability::unknown());
        m_logger.debug(BerthkeepLogCategory::inventory, "inventory.usage_probe.skipped",
                       "Skipped drive usage probe because full monitoring preference is off",
                       {{"managed_drive_count", count(managedDrives().size())},
                        {"mounted_managed_drive_count", mountedCount}});
        applyUsageSnapshots({});
        co_return true;
    }
    if (mounted.empty()) {
        m_logger.debug(
            BerthkeepLogCategory::inventory, "inventory.usage_probe.skipped",
            "Skipped drive usage probe because no managed drives are currently mounted",
            {{"managed_drive_count", count(managedDrives().size())},
             {"full_monitoring_capability",
              FullMonitoringCoordinator::telemetryDescription(fullMonitoringCapability())}});
        applyUsageSnapshots({});
        m_hasCompletedInitialAsyncUsageRefresh = true;
        co_return true;
    }
    const ActivityDetectionMode mode =
        m_fullMonitoringCoordinator->effectiveActivityDetectionMode();
    if (mode == ActivityDetectionMode::coreOnly) {
        audit("refreshDriveUsageNow", mode, phase,
              "Skipping drive usage refresh because activity detection is disabled");
        m_logger.debug(BerthkeepLogCategory::inventory, "inventory.usage_probe.skipped",
                       "Skipped drive usage probe in core-only mode", {{"mode", toString(mode)}});
        applyUsageSnapshots({});
        m_hasCompletedInitialAsyncUsageRefresh = true;
        co_return true;
    }
    if (m_runningUsageProbe) {
        m_pendingDriveUsageRefresh = true;
        m_logger.debug(BerthkeepLogCategory::inventory, "inventory.usage_probe.coalesced",
                       "Skipped overlapping drive usage probe while an earlier probe is still "
                       "running",
                       {{"mode", toString(mode)}, {"mounted_managed_drive_count", mountedCount}});
        co_return false;
    }

    // Settled on every way out, the store's end included: a folded request waits on it.
    const Completion<void> ended;
    m_runningUsageProbe = ended;
    const std::shared_ptr<Clock> clock = m_platform.clock;
    const Clock::TimePoint started = clock->now();
    m_logger.debug(BerthkeepLogCategory::inventory, "inventory.usage_probe.started",
                   "Starting drive usage probe",
                   {{"mode", toString(mode)}, {"mounted_managed_drive_count", mountedCount}});
    const std::uint64_t requestID = ++m_latestUsageRefreshRequestID;
    auto work = [collector = m_usageCollector, drives, mode]() {
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
        ended.resolve();
        co_return false;
    }

    const bool current = requestID == m_latestUsageRefreshRequestID;
    if (current) {
        m_hasCompletedInitialAsyncUsageRefresh = true;
        const std::string elapsed = std::to_string(elapsedMilliseconds(started, *clock));
        if (!error) {
            m_logger.notice(BerthkeepLogCategory::inventory, "inventory.usage_probe.completed",
                            "Drive usage probe completed",
                            {{"elapsed_ms", elapsed},
                             {"mounted_managed_drive_count", mountedCount},
                             {"usage_snapshot_count", count(snapshots.size())},
                             {"usage_summary", renderUsageSummary(snapshots, mounted)}});
            // The answer first: the capability rebuilds the state, which would otherwise
            // judge the drives by the usage before this answer, as safe at the first.
            applyUsageSnapshots(std::move(snapshots));
            m_fullMonitoringCoordinator->setCapability(FullMonitoringCapability::available());
        } else {
            const std::string description = RustBerthkeepCore::errorText(error);
            m_fullMonitoringCoordinator->setCapability(
                BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(error) ==
                        BerthkeepRustDriveUsageFailureKind::unavailable
                    ? FullMonitoringCapability::unavailable(description)
                    : FullMonitoringCapability::setupRequired());
            m_logger.error(BerthkeepLogCategory::inventory, "inventory.usage_probe.failed",
                           "Drive usage probe failed",
                           {{"elapsed_ms", elapsed}, {"error", description}});
            applyUsageSnapshots(previous);
        }
    }
    m_runningUsageProbe.reset();
    if (m_pendingDriveUsageRefresh) {
        m_pendingDriveUsageRefresh = false;
        startMainActorTask([self] { return runDriveUsageRefresh(self); }, "store usage refresh");
    }
    ended.resolve();
    co_return current;
}

QCoro::Task<void> BerthkeepStore::runDriveUsageRefresh(QPointer<BerthkeepStore> store) {
    if (store) {
        co_await store->refreshDriveUsageNow();
    }
}

std::int64_t BerthkeepStore::elapsedMilliseconds(Clock::TimePoint since, const Clock& clock) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - since).count();
    return std::max<std::int64_t>(0, elapsed);
}

void BerthkeepStore::applyUsageSnapshots(std::map<std::string, DriveUsageSnapshot> snapshots) {
    const std::set<std::string> managedIDs = managedDriveIDs();
    std::erase_if(snapshots, [&](const auto& entry) { return !managedIDs.contains(entry.first); });
    logDriveUsageTransitions(m_driveUsageSnapshotsByDriveID, snapshots);
    m_driveUsageSnapshotsByDriveID = std::move(snapshots);
    manageUsagePolling();
    rebuildCurrentState();
}

void BerthkeepStore::logDriveUsageTransitions(
    const std::map<std::string, DriveUsageSnapshot>& previous,
    const std::map<std::string, DriveUsageSnapshot>& next) const {
    std::set<std::string> keys;
    for (const auto& entry : previous) {
        keys.insert(entry.first);
    }
    for (const auto& entry : next) {
        keys.insert(entry.first);
    }
    const auto valueOf = [](const auto& map, const std::string& key) {
        const auto found = map.find(key);
        return found == map.end() ? DriveUsageSnapshot::zero() : found->second;
    };
    for (const std::string& key : keys) {
        const DriveUsageSnapshot before = valueOf(previous, key);
        const DriveUsageSnapshot after = valueOf(next, key);
        const auto found = drives({key});
        if (before == after || found.empty()) {
            continue; // a drive that left the inventory is not reported
        }
        m_logger.debug(BerthkeepLogCategory::inventory, "inventory.usage.updated",
                       "Drive usage snapshot changed",
                       {{"drive_id", key},
                        {"drive_name", found.front().name()},
                        {"open_file_usage", std::to_string(after.openFileUsage)},
                        {"cwd_usage", std::to_string(after.cwdUsage)},
                        {"statfs_activity", flag(after.statfsActivity)},
                        {"fsevents_activity", flag(after.fseventsActivity)},
                        {"viewer_assist_activity", flag(after.viewerAssistActivity)},
                        {"is_busy", flag(after.isBusy)},
                        {"eject_failure_risk_score", scoreText(after.ejectFailureRiskScore)},
                        {"reason_codes", reasonCodesText(after)}});
    }
}

void BerthkeepStore::manageUsagePolling() {
    const ActivityDetectionMode mode =
        m_fullMonitoringCoordinator->effectiveActivityDetectionMode();
    const bool active = m_fullMonitoringCoordinator->isFullMonitoringActive();
    const auto mounted = mountedManagedDrives();

    UsagePollingDecision decision;
    decision.isEnabled = active && mode != ActivityDetectionMode::coreOnly && !mounted.empty();
    decision.mode = mode;
    decision.intervalSeconds = std::to_string(wholeSeconds(m_timing.usagePollingInterval));
    decision.metadata = {{"full_monitoring_active", flag(active)},
                         {"activity_detection_mode", toString(mode)},
                         {"managed_drive_count", count(managedDrives().size())},
                         {"mounted_managed_drive_count", count(mounted.size())}};

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
            return {{"interval_seconds", std::to_string(wholeSeconds(interval))},
                    {"managed_drive_count", count(self->managedDrives().size())},
                    {"mounted_managed_drive_count", count(self->mountedManagedDrives().size())}};
        },
        [self]() -> BerthkeepLogMetadata {
            if (!self) {
                return {};
            }
            return {{"managed_drive_count", count(self->managedDrives().size())},
                    {"mounted_managed_drive_count", count(self->mountedManagedDrives().size())},
                    {"full_monitoring_capability", FullMonitoringCoordinator::telemetryDescription(
                                                       self->fullMonitoringCapability())}};
        },
        [self]() { return runDriveUsageRefresh(self); });
}

BerthkeepStore::Duration BerthkeepStore::currentUsagePollingInterval() const {
    // Only a busy drive is worth watching closely; no evidence counts as idle.
    if (m_driveUsageSnapshotsByDriveID.empty()) {
        return m_timing.idleUsagePollingInterval;
    }
    for (const DetectedDrive& drive : mountedManagedDrives()) {
        const auto usage = m_driveUsageSnapshotsByDriveID.find(drive.id());
        if (usage != m_driveUsageSnapshotsByDriveID.end() && usage->second.isBusy) {
            return m_timing.usagePollingInterval;
        }
    }
    return m_timing.idleUsagePollingInterval;
}

std::string
BerthkeepStore::renderUsageSummary(const std::map<std::string, DriveUsageSnapshot>& snapshots,
                                   const std::vector<DetectedDrive>& drives) {
    using Entry = std::pair<std::string, const DriveUsageSnapshot*>;
    std::vector<Entry> entries;
    for (const auto& entry : snapshots) {
        const std::string& id = entry.first; // a named copy: clang cannot capture a binding
        const auto found =
            std::find_if(drives.begin(), drives.end(),
                         [&id](const DetectedDrive& drive) { return drive.id() == id; });
        entries.emplace_back(found != drives.end() ? found->name() : id, &entry.second);
    }
    entries = NaturalNameOrder().sorted(std::move(entries),
                                        [](const Entry& entry) { return entry.first; });
    std::string summary;
    for (const auto& [label, snapshot] : entries) {
        if (!summary.empty()) {
            summary += ";";
        }
        summary += label + ":open=" + std::to_string(snapshot->openFileUsage) +
                   ",cwd=" + std::to_string(snapshot->cwdUsage) +
                   ",statfs=" + flag(snapshot->statfsActivity) +
                   ",fsevents=" + flag(snapshot->fseventsActivity) +
                   ",viewer=" + flag(snapshot->viewerAssistActivity) +
                   ",busy=" + flag(snapshot->isBusy) +
                   ",score=" + scoreText(snapshot->ejectFailureRiskScore);
    }
    return summary;
}

} // namespace berthkeep

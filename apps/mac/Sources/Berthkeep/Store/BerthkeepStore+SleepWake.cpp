#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <algorithm>

#include <QUuid>

#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {

namespace {

constexpr BerthkeepLogCategory reliability = BerthkeepLogCategory::reliability;
// How often a held sleep looks whether the action it waits for has ended.
constexpr Clock::Duration kRunningActionPollInterval = std::chrono::milliseconds(250);

QCoro::Task<void> refreshInventoryIfAlive(QPointer<BerthkeepStore> store) {
    if (store) {
        co_await store->refreshInventoryNow();
    }
}

} // namespace

QCoro::Task<void> BerthkeepStore::runWorkspaceVolumeChange(QPointer<BerthkeepStore> store) {
    if (store) {
        co_await store->handleWorkspaceVolumeChange();
    }
}

QCoro::Task<void> BerthkeepStore::runSystemSleepEjectIfAlive(QPointer<BerthkeepStore> store,
                                                             std::string powerChangeID) {
    if (store) {
        co_await store->runSystemSleepEject(std::move(powerChangeID));
    }
}

QCoro::Task<void> BerthkeepStore::runWakeEventIfAlive(QPointer<BerthkeepStore> store,
                                                      std::string attemptID,
                                                      std::optional<std::string> acknowledgerID,
                                                      std::shared_ptr<CancelToken> cancel) {
    if (store) {
        co_await store->handleWakeEvent(std::move(attemptID), std::move(acknowledgerID),
                                        std::move(cancel));
    }
}

void BerthkeepStore::registerWorkspaceNotifications() {
    const auto& center = m_platform.workspaceNotificationCenter;
    if (!center) {
        return;
    }
    for (const WorkspaceNotificationName name :
         {WorkspaceNotificationName::didMount, WorkspaceNotificationName::willUnmount,
          WorkspaceNotificationName::didUnmount, WorkspaceNotificationName::didRenameVolume}) {
        m_workspaceObservers.push_back(center->addObserver(
            name, [store = QPointer<BerthkeepStore>(this)](const WorkspaceVolumeNotification&) {
                startMainActorTask([store] { return runWorkspaceVolumeChange(store); },
                                   "workspace volume change");
            }));
    }
}

void BerthkeepStore::registerSystemPowerNotifications() {
    if (!m_platform.powerManagement) {
        return;
    }
    m_sleepWake->registerSystemPowerNotifications(
        [store = QPointer<BerthkeepStore>(this)](
            BerthkeepSleepWakeCoordinator::Acknowledge acknowledge) {
            if (store) {
                store->handleSystemPowerWillSleep(std::move(acknowledge));
            }
        },
        [store = QPointer<BerthkeepStore>(this)] {
            if (store) {
                store->beginWakeRemount();
            }
        },
        SystemPowerMonitor::liveRegistrar(m_platform.powerManagement));
}

QCoro::Task<void> BerthkeepStore::handleWorkspaceVolumeChange() {
    const QPointer<BerthkeepStore> self(this);
    co_await refreshInventoryNow();
    if (self) {
        scheduleVolumeReconciliationRefresh();
    }
}

void BerthkeepStore::scheduleVolumeReconciliationRefresh() {
    m_sleepWake->scheduleVolumeReconciliationRefresh(
        [store = QPointer<BerthkeepStore>(this)] { return refreshInventoryIfAlive(store); });
}

void BerthkeepStore::handleSystemPowerWillSleep(
    BerthkeepSleepWakeCoordinator::Acknowledge acknowledge) {
    m_sleepWake->cancelWakeRemount("system_sleep");
    std::string id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
    m_sleepWake->installPendingSleepAcknowledger(id, std::move(acknowledge));
    startMainActorTask([store = QPointer<BerthkeepStore>(this),
                        id] { return runSystemSleepEjectIfAlive(store, id); },
                       "system sleep eject");
}

bool BerthkeepStore::isSleepHeld() const {
    return m_sleepWake->isSleepHeld();
}

bool BerthkeepStore::isMountHoldingSleep() const {
    if (!isSleepHeld()) {
        return false;
    }
    const std::vector<DetectedDrive> managed = managedDrives();
    return std::any_of(managed.begin(), managed.end(),
                       [this](const DetectedDrive& drive) { return isBeingMounted(drive.id()); });
}

QCoro::Task<void> BerthkeepStore::runSystemSleepEject(std::string powerChangeID) {
    const QPointer<BerthkeepStore> self(this);
    co_await refreshInventoryNow();
    for (;;) {
        if (!self) {
            co_return;
        }
        const bool held = co_await waitForRunningActionBeforeSleep(powerChangeID);
        if (!self || !held) {
            co_return;
        }
        // Plan on fresh evidence.
        const bool alive = co_await probeDriveUsageForPlan();
        // An eject begun after the sleep went ahead would run after the wake, and
        // its drives would stay down until the next one.
        if (!alive || !m_sleepWake->isSleepHeld(powerChangeID)) {
            co_return;
        }
        if (!m_ejectAttempt.isRunning()) {
            break;
        }
        // An action began during the probe: the sleep waits for it too.
    }
    co_await runPlannedTrigger(TriggerReason::systemSleep);
    // Only this power change: a newer will-sleep keeps its own hold.
    if (self) {
        m_sleepWake->acknowledgePendingSleepPowerChange("trigger_finished", powerChangeID);
    }
}

void BerthkeepStore::handleSleepHoldCut() {
    const std::size_t mounted = recordDrivesSleepingMounted();
    if (mounted == 0) {
        return;
    }
    m_logger.notice(reliability, "sleep.power_change.slept_mounted",
                    "Recorded a sleep failure notice for drives still mounted when the system "
                    "went to sleep",
                    {{"failed_drive_count", std::to_string(mounted)}});
}

QCoro::Task<bool> BerthkeepStore::waitForRunningActionBeforeSleep(std::string powerChangeID) {
    const QPointer<BerthkeepStore> self(this);
    const std::shared_ptr<Clock> clock = m_platform.clock;
    bool logged = false;
    // A mount under way holds back only its own drive: the attempt ejects the
    // rest at once and that drive when its mount ends.
    while (m_ejectAttempt.isRunning()) {
        // Woken meanwhile, a newer will-sleep runs its own road, or the hold ran
        // out and the cut recorded what slept mounted.
        if (!m_sleepWake->isSleepHeld(powerChangeID)) {
            co_return false;
        }
        if (!logged) {
            logged = true;
            m_logger.notice(BerthkeepLogCategory::reliability, "sleep.trigger.waiting_for_action",
                            "Holding system sleep until the running action ends",
                            {{"sleep_power_change_id", powerChangeID}});
        }
        co_await clock->sleep(kRunningActionPollInterval);
        if (!self) {
            co_return false;
        }
    }
    if (logged) {
        // Plan on what the action left behind.
        co_await refreshInventoryNow();
        if (!self) {
            co_return false;
        }
    }
    co_return m_sleepWake->isSleepHeld(powerChangeID);
}

QCoro::Task<std::set<std::string>>
BerthkeepStore::waitWhileAnEjectRuns(std::shared_ptr<CancelToken> cancel) {
    const QPointer<BerthkeepStore> self(this);
    const std::shared_ptr<Clock> clock = m_platform.clock;
    std::set<std::string> workedOn;
    while (m_ejectAttempt.isRunning() && !(cancel && cancel->isCancelled())) {
        for (const DetectedDrive& target : m_ejectAttempt.targets()) {
            workedOn.insert(target.id());
        }
        workedOn.insert(m_ejectAttempt.workingDriveIDs().begin(),
                        m_ejectAttempt.workingDriveIDs().end());
        co_await clock->sleep(kRunningActionPollInterval, cancel);
        if (!self) {
            co_return workedOn;
        }
    }
    co_return workedOn;
}

BerthkeepSleepWakeCoordinator::WakeEventHandler BerthkeepStore::wakeEventHandler() {
    return [store = QPointer<BerthkeepStore>(this)](std::string attemptID,
                                                    std::optional<std::string> acknowledgerID,
                                                    std::shared_ptr<CancelToken> cancel) {
        return runWakeEventIfAlive(store, std::move(attemptID), std::move(acknowledgerID),
                                   std::move(cancel));
    };
}

void BerthkeepStore::beginWakeRemount() {
    m_sleepWake->beginWakeRemount(wakeEventHandler());
}

void BerthkeepStore::triggerWakeRemountCatchUpIfNeeded() {
    m_sleepWake->triggerWakeRemountCatchUpIfNeeded(wakeEventHandler());
}

QCoro::Task<void> BerthkeepStore::schedulePendingSleepFailureNotificationIfNeeded() {
    if (!m_pendingSleepFailureNotification || m_sleepFailureNotificationDeliveryTask) {
        co_return;
    }
    if (m_timing.wakeNotificationDeliveryDelay <= Duration::zero()) {
        co_await deliverPendingSleepFailureNotificationIfNeeded();
        co_return;
    }
    auto token = CancelToken::make();
    m_sleepFailureNotificationDeliveryTask = token;
    startMainActorTask(
        [store = QPointer<BerthkeepStore>(this), clock = m_platform.clock,
         delay = m_timing.wakeNotificationDeliveryDelay,
         token] { return runDelayedSleepFailureDelivery(store, clock, delay, token); },
        "sleep failure notification delivery");
}

QCoro::Task<void>
BerthkeepStore::runDelayedSleepFailureDelivery(QPointer<BerthkeepStore> store,
                                               std::shared_ptr<Clock> clock, Duration delay,
                                               std::shared_ptr<CancelToken> token) {
    co_await clock->sleep(delay, token);
    if (!token->isCancelled() && store) {
        co_await store->deliverPendingSleepFailureNotificationIfNeeded();
    }
    if (store && store->m_sleepFailureNotificationDeliveryTask == token) {
        store->m_sleepFailureNotificationDeliveryTask.reset();
    }
}

QCoro::Task<void>
BerthkeepStore::handleWakeEvent(std::string remountAttemptID,
                                std::optional<std::string> clearingSleepAcknowledgerID,
                                std::shared_ptr<CancelToken> cancel) {
    const QPointer<BerthkeepStore> self(this);
    if (cancel && cancel->isCancelled()) {
        // A will-sleep came before this task ran: this wake is over, and
        // marking it observed would stop that sleep's eject.
        co_return;
    }
    m_sleepWake->markWakeObserved();
    const std::vector<DetectedDrive> inFlight = drives(std::vector<std::string>(
        m_ejectAttempt.workingDriveIDs().begin(), m_ejectAttempt.workingDriveIDs().end()));
    m_sleepWake->clearPendingSleepAcknowledger("wake", clearingSleepAcknowledgerID, true);
    co_await schedulePendingSleepFailureNotificationIfNeeded();
    if (!self) {
        co_return;
    }
    co_await recoverWakeRemountTargetsForAlreadyUnmountedDrives(inFlight);
    if (!self) {
        co_return;
    }
    invalidateInFlightSleepAttemptAfterWake();
    co_await runWakeRemount(std::move(remountAttemptID), std::move(cancel));
}

QCoro::Task<void> BerthkeepStore::recoverWakeRemountTargetsForAlreadyUnmountedDrives(
    std::vector<DetectedDrive> inFlight) {
    if (!m_ejectAttempt.interruptedByWake(wakeCount()) || inFlight.empty()) {
        co_return;
    }
    std::set<std::string> candidates;
    for (const DetectedDrive& drive : inFlight) {
        if (isListedUnmounted(drive.id())) {
            candidates.insert(drive.id());
        }
    }
    if (candidates.empty()) {
        co_return;
    }
    const QPointer<BerthkeepStore> self(this);
    co_await refreshInventoryNow();
    if (!self) {
        co_return;
    }
    std::vector<RemountTarget> recovered;
    for (const DetectedDrive& drive : inFlight) {
        if (!candidates.contains(drive.id()) || !isListedUnmounted(drive.id())) {
            continue;
        }
        if (auto target = wakeRemountTarget(drive, allowsGroupedWakeRemount(driveGroupID(drive)))) {
            recovered.push_back(std::move(*target));
        }
    }
    if (recovered.empty()) {
        co_return;
    }
    wakeRemountQueue().merge(recovered, m_ejectAttempt.begun());
    m_logger.notice(reliability, "sleep.wake.remount.recovered_from_inventory",
                    "Recovered already-unmounted drives for wake remount from inventory state",
                    {{"recovered_count", std::to_string(recovered.size())},
                     {"drive_names", WakeRemountQueue::driveNames(recovered)}});
}

void BerthkeepStore::invalidateInFlightSleepAttemptAfterWake() {
    if (!m_ejectAttempt.interruptedByWake(wakeCount())) {
        return;
    }
    preserveCompletedSleepEjectTargetsForWakeRemount();
    std::set<std::string> takenOff;
    for (const DetectedDrive& drive : mergedAttemptSuccessTargets()) {
        takenOff.insert(drive.id());
    }
    const std::optional<std::string> attemptID = m_ejectAttempt.closeByWake(std::move(takenOff));
    rebuildCurrentState(*m_core);
    if (attemptID) {
        m_logger.notice(reliability, "sleep.wake.invalidated_inflight_eject",
                        "Wake invalidated an in-flight sleep eject attempt",
                        {{"attempt_id", *attemptID}});
    }
}

QCoro::Task<void> BerthkeepStore::runWakeRemount(std::string remountAttemptID,
                                                 std::shared_ptr<CancelToken> cancel) {
    const QPointer<BerthkeepStore> self(this);
    if (!wakeRemountQueue().anyDue(wakeCount())) {
        m_logger.notice(reliability, "sleep.wake.no_pending_remounts",
                        "Wake remount skipped because there are no pending targets", {});
        co_await refreshInventoryNow();
        co_return;
    }
    const std::shared_ptr<Clock> clock = m_platform.clock;
    if (m_timing.postWakeRemountDelay > Duration::zero()) {
        co_await clock->sleep(m_timing.postWakeRemountDelay, cancel);
        if (!self) {
            co_return;
        }
    }
    // Nothing is mounted while an eject runs (a card's Mount is refused then
    // too): the two would fight over the disks. What that eject took down stays
    // queued for the wake of the sleep it was for, or the user took it down;
    // what else the user decided meanwhile is read when the mounts begin.
    const std::set<std::string> ejectedMeanwhile = co_await waitWhileAnEjectRuns(cancel);
    if (!self) {
        co_return;
    }
    // The drives come back from the bus at wake, maybe under other disk names:
    // find each queued drive in a fresh inventory before anything is grouped.
    if (!(cancel && cancel->isCancelled())) {
        co_await refreshInventoryNow();
        if (!self) {
            co_return;
        }
    }
    std::vector<RemountTarget> targets;
    for (const RemountTarget& queued : wakeRemountQueue().targets()) {
        if (!ejectedMeanwhile.contains(queued.driveID) &&
            wakeRemountQueue().isDue(queued, wakeCount())) {
            targets.push_back(
                WakeRemountQueue::resolved(queued, m_detectedDrives).value_or(queued));
        }
    }
    targets = sanitizedWakeRemountTargets(std::move(targets));
    const std::size_t groupCount = remountGroups(targets).size();
    const BerthkeepLogMetadata metadata{{"remount_attempt_id", remountAttemptID},
                                        {"target_count", std::to_string(targets.size())},
                                        {"group_count", std::to_string(groupCount)},
                                        {"drive_names", WakeRemountQueue::driveNames(targets)}};
    const auto withPhase = [&metadata](const char* phase) {
        BerthkeepLogMetadata tagged = metadata;
        tagged["phase"] = phase;
        return tagged;
    };
    if (cancel && cancel->isCancelled()) {
        m_logger.notice(reliability, "sleep.wake.remount.stale",
                        "Skipped stale wake remount attempt before start",
                        withPhase("before_start"));
        co_return;
    }
    if (targets.empty()) {
        // What was queued was taken off meanwhile (Eject All, the user's mount).
        m_logger.notice(reliability, "sleep.wake.no_pending_remounts",
                        "Wake remount skipped because there are no pending targets", {});
        co_return;
    }
    m_logger.notice(reliability, "sleep.wake.remount.started",
                    "Attempting to remount drives after wake", metadata);
    const std::vector<RemountTarget> attempted = targets;
    RemountEventNames names{"sleep.wake.remount.drive.started", "sleep.wake.remount.succeeded",
                            "sleep.wake.remount.failed", "sleep.wake.remount.retrying",
                            "sleep.wake.remount.not_attached"};
    const std::optional<std::string> operationID = remountAttemptID;
    const auto wake = std::make_shared<WakeMounts>();
    const RemountOutcome outcome = co_await remountTargets(
        std::move(targets), m_timing.wakeRemountMaxAttempts, m_timing.wakeRemountRetryDelay,
        std::move(names), operationID, m_timing.wakeRemountFailureSettleDelay, true, cancel, wake);
    if (!self) {
        co_return;
    }
    if (cancel && cancel->isCancelled()) {
        m_logger.notice(reliability, "sleep.wake.remount.cancelled",
                        "Stopped stale wake remount attempt after start", withPhase("after_start"));
        co_return;
    }
    // A drive left to the user's newer word, or not begun, did not fail.
    const std::size_t failed = outcome.failed.size();
    const std::size_t notMounted = failed + outcome.notTried.size() + outcome.leftAlone.size();
    // What came up has left the queue with the refresh that saw it mounted.
    m_logger.notice(reliability, "sleep.wake.remount.finished", "Wake remount attempt finished",
                    {{"remount_attempt_id", remountAttemptID},
                     {"attempted_count", std::to_string(attempted.size())},
                     {"succeeded_count", std::to_string(attempted.size() - notMounted)},
                     {"failed_count", std::to_string(failed)},
                     {"pending_retry_count", std::to_string(wakeRemountQueue().size())}});
    // One that came back after the last attempt looked for it is not left for
    // the next wake, nor one left to another mount that has failed since; one
    // whose other mount still runs is looked at again when that mount ends.
    std::set<std::string> otherMountEnded;
    for (const std::string& id : wake->leftToAnotherMountAtLastAttempt) {
        if (isBeingMounted(id)) {
            m_drivesLeftToAnotherMount.insert(id);
        } else {
            otherMountEnded.insert(id);
        }
    }
    mountQueuedDrivesThatCameBack([&wake](const RemountTarget& target) {
        return wake->notAttachedAtLastAttempt.contains(target.driveID);
    });
    mountQueuedDrivesLeftToEndedMounts(otherMountEnded);
}

} // namespace berthkeep

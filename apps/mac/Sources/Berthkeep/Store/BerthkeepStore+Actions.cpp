#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <QCoreApplication>

#include <exception>

#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/SharedTask.hpp"
#include "BerthkeepShared/WithTimeout.hpp"

namespace berthkeep {

namespace {

// The ids in their order, less those the menu did not show.
std::vector<std::string> shownOnly(std::vector<std::string> ids,
                                   const BerthkeepStore::ShownDriveIDs& shown) {
    if (shown) {
        std::erase_if(ids, [&shown](const std::string& id) { return !shown->contains(id); });
    }
    return ids;
}

// Whether the menu showed the drive; every drive when nothing says.
std::function<bool(const DetectedDrive&)> shownIn(const BerthkeepStore::ShownDriveIDs& shown) {
    return [shown](const DetectedDrive& drive) {
        return !shown || shown->contains(drive.id());
    };
}

QCoro::Task<void> forwardSettled(Completion<void> from, Completion<void> to) {
    co_await from;
    to.resolve();
}

// Ends when `done` is settled or `token` is cancelled, whichever comes first.
QCoro::Task<void> settledOrCancelled(Completion<void> done, std::shared_ptr<CancelToken> token) {
    const Completion<void> woken;
    const CancelToken::CallbackId callback = token->onCancel([woken] { woken.resolve(); });
    // Runs on until `done` settles, which every probe does on every way out.
    const SharedTask<void> forwarding(forwardSettled(done, woken));
    co_await woken;
    token->removeCallback(callback);
}

QCoro::Task<void> runUtility(QPointer<BerthkeepStore> store, MenubarUtilityAction::Kind kind,
                             BerthkeepStore::ShownDriveIDs shown) {
    if (store) {
        co_await store->runUtilityAction(kind, std::move(shown));
    }
}

QCoro::Task<void> runDrive(QPointer<BerthkeepStore> store, DriveAction::Kind kind,
                           std::string driveID) {
    if (store) {
        co_await store->runDriveAction(kind, std::move(driveID));
    }
}

} // namespace

QCoro::Task<void> BerthkeepStore::runGroup(QPointer<BerthkeepStore> store,
                                           DriveGroupActionKind kind, std::string groupID,
                                           ShownDriveIDs shown) {
    if (store) {
        co_await store->runDriveGroupAction(kind, std::move(groupID), std::move(shown));
    }
}

QCoro::Task<void> BerthkeepStore::runSimulatedTrigger(QPointer<BerthkeepStore> store,
                                                      TriggerReason trigger) {
    if (store) {
        co_await store->runTrigger(trigger);
    }
}

void BerthkeepStore::perform(MenubarUtilityAction::Kind kind, ShownDriveIDs shownDriveIDs) {
    startMainActorTask(
        [store = QPointer<BerthkeepStore>(this), kind, shown = std::move(shownDriveIDs)] {
            return runUtility(store, kind, shown);
        },
        "store utility action");
}

void BerthkeepStore::perform(DriveAction::Kind kind, const std::string& driveID) {
    startMainActorTask([store = QPointer<BerthkeepStore>(this), kind,
                        driveID] { return runDrive(store, kind, driveID); },
                       "store drive action");
}

void BerthkeepStore::perform(DriveGroupActionKind kind, const std::string& groupID,
                             ShownDriveIDs shownDriveIDs) {
    startMainActorTask(
        [store = QPointer<BerthkeepStore>(this), kind, groupID, shown = std::move(shownDriveIDs)] {
            return runGroup(store, kind, groupID, shown);
        },
        "store drive group action");
}

void BerthkeepStore::quit() {
    // exit, not quit: Qt's quit first asks every window to close, and the menu's
    // own window refuses, which would cancel it.
    QCoreApplication::exit(0);
}

void BerthkeepStore::simulateTrigger(TriggerReason trigger) {
    startMainActorTask([store = QPointer<BerthkeepStore>(this),
                        trigger] { return runSimulatedTrigger(store, trigger); },
                       "store simulated trigger");
}

QCoro::Task<void> BerthkeepStore::runUtilityAction(MenubarUtilityAction::Kind kind,
                                                   ShownDriveIDs shownDriveIDs) {
    switch (kind) {
    case MenubarUtilityAction::Kind::ejectAll:
        co_await runEjectAll(std::move(shownDriveIDs));
        break;
    case MenubarUtilityAction::Kind::ejectAndSleep:
        co_await runEjectAndSleep(std::move(shownDriveIDs));
        break;
    }
}

QCoro::Task<void> BerthkeepStore::runDriveAction(DriveAction::Kind kind, std::string driveID) {
    switch (kind) {
    case DriveAction::Kind::eject:
        co_await ejectDrive(std::move(driveID));
        break;
    case DriveAction::Kind::mount:
        co_await mountDrive(std::move(driveID));
        break;
    }
}

QCoro::Task<void> BerthkeepStore::runDriveGroupAction(DriveGroupActionKind kind,
                                                      std::string groupID,
                                                      ShownDriveIDs shownDriveIDs) {
    switch (kind) {
    case DriveGroupActionKind::ejectAll:
        co_await ejectDriveGroup(std::move(groupID), std::move(shownDriveIDs));
        break;
    case DriveGroupActionKind::mountAll:
        co_await mountDriveGroup(std::move(groupID), std::move(shownDriveIDs));
        break;
    }
}

bool BerthkeepStore::mayStartUtilityAction(const ShownDriveIDs& shownDriveIDs) const {
    // Refused silently: the menu may be a step behind the state.
    return !m_ejectAttempt.isRunning() &&
           !shownOnly(mountedManagedDriveIDs(), shownDriveIDs).empty();
}

QCoro::Task<void> BerthkeepStore::runEjectAll(ShownDriveIDs shownDriveIDs) {
    if (!mayStartUtilityAction(shownDriveIDs)) {
        co_return;
    }
    std::vector<std::string> driveIDs = shownOnly(mountedManagedDriveIDs(), shownDriveIDs);
    std::set<std::string> beingMounted = speakForEject(shownIn(shownDriveIDs), "eject_all");
    co_await m_actionCoordinator->runExplicitEject(
        std::move(driveIDs), TriggerReason::manualEjectAll, *this, std::move(beingMounted));
}

QCoro::Task<void> BerthkeepStore::runEjectAndSleep(ShownDriveIDs shownDriveIDs) {
    if (!mayStartUtilityAction(shownDriveIDs)) {
        co_return;
    }
    const QPointer<BerthkeepStore> self(this);
    std::set<std::string> queuedBefore;
    for (const RemountTarget& target : wakeRemountQueue().targets()) {
        queuedBefore.insert(target.driveID);
    }
    // With no sleep to follow, what this eject queued must not be mounted at some
    // later wake; what was queued before stays.
    const auto takeQueuedByThisEject = [this, &queuedBefore] {
        std::set<std::string> added;
        for (const RemountTarget& target : wakeRemountQueue().targets()) {
            if (!queuedBefore.contains(target.driveID)) {
                added.insert(target.driveID);
            }
        }
        return wakeRemountQueue().take(added);
    };
    const std::uint64_t wakeCountBefore = m_sleepWake->wakeCount();
    const std::uint64_t sleepCountBefore = m_sleepWake->sleepCount();
    const bool ejectRan =
        co_await runTrigger(TriggerReason::manualEjectAndSleep, std::move(shownDriveIDs));
    if (!self || !ejectRan) {
        // Another action had the drives (no sleep under its feet), or a whole
        // sleep overtook this one before its eject.
        co_return;
    }
    if (m_sleepWake->wakeCount() != wakeCountBefore) {
        co_return; // the machine slept and woke under this eject: not again now
    }
    if (m_sleepWake->sleepCount() != sleepCountBefore) {
        // The system's own sleep came meanwhile: it is the sleep that follows, and
        // every drive taken down for it stays queued for its wake.
        m_logger.notice(BerthkeepLogCategory::reliability, "sleep.manual_handoff.overtaken",
                        "Left the sleep to a system sleep that came during the manual eject", {});
        co_return;
    }
    // Every close records its own notice: one pending now is about this eject.
    if (m_pendingSleepFailureNotification) {
        takeQueuedByThisEject();
        co_await deliverPendingSleepFailureNotificationIfNeeded();
        co_return;
    }
    try {
        m_systemSleepRequester->requestSleep();
        m_logger.notice(BerthkeepLogCategory::reliability, "sleep.manual_handoff.requested",
                        "Requested macOS sleep after a successful manual eject", {});
    } catch (...) {
        // What this eject took off, not what an earlier wake left queued.
        const auto queued = static_cast<int>(takeQueuedByThisEject().size());
        m_transientActionStatusPresenter->present(
            TransientActionStatus::sleepRequestFailed(queued));
        m_logger.error(BerthkeepLogCategory::reliability, "sleep.manual_handoff.failed",
                       "Failed to request macOS sleep after manual eject",
                       {{"error", RustBerthkeepCore::errorText(std::current_exception())}});
    }
}

QCoro::Task<bool> BerthkeepStore::probeDriveUsageForPlan() {
    const std::shared_ptr<Clock> clock = m_platform.clock;
    const Clock::TimePoint deadline = clock->now() + m_timing.planUsageProbeLimit;
    // A probe that began before the request may answer for an older moment
    // than the plan needs: wait for it to end, then probe once more.
    if (m_runningUsageProbe) {
        if (!co_await waitForUsageProbe(deadline)) {
            co_return false;
        }
    }
    if (!m_runningUsageProbe) {
        // Started here and driven to its end even when the plan stops waiting.
        const SharedTask<bool> probe(refreshDriveUsageNow());
        if (!co_await waitForUsageProbe(deadline)) {
            co_return false;
        }
    }
    if (m_runningUsageProbe) {
        const auto limit =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_timing.planUsageProbeLimit);
        m_logger.notice(BerthkeepLogCategory::inventory, "inventory.usage_probe.plan_without",
                        "Planning on the latest usage snapshots because a probe is still running",
                        {{"limit_ms", std::to_string(limit.count())}});
    }
    co_return true;
}

QCoro::Task<bool> BerthkeepStore::waitForUsageProbe(Clock::TimePoint deadline) {
    if (!m_runningUsageProbe) {
        co_return true;
    }
    const QPointer<BerthkeepStore> self(this);
    const std::shared_ptr<Clock> clock = m_platform.clock;
    auto operation = [running = *m_runningUsageProbe](std::shared_ptr<CancelToken> token) {
        return settledOrCancelled(running, std::move(token));
    };
    const Clock::Duration left = std::max(Clock::Duration::zero(), deadline - clock->now());
    co_await withTimeout(operation, left, clock);
    co_return static_cast<bool>(self);
}

QCoro::Task<bool> BerthkeepStore::runTrigger(TriggerReason trigger, ShownDriveIDs shownDriveIDs) {
    const std::uint64_t wakesBefore = wakeCount();
    // Plan on fresh evidence.
    const bool alive = co_await probeDriveUsageForPlan();
    if (!alive) {
        co_return false;
    }
    if (trigger == TriggerReason::manualEjectAndSleep && wakeCount() != wakesBefore) {
        // The machine slept and woke before this eject began: ejecting now would
        // leave the drives down while it is awake.
        m_logger.notice(BerthkeepLogCategory::reliability, "sleep.manual_handoff.overtaken",
                        "Dropped Eject & Sleep because a sleep and its wake came before its "
                        "eject began",
                        {});
        co_return false;
    }
    // The coordinator refuses exactly when an action runs, and decides before
    // its first suspension, so this reading is its decision.
    const bool willRun = !m_ejectAttempt.isRunning();
    std::set<std::string> beingMounted;
    if (willRun && trigger == TriggerReason::manualEjectAndSleep) {
        beingMounted = speakForEject(shownIn(shownDriveIDs), "eject_and_sleep", true);
    }
    co_await runPlannedTrigger(trigger, std::move(shownDriveIDs), std::move(beingMounted));
    co_return willRun;
}

QCoro::Task<void> BerthkeepStore::deliverPendingSleepFailureNotificationIfNeeded() {
    const QPointer<BerthkeepStore> self(this);
    if (!m_pendingSleepFailureNotification) {
        co_return;
    }
    const PendingSleepFailureNotification pending = *m_pendingSleepFailureNotification;
    // A notice recorded while this one is delivered is newer, and stays.
    const std::uint64_t delivering = m_reports.sleepFailureNotice;
    const std::string failed = std::to_string(pending.failedDriveCount);
    if (!notificationsEnabled()) {
        m_logger.debug(BerthkeepLogCategory::settings, "notifications.delivery.skipped",
                       "Skipped sleep failure notification because the user disabled "
                       "notifications",
                       {{"failed_drive_count", failed}});
        co_return;
    }
    const auto manager = m_notificationManager;
    auto status = co_await manager->authorizationStatus();
    if (!self) {
        co_return;
    }
    if (status == BerthkeepNotificationAuthorizationStatus::notDetermined) {
        co_await requestNotificationAuthorizationWithTelemetryIfNeeded();
        if (!self) {
            co_return;
        }
        status = m_notificationsAuthorizationStatus;
    } else {
        emit objectWillChange();
        m_notificationsAuthorizationStatus = status;
    }
    if (status != BerthkeepNotificationAuthorizationStatus::authorized) {
        m_logger.notice(BerthkeepLogCategory::settings, "notifications.delivery.skipped",
                        "Skipped sleep failure notification because notification authorization "
                        "is unavailable",
                        {{"status", toString(status)}, {"failed_drive_count", failed}});
        co_return;
    }
    std::exception_ptr error;
    try {
        co_await manager->deliverSleepFailureNotification(pending);
    } catch (...) {
        error = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    if (error) {
        m_logger.error(
            BerthkeepLogCategory::settings, "notifications.delivery.failed",
            "Failed to deliver sleep failure notification after wake",
            {{"failed_drive_count", failed}, {"error", RustBerthkeepCore::errorText(error)}});
        co_return;
    }
    m_logger.notice(BerthkeepLogCategory::settings, "notifications.delivery.succeeded",
                    "Delivered sleep failure notification after wake",
                    {{"failed_drive_count", failed}});
    if (m_reports.sleepFailureNotice == delivering) {
        m_pendingSleepFailureNotification.reset();
        persistPendingSleepFailureNotification();
    }
}

} // namespace berthkeep

#include "Berthkeep/Sleep/BerthkeepSleepWakeCoordinator.hpp"

#include <algorithm>

#include <QUuid>

#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/MainThread.hpp"

namespace berthkeep {

namespace {

constexpr BerthkeepLogCategory reliability = BerthkeepLogCategory::reliability;

std::string freshID() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

} // namespace

BerthkeepSleepWakeCoordinator::BerthkeepSleepWakeCoordinator(BerthkeepLogger logger,
                                                             Duration groupedVolumeRefreshDelay,
                                                             Duration powerChangeAcknowledgeTimeout,
                                                             std::shared_ptr<Clock> clock,
                                                             QObject* parent)
    : QObject(parent)
    , m_logger(std::move(logger))
    , m_groupedVolumeRefreshDelay(groupedVolumeRefreshDelay)
    , m_powerChangeAcknowledgeTimeout(powerChangeAcknowledgeTimeout)
    , m_clock(std::move(clock)) {}

BerthkeepSleepWakeCoordinator::~BerthkeepSleepWakeCoordinator() {
    // Waiting tasks wake and find the coordinator gone.
    for (const auto& token :
         {m_pendingVolumeReconciliationTask, m_pendingSleepAcknowledgeTimeout, m_wakeRemountTask}) {
        if (token) {
            token->cancel();
        }
    }
}

void BerthkeepSleepWakeCoordinator::registerSystemPowerNotifications(
    SystemPowerMonitor::WillSleepHandler onWillSleep, SystemPowerMonitor::DidWakeHandler onDidWake,
    std::shared_ptr<SystemPowerRegistering> registrar) {
    auto willSleep = [onWillSleep = std::move(onWillSleep)](Acknowledge acknowledge) {
        postToMainThread(
            [onWillSleep, acknowledge = std::move(acknowledge)] { onWillSleep(acknowledge); });
    };
    auto didWake = [onDidWake = std::move(onDidWake)] {
        postToMainThread(onDidWake);
    };
    m_powerMonitor.reset();
    m_powerMonitor = std::make_unique<SystemPowerMonitor>(m_logger, std::move(willSleep),
                                                          std::move(didWake), std::move(registrar));
}

void BerthkeepSleepWakeCoordinator::scheduleVolumeReconciliationRefresh(Refresh refresh) {
    if (m_pendingVolumeReconciliationTask) {
        m_pendingVolumeReconciliationTask->cancel();
    }
    if (m_groupedVolumeRefreshDelay <= Duration::zero()) {
        return;
    }
    auto token = CancelToken::make();
    m_pendingVolumeReconciliationTask = token;
    startMainActorTask([clock = m_clock, delay = m_groupedVolumeRefreshDelay, token,
                        refresh = std::make_shared<Refresh>(std::move(
                            refresh))] { return runVolumeRefresh(clock, delay, token, refresh); },
                       "volume reconciliation refresh");
}

QCoro::Task<void>
BerthkeepSleepWakeCoordinator::runVolumeRefresh(std::shared_ptr<Clock> clock, Duration delay,
                                                std::shared_ptr<CancelToken> token,
                                                std::shared_ptr<Refresh> refresh) {
    co_await clock->sleep(delay, token);
    if (token->isCancelled()) {
        co_return;
    }
    co_await (*refresh)();
}

void BerthkeepSleepWakeCoordinator::installPendingSleepAcknowledger(std::string id,
                                                                    Acknowledge acknowledge) {
    // The system waits for an answer to every will-sleep: one left pending
    // would hold the older message until the system gives up on it.
    acknowledgePendingSleepPowerChange("superseded");
    disarmAcknowledgeTimeout();
    ++m_sleepCount;
    m_pendingSleepAcknowledgerID = id;
    m_pendingSleepAcknowledger = std::move(acknowledge);
    m_wakeObservedSinceLastSleep = false;
    m_pendingWakeRemountReplay = false;
    if (m_powerChangeAcknowledgeTimeout <= Duration::zero()) {
        return;
    }
    auto token = CancelToken::make();
    m_pendingSleepAcknowledgeTimeout = token;
    startMainActorTask(
        [self = QPointer<BerthkeepSleepWakeCoordinator>(this), clock = m_clock,
         timeout = m_powerChangeAcknowledgeTimeout, token,
         id = std::move(id)] { return runAcknowledgeTimeout(self, clock, timeout, token, id); },
        "sleep acknowledge time-out");
}

QCoro::Task<void> BerthkeepSleepWakeCoordinator::runAcknowledgeTimeout(
    QPointer<BerthkeepSleepWakeCoordinator> self, std::shared_ptr<Clock> clock, Duration timeout,
    std::shared_ptr<CancelToken> token, std::string id) {
    const bool elapsed = co_await clock->sleep(timeout, token);
    if (elapsed && self && !token->isCancelled() &&
        self->acknowledgePendingSleepPowerChange("timeout", id)) {
        emit self->sleepHoldCut();
    }
}

void BerthkeepSleepWakeCoordinator::disarmAcknowledgeTimeout() {
    if (m_pendingSleepAcknowledgeTimeout) {
        m_pendingSleepAcknowledgeTimeout->cancel();
        m_pendingSleepAcknowledgeTimeout.reset();
    }
}

bool BerthkeepSleepWakeCoordinator::acknowledgePendingSleepPowerChange(
    const std::string& reason, const std::optional<std::string>& onlyIfID) {
    if (!m_pendingSleepAcknowledger) {
        return false;
    }
    if (onlyIfID && onlyIfID != m_pendingSleepAcknowledgerID) {
        m_logger.notice(
            reliability, "sleep.power_change.acknowledge_skipped",
            "Skipped acknowledging a newer pending system sleep power change",
            {{"reason", reason},
             {"expected_sleep_power_change_id", *onlyIfID},
             {"current_sleep_power_change_id", m_pendingSleepAcknowledgerID.value_or("")}});
        return false;
    }
    disarmAcknowledgeTimeout();
    const Acknowledge acknowledge = std::move(m_pendingSleepAcknowledger);
    m_pendingSleepAcknowledger = nullptr;
    m_pendingSleepAcknowledgerID.reset();
    acknowledge();
    m_logger.notice(reliability, "sleep.power_change.acknowledged",
                    "Acknowledged pending system sleep power change", {{"reason", reason}});
    return true;
}

bool BerthkeepSleepWakeCoordinator::clearPendingSleepAcknowledger(
    const std::string& reason, const std::optional<std::string>& onlyIfIDMatches,
    bool requireExactMatch) {
    if (!m_pendingSleepAcknowledger) {
        return false;
    }
    const bool matches = requireExactMatch
                             ? onlyIfIDMatches == m_pendingSleepAcknowledgerID
                             : !onlyIfIDMatches || onlyIfIDMatches == m_pendingSleepAcknowledgerID;
    if (!matches) {
        m_logger.notice(
            reliability, "sleep.power_change.clear_skipped",
            "Skipped clearing a newer pending system sleep power change",
            {{"reason", reason},
             {"expected_sleep_power_change_id", onlyIfIDMatches.value_or("")},
             {"current_sleep_power_change_id", m_pendingSleepAcknowledgerID.value_or("")}});
        return false;
    }
    disarmAcknowledgeTimeout();
    const std::string cleared = m_pendingSleepAcknowledgerID.value_or("");
    m_pendingSleepAcknowledger = nullptr;
    m_pendingSleepAcknowledgerID.reset();
    m_logger.notice(reliability, "sleep.power_change.cleared",
                    "Cleared pending system sleep power change without acknowledgement",
                    {{"reason", reason}, {"sleep_power_change_id", cleared}});
    // Still held at the wake: the system slept without waiting for the eject.
    emit sleepHoldCut();
    return true;
}

void BerthkeepSleepWakeCoordinator::markWakeObserved() {
    m_wakeObservedSinceLastSleep = true;
    m_pendingWakeRemountReplay = false;
}

void BerthkeepSleepWakeCoordinator::beginWakeRemount(WakeEventHandler handleWakeEvent) {
    ++m_wakeCount;
    markWakeObserved();
    startWakeRemount(std::move(handleWakeEvent));
}

void BerthkeepSleepWakeCoordinator::triggerWakeRemountCatchUpIfNeeded(
    WakeEventHandler handleWakeEvent) {
    if (!m_wakeObservedSinceLastSleep) {
        return;
    }
    if (m_wakeRemountTask) {
        m_pendingWakeRemountReplay = true;
    } else {
        startWakeRemount(std::move(handleWakeEvent));
    }
}

void BerthkeepSleepWakeCoordinator::startWakeRemount(WakeEventHandler handleWakeEvent) {
    const std::string attemptID = freshID();
    const std::optional<std::string> acknowledgerID = m_pendingSleepAcknowledgerID;
    if (m_wakeRemountTask) {
        m_wakeRemountTask->cancel();
    }
    m_activeWakeRemountAttemptID = attemptID;
    auto task = CancelToken::make();
    m_wakeRemountTask = task;
    startMainActorTask(
        [self = QPointer<BerthkeepSleepWakeCoordinator>(this),
         handler = std::make_shared<WakeEventHandler>(std::move(handleWakeEvent)), attemptID,
         acknowledgerID,
         task] { return runWakeRemount(self, handler, attemptID, acknowledgerID, task); },
        "wake remount");
}

QCoro::Task<void> BerthkeepSleepWakeCoordinator::runWakeRemount(
    QPointer<BerthkeepSleepWakeCoordinator> self, std::shared_ptr<WakeEventHandler> handleWakeEvent,
    std::string attemptID, std::optional<std::string> acknowledgerID,
    std::shared_ptr<CancelToken> task) {
    co_await (*handleWakeEvent)(attemptID, acknowledgerID, task);
    if (!self) {
        co_return;
    }
    if (self->m_activeWakeRemountAttemptID == attemptID) {
        self->m_activeWakeRemountAttemptID.reset();
    }
    // A cancelled older attempt that ends late must not drop the newer
    // attempt's handle: cancelling and replays depend on it.
    if (self->m_wakeRemountTask == task) {
        self->m_wakeRemountTask.reset();
    }
    if (self->m_pendingWakeRemountReplay && !self->m_wakeRemountTask) {
        self->m_pendingWakeRemountReplay = false;
        self->startWakeRemount(*handleWakeEvent);
    }
}

void BerthkeepSleepWakeCoordinator::cancelWakeRemount(const std::string& reason) {
    if (!m_wakeRemountTask) {
        return;
    }
    // Read first: a cancelled attempt may run to its end inside cancel().
    const std::string attemptID = m_activeWakeRemountAttemptID.value_or("");
    const std::shared_ptr<CancelToken> task = std::move(m_wakeRemountTask);
    m_wakeRemountTask.reset();
    task->cancel();
    m_logger.notice(reliability, "sleep.wake.remount.cancel_requested",
                    "Marked in-flight wake remount as stale because another sleep event arrived",
                    {{"reason", reason}, {"remount_attempt_id", attemptID}});
}

} // namespace berthkeep

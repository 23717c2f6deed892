#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include <QCoroTask>

#include "Berthkeep/Sleep/SystemPowerMonitor.hpp"
#include "Berthkeep/Sleep/WakeRemountQueue.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Clock.hpp"

namespace berthkeep {

// Holds the sleep-and-wake state of the application and its timing rules; it
// ejects and mounts nothing itself. It keeps the power monitor, holds the
// pending will-sleep acknowledgement (released once: acknowledged by its own
// power change's road, its time-out or a newer will-sleep, or dropped
// unacknowledged at wake),
// keeps the queue of drives to mount after wake, runs one wake-remount attempt
// at a time, and folds bursts of volume notifications into one late refresh.
// Every wait runs on the injected clock. Main thread only; the tasks it starts
// hold it weakly.
class BerthkeepSleepWakeCoordinator final : public QObject {
    Q_OBJECT

public:
    using Duration = Clock::Duration;
    using Acknowledge = SystemPowerMonitor::Acknowledge;
    // The store's wake road for one attempt: its id, the acknowledger id pending
    // when it started, and the token a newer sleep or attempt cancels.
    using WakeEventHandler = std::function<QCoro::Task<void>(
        std::string remountAttemptID, std::optional<std::string> clearingSleepAcknowledgerID,
        std::shared_ptr<CancelToken> cancel)>;
    using Refresh = std::function<QCoro::Task<void>()>;

    BerthkeepSleepWakeCoordinator(BerthkeepLogger logger, Duration groupedVolumeRefreshDelay,
                                  Duration powerChangeAcknowledgeTimeout,
                                  std::shared_ptr<Clock> clock, QObject* parent = nullptr);
    ~BerthkeepSleepWakeCoordinator() override;

    // Builds the one power monitor (dropping a previous one). The handlers run one
    // main-loop turn after the message, never inside the power callback.
    void registerSystemPowerNotifications(SystemPowerMonitor::WillSleepHandler onWillSleep,
                                          SystemPowerMonitor::DidWakeHandler onDidWake,
                                          std::shared_ptr<SystemPowerRegistering> registrar);
    bool isRegisteredForSystemPower() const {
        return m_powerMonitor && m_powerMonitor->isRegistered();
    }

    // One refresh, the debounce delay after the last call of a burst; none when
    // the delay is zero.
    void scheduleVolumeReconciliationRefresh(Refresh refresh);

    // A previous acknowledger is superseded: acknowledged at once. Arms the time-out.
    void installPendingSleepAcknowledger(std::string id, Acknowledge acknowledge);
    // Releases the pending power change. With an id, only when it is the pending
    // one: a road or time-out of an older power change must not release a newer.
    // True when it released one.
    bool acknowledgePendingSleepPowerChange(const std::string& reason,
                                            const std::optional<std::string>& onlyIfID = {});
    // Drops the acknowledger without calling it. With requireExactMatch, the ids
    // must be equal (both absent counts); otherwise an absent expected id matches.
    // True when it dropped one.
    bool clearPendingSleepAcknowledger(const std::string& reason,
                                       const std::optional<std::string>& onlyIfIDMatches,
                                       bool requireExactMatch);

    void markWakeObserved();
    void beginWakeRemount(WakeEventHandler handleWakeEvent);
    // After an eject queued targets: once wake was observed, start an attempt, or
    // ask the running one for a replay.
    void triggerWakeRemountCatchUpIfNeeded(WakeEventHandler handleWakeEvent);
    void cancelWakeRemount(const std::string& reason);

    // Every road that queues or forgets a drive for remount goes through it.
    WakeRemountQueue& wakeRemountQueue() { return m_wakeRemountQueue; }
    const WakeRemountQueue& wakeRemountQueue() const { return m_wakeRemountQueue; }

    bool hasPendingSleepAcknowledger() const {
        return static_cast<bool>(m_pendingSleepAcknowledger);
    }
    // Whether a will-sleep is held now, no wake having come since; with an id,
    // whether that power change is the one held. Every road asks this.
    bool isSleepHeld(const std::optional<std::string>& powerChangeID = std::nullopt) const {
        return m_pendingSleepAcknowledger && !m_wakeObservedSinceLastSleep &&
               (!powerChangeID || m_pendingSleepAcknowledgerID == powerChangeID);
    }
    const std::optional<std::string>& pendingSleepAcknowledgerID() const {
        return m_pendingSleepAcknowledgerID;
    }
    bool isWakeRemountRunning() const { return static_cast<bool>(m_wakeRemountTask); }
    const std::optional<std::string>& activeWakeRemountAttemptID() const {
        return m_activeWakeRemountAttemptID;
    }
    bool wakeObservedSinceLastSleep() const { return m_wakeObservedSinceLastSleep; }
    // Counts has-powered-on messages: an attempt that started at a lower count
    // was under way when the machine slept.
    std::uint64_t wakeCount() const { return m_wakeCount; }
    // Counts will-sleep messages: a step that saw it move knows a sleep follows.
    std::uint64_t sleepCount() const { return m_sleepCount; }

    bool pendingWakeRemountReplay() const { return m_pendingWakeRemountReplay; }

signals:
    // The system went to sleep before the sleep's eject ended: its hold ran out,
    // or a wake found it still unanswered. Whatever is mounted now slept mounted.
    void sleepHoldCut();

private:
    void startWakeRemount(WakeEventHandler handleWakeEvent);
    void disarmAcknowledgeTimeout();
    static QCoro::Task<void> runAcknowledgeTimeout(QPointer<BerthkeepSleepWakeCoordinator> self,
                                                   std::shared_ptr<Clock> clock, Duration timeout,
                                                   std::shared_ptr<CancelToken> token,
                                                   std::string id);
    static QCoro::Task<void> runVolumeRefresh(std::shared_ptr<Clock> clock, Duration delay,
                                              std::shared_ptr<CancelToken> token,
                                              std::shared_ptr<Refresh> refresh);
    static QCoro::Task<void> runWakeRemount(QPointer<BerthkeepSleepWakeCoordinator> self,
                                            std::shared_ptr<WakeEventHandler> handleWakeEvent,
                                            std::string attemptID,
                                            std::optional<std::string> acknowledgerID,
                                            std::shared_ptr<CancelToken> task);

    BerthkeepLogger m_logger;
    Duration m_groupedVolumeRefreshDelay;
    Duration m_powerChangeAcknowledgeTimeout;
    std::shared_ptr<Clock> m_clock;

    WakeRemountQueue m_wakeRemountQueue;
    std::shared_ptr<CancelToken> m_pendingVolumeReconciliationTask;
    std::unique_ptr<SystemPowerMonitor> m_powerMonitor;
    Acknowledge m_pendingSleepAcknowledger;
    std::optional<std::string> m_pendingSleepAcknowledgerID;
    std::shared_ptr<CancelToken> m_pendingSleepAcknowledgeTimeout;
    // The running attempt's token doubles as its handle: an attempt that ends
    // clears the handle only while it is still its own.
    std::shared_ptr<CancelToken> m_wakeRemountTask;
    std::optional<std::string> m_activeWakeRemountAttemptID;
    bool m_wakeObservedSinceLastSleep = false;
    bool m_pendingWakeRemountReplay = false;
    std::uint64_t m_wakeCount = 0;
    std::uint64_t m_sleepCount = 0;
};

} // namespace berthkeep

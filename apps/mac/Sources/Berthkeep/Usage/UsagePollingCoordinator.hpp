#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QCoroTask>

#include "Berthkeep/Usage/UsagePollingDecision.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Clock.hpp"
#include "BerthkeepShared/SharedTask.hpp"

namespace berthkeep {

// Owns the usage polling timer: one repeating main-actor task that sleeps an
// interval, runs one tick, and sleeps again. It decides nothing; the store calls
// sync() whenever something that affects polling changes. Main thread only.
class UsagePollingCoordinator {
public:
    using Duration = Clock::Duration;
    // Asked before every sleep, so the interval can change without a restart.
    using NextSleepInterval = std::function<Duration()>;
    using TickScheduledMetadata = std::function<BerthkeepLogMetadata(Duration)>;
    using TickStartedMetadata = std::function<BerthkeepLogMetadata()>;
    // One usage refresh; must not throw.
    using PerformTick = std::function<QCoro::Task<void>()>;

    explicit UsagePollingCoordinator(std::shared_ptr<Clock> clock = LiveClock::shared());
    // Cancels the polling task: its closures must not outlive their owner's intent.
    ~UsagePollingCoordinator();

    UsagePollingCoordinator(const UsagePollingCoordinator&) = delete;
    UsagePollingCoordinator& operator=(const UsagePollingCoordinator&) = delete;

    // Enabled: starts the task when none runs (the closures given here are the
    // ones it keeps for its whole life); otherwise nothing. Disabled: logs, and
    // cancels the task if there is one.
    void sync(const BerthkeepLogger& logger, const UsagePollingDecision& decision,
              NextSleepInterval nextSleepInterval, TickScheduledMetadata tickScheduledMetadata,
              TickStartedMetadata tickStartedMetadata, PerformTick performTick);

    bool isPolling() const { return m_pollingTask.has_value(); }

private:
    struct PollingTask {
        std::shared_ptr<CancelToken> token;
        SharedTask<void> task;
    };

    static QCoro::Task<void> pollingLoop(std::shared_ptr<Clock> clock, BerthkeepLogger logger,
                                         std::shared_ptr<CancelToken> token,
                                         NextSleepInterval nextSleepInterval,
                                         TickScheduledMetadata tickScheduledMetadata,
                                         TickStartedMetadata tickStartedMetadata,
                                         PerformTick performTick);

    std::shared_ptr<Clock> m_clock;
    std::optional<PollingTask> m_pollingTask;
};

} // namespace berthkeep

#include "Berthkeep/Usage/UsagePollingCoordinator.hpp"

#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {

UsagePollingCoordinator::UsagePollingCoordinator(std::shared_ptr<Clock> clock)
    : m_clock(std::move(clock)) {}

UsagePollingCoordinator::~UsagePollingCoordinator() {
    if (m_pollingTask) {
        m_pollingTask->token->cancel();
    }
}

void UsagePollingCoordinator::sync(const BerthkeepLogger& logger,
                                   const UsagePollingDecision& decision,
                                   NextSleepInterval nextSleepInterval,
                                   TickScheduledMetadata tickScheduledMetadata,
                                   TickStartedMetadata tickStartedMetadata,
                                   PerformTick performTick) {
    if (decision.isEnabled) {
        if (m_pollingTask) {
            return;
        }
        BerthkeepStartupAudit::debug("BerthkeepStore", "manageUsagePolling", decision.mode,
                                     BerthkeepAuditWorkPhase::backgroundWork,
                                     "Starting usage polling task", std::nullopt);
        logger.notice(BerthkeepLogCategory::inventory, "inventory.usage_polling.started",
                      "Started drive usage polling",
                      {{"interval_seconds", decision.intervalSeconds}});
        auto token = CancelToken::make();
        auto task = startMainActorTask(
            [clock = m_clock, logger, token, next = std::move(nextSleepInterval),
             scheduled = std::move(tickScheduledMetadata), started = std::move(tickStartedMetadata),
             tick = std::move(performTick)] {
                return pollingLoop(clock, logger, token, next, scheduled, started, tick);
            },
            "usage polling");
        m_pollingTask = PollingTask{std::move(token), std::move(task)};
        return;
    }

    if (m_pollingTask) {
        logger.notice(BerthkeepLogCategory::inventory, "inventory.usage_polling.stopped",
                      "Stopped drive usage polling", {});
    }
    if (decision.mode == ActivityDetectionMode::coreOnly) {
        BerthkeepStartupAudit::debug(
            "BerthkeepStore", "manageUsagePolling", ActivityDetectionMode::coreOnly,
            BerthkeepAuditWorkPhase::backgroundWork,
            "Usage polling remains disabled in core-only mode", std::nullopt);
    }
    logger.debug(BerthkeepLogCategory::inventory, "inventory.usage_polling.disabled",
                 "Drive usage polling is disabled for the current state", decision.metadata);
    if (m_pollingTask) {
        m_pollingTask->token->cancel();
        m_pollingTask.reset();
    }
}

QCoro::Task<void> UsagePollingCoordinator::pollingLoop(
    std::shared_ptr<Clock> clock, BerthkeepLogger logger, std::shared_ptr<CancelToken> token,
    NextSleepInterval nextSleepInterval, TickScheduledMetadata tickScheduledMetadata,
    TickStartedMetadata tickStartedMetadata, PerformTick performTick) {
    // Everything lives in this frame; the coordinator may be gone meanwhile.
    while (!token->isCancelled()) {
        const Duration interval = nextSleepInterval();
        logger.debug(BerthkeepLogCategory::inventory, "inventory.usage_polling.tick_scheduled",
                     "Scheduled next drive usage polling tick", tickScheduledMetadata(interval));
        // A sleep cut short by cancellation is not an error; the check below ends it.
        co_await clock->sleep(interval, token);
        if (token->isCancelled()) {
            break;
        }
        logger.debug(BerthkeepLogCategory::inventory, "inventory.usage_polling.tick_started",
                     "Running scheduled drive usage polling tick", tickStartedMetadata());
        try {
            co_await performTick();
        } catch (...) {
            // The tick reports its own failures; a stray one must not end polling
            // while the coordinator still believes it runs.
        }
    }
}

} // namespace berthkeep

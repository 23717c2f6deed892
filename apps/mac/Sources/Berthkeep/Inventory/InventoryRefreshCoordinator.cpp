#include "Berthkeep/Inventory/InventoryRefreshCoordinator.hpp"

#include <exception>

#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {

InventoryRefreshCoordinator::InventoryRefreshCoordinator(std::shared_ptr<Clock> clock)
    : m_state(std::make_shared<State>()) {
    m_state->clock = std::move(clock);
}

InventoryRefreshCoordinator::~InventoryRefreshCoordinator() {
    if (m_state->scheduledToken) {
        m_state->scheduledToken->cancel();
    }
    m_state->pendingReason.reset();
}

Clock::Duration InventoryRefreshCoordinator::debounce(const std::string& reason) {
    if (reason == diskArbitrationChangeReason) {
        return diskArbitrationDebounce;
    }
    return Clock::Duration::zero();
}

void InventoryRefreshCoordinator::schedule(const std::string& reason, const BerthkeepLogger& logger,
                                           Action perform) {
    enqueue(m_state, reason, logger, std::move(perform), debounce(reason));
}

void InventoryRefreshCoordinator::enqueue(const std::shared_ptr<State>& state,
                                          const std::string& reason, const BerthkeepLogger& logger,
                                          Action perform, Clock::Duration debounce) {
    logger.debug(BerthkeepLogCategory::inventory, "inventory.refresh.scheduled",
                 "Scheduled async inventory refresh", {{"reason", reason}});
    if (state->scheduledTask) {
        // While the task still waits, the request is already covered by it.
        if (state->refreshStarted) {
            state->pendingReason = reason;
        }
        logger.debug(
            BerthkeepLogCategory::inventory, "inventory.refresh.coalesced",
            "Coalesced overlapping async inventory refresh request",
            {{"reason", reason}, {"refresh_started", state->refreshStarted ? "true" : "false"}});
        return;
    }
    // The debounce runs from the request, not from the task's first step.
    const Clock::TimePoint startAt = state->clock->now() + debounce;
    auto token = CancelToken::make();
    state->scheduledToken = token;
    std::weak_ptr<State> weakState = state;
    state->scheduledTask = startMainActorTask(
        [weakState, logger, perform = std::move(perform), startAt, token] {
            return runScheduled(weakState, logger, perform, startAt, token);
        },
        "inventory refresh");
}

QCoro::Task<void> InventoryRefreshCoordinator::runScheduled(std::weak_ptr<State> weakState,
                                                            BerthkeepLogger logger, Action perform,
                                                            Clock::TimePoint startAt,
                                                            std::shared_ptr<CancelToken> token) {
    std::shared_ptr<Clock> clock;
    if (auto state = weakState.lock()) {
        clock = state->clock;
    }
    if (clock && clock->now() < startAt) {
        // A cancelled sleep simply ends early; the checks below decide.
        co_await clock->sleepUntil(startAt, token);
    }
    auto state = weakState.lock();
    if (!state || token->isCancelled()) {
        co_return;
    }
    co_await finishScheduledRefresh(state, logger, perform);
}

QCoro::Task<void> InventoryRefreshCoordinator::finishScheduledRefresh(std::shared_ptr<State> state,
                                                                      BerthkeepLogger logger,
                                                                      Action perform) {
    state->refreshStarted = true;
    std::exception_ptr failure;
    try {
        auto refresh = perform();
        co_await refresh;
    } catch (...) {
        // A failed refresh must not leave the coordinator stuck "refreshing":
        // settle the state first, then let the task report the failure.
        failure = std::current_exception();
    }
    state->scheduledTask.reset();
    state->scheduledToken.reset();
    state->refreshStarted = false;
    if (state->pendingReason) {
        const std::string reason = std::move(*state->pendingReason);
        state->pendingReason.reset();
        enqueue(state, reason, logger, perform, Clock::Duration::zero());
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace berthkeep

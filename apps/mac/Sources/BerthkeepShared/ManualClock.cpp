#include "BerthkeepShared/ManualClock.hpp"

#include <algorithm>

namespace berthkeep {

void ManualClock::removeSleeper(State& state, std::uint64_t order) {
    std::lock_guard lock(state.mutex);
    std::erase_if(state.sleepers, [order](const auto& sleeper) { return sleeper.order == order; });
}

// Static, over the shared state: the clock object may go before a sleeper.
QCoro::Task<bool> ManualClock::sleepOn(std::shared_ptr<State> state, Duration duration,
                                       std::shared_ptr<CancelToken> token) {
    if (token && token->isCancelled()) {
        co_return false;
    }
    if (duration <= Clock::Duration::zero()) {
        co_return true;
    }
    Completion<bool> wake;
    std::uint64_t order = 0;
    {
        std::lock_guard lock(state->mutex);
        order = state->nextOrder++;
        state->sleepers.push_back(Sleeper{state->now + duration, order, wake});
    }
    CancelToken::CallbackId callbackId = 0;
    if (token) {
        std::weak_ptr<State> weakState = state;
        callbackId = token->onCancel([wake, weakState, order] {
            if (auto strong = weakState.lock()) {
                removeSleeper(*strong, order);
            }
            wake.resolve(false);
        });
    }

    const bool elapsed = co_await wake;

    if (token) {
        token->removeCallback(callbackId);
    }
    co_return elapsed;
}

ManualClock::ManualClock(TimePoint start) : m_state(std::make_shared<State>()) {
    m_state->now = start;
}

Clock::TimePoint ManualClock::now() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->now;
}

QCoro::Task<bool> ManualClock::sleep(Duration duration, std::shared_ptr<CancelToken> token) {
    return sleepOn(m_state, duration, std::move(token));
}

void ManualClock::advance(Duration step) {
    advanceTo(now() + std::max(step, Duration::zero()));
}

void ManualClock::advanceTo(TimePoint target) {
    const auto state = m_state;
    while (true) {
        std::optional<Completion<bool>> due;
        {
            std::lock_guard lock(state->mutex);
            auto earliest = std::min_element(state->sleepers.begin(), state->sleepers.end(),
                                             [](const Sleeper& a, const Sleeper& b) {
                                                 return a.deadline != b.deadline ? a.deadline < b.deadline
                                                                                 : a.order < b.order;
                                             });
            if (earliest == state->sleepers.end() || earliest->deadline > target) {
                state->now = std::max(state->now, target);
                return;
            }
            state->now = std::max(state->now, earliest->deadline);
            due = earliest->wake;
            state->sleepers.erase(earliest);
        }
        // Outside the lock: the sleeper runs now and may sleep again.
        due->resolve(true);
    }
}

std::size_t ManualClock::sleeperCount() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->sleepers.size();
}

std::optional<Clock::TimePoint> ManualClock::nextDeadline() const {
    std::lock_guard lock(m_state->mutex);
    if (m_state->sleepers.empty()) {
        return std::nullopt;
    }
    return std::min_element(m_state->sleepers.begin(), m_state->sleepers.end(),
                            [](const Sleeper& a, const Sleeper& b) { return a.deadline < b.deadline; })
        ->deadline;
}

} // namespace berthkeep

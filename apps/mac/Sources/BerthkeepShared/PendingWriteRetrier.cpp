#include "BerthkeepShared/PendingWriteRetrier.hpp"

#include <algorithm>

#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {

struct PendingWriteRetrier::State {
    std::shared_ptr<Clock> clock;
    Timing timing;
    std::shared_ptr<CancelToken> token = CancelToken::make();
    bool running = false; // main thread only
};

PendingWriteRetrier::PendingWriteRetrier(std::shared_ptr<Clock> clock)
    : PendingWriteRetrier(std::move(clock), Timing{}) {}

PendingWriteRetrier::PendingWriteRetrier(std::shared_ptr<Clock> clock, Timing timing)
    : m_state(std::make_shared<State>()) {
    m_state->clock = std::move(clock);
    m_state->timing = timing;
    AtomicFileWriter::setPendingObserver([weak = std::weak_ptr<State>(m_state)] {
        if (auto state = weak.lock()) {
            startMainActorTask([state] { return retryLoop(state); }, "pending write retry");
        }
    });
}

PendingWriteRetrier::~PendingWriteRetrier() {
    AtomicFileWriter::setPendingObserver(nullptr);
    m_state->token->cancel();
}

bool PendingWriteRetrier::isRetrying() const {
    return m_state->running;
}

QCoro::Task<void> PendingWriteRetrier::retryLoop(std::shared_ptr<State> state) {
    // Every failure starts one of these; the first keeps going for all of them.
    if (state->running || state->token->isCancelled()) {
        co_return;
    }
    state->running = true;
    auto delay = state->timing.firstDelay;
    while (co_await state->clock->sleep(delay, state->token)) {
        if (AtomicFileWriter::retryAllPending()) {
            break;
        }
        delay = std::min(delay * 2, state->timing.maximumDelay);
    }
    state->running = false;
}

} // namespace berthkeep

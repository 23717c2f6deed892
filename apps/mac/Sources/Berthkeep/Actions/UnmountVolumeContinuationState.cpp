#include "Berthkeep/Actions/UnmountVolumeContinuationState.hpp"

#include "BerthkeepShared/CancelToken.hpp"

namespace berthkeep {

void UnmountVolumeContinuationState::install(Completion<void> continuation) {
    {
        std::lock_guard lock(m_lock);
        if (!m_isFinished) {
            m_continuation = std::move(continuation);
            return;
        }
    }
    continuation.fail(std::make_exception_ptr(CancellationError()));
}

void UnmountVolumeContinuationState::complete(std::exception_ptr error) {
    std::optional<Completion<void>> continuation;
    {
        std::lock_guard lock(m_lock);
        if (m_isFinished || !m_continuation) {
            return;
        }
        continuation = std::move(m_continuation);
        m_continuation.reset();
        m_isFinished = true;
    }
    // Resumed outside the lock: a waiter on this thread runs inside the call.
    if (error) {
        continuation->fail(error);
    } else {
        continuation->resolve();
    }
}

void UnmountVolumeContinuationState::cancelIfNeeded() {
    std::optional<Completion<void>> continuation;
    {
        std::lock_guard lock(m_lock);
        if (m_isFinished) {
            return;
        }
        m_isFinished = true;
        continuation = std::move(m_continuation);
        m_continuation.reset();
    }
    if (continuation) {
        continuation->fail(std::make_exception_ptr(CancellationError()));
    }
}

} // namespace berthkeep

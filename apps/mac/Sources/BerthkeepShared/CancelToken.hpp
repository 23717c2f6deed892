#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace berthkeep {

// Explicit, thread-safe cancellation. Sleeps and child processes wake early when
// their token is cancelled. Qt-free so worker threads can use it directly.
class CancelToken {
public:
    using Callback = std::function<void()>;
    using CallbackId = std::size_t;

    static std::shared_ptr<CancelToken> make() { return std::make_shared<CancelToken>(); }
    // A token that is cancelled when the parent is (at once if it already is), and
    // can also be cancelled on its own without touching the parent. A null parent
    // gives a plain token.
    static std::shared_ptr<CancelToken> makeChild(const std::shared_ptr<CancelToken>& parent);

    CancelToken() = default;
    ~CancelToken();
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    void cancel();
    bool isCancelled() const noexcept { return m_cancelled.load(std::memory_order_acquire); }

    // Runs the callback at once when already cancelled (and returns 0), otherwise
    // on cancel(). Callbacks run on the thread that cancels, outside the lock.
    CallbackId onCancel(Callback callback);
    // A callback that cancel() already took may still be running on the
    // cancelling thread when this returns: capture shared state, not raw pointers.
    void removeCallback(CallbackId id);

private:
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    CallbackId m_nextId = 1;
    std::vector<std::pair<CallbackId, Callback>> m_callbacks;
    std::shared_ptr<CancelToken> m_parent;
    CallbackId m_parentCallbackId = 0;
};

// What async work throws when it stops because its token was cancelled. Helpers
// that start detached tasks do not log it as a fault.
class CancellationError : public std::runtime_error {
public:
    CancellationError() : std::runtime_error("cancelled") {}
};

// Throws CancellationError when the token (if any) is cancelled.
inline void throwIfCancelled(const std::shared_ptr<CancelToken>& token) {
    if (token && token->isCancelled()) {
        throw CancellationError();
    }
}

} // namespace berthkeep

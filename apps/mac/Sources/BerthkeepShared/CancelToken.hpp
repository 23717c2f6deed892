#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace berthkeep {

// Explicit, thread-safe cancellation. Sleeps and child processes wake early when
// their token is cancelled. Qt-free so worker threads can use it directly.
class CancelToken {
public:
    using Callback = std::function<void()>;
    using CallbackId = std::size_t;

    static std::shared_ptr<CancelToken> make() { return std::make_shared<CancelToken>(); }

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
};

} // namespace berthkeep

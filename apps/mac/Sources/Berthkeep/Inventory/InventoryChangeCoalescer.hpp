#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace berthkeep {

// Folds a burst of disk events into one call of the change action on the main
// thread: at most one hop to the main loop is outstanding at any time. An event
// that arrives after the pending hop has started schedules a new one.
class InventoryChangeCoalescer final
    : public std::enable_shared_from_this<InventoryChangeCoalescer> {
public:
    using Action = std::function<void()>;

    static std::shared_ptr<InventoryChangeCoalescer> make();

    // Callable from any thread. Dropped when a hop is already pending: that hop
    // delivers the change.
    void schedule(Action action);
    // A pending hop that has not started does not run its action.
    void cancelPending();

    bool hasPendingWork() const;

private:
    struct WorkItem {
        std::atomic<bool> cancelled{false};
    };

    InventoryChangeCoalescer() = default;

    mutable std::mutex m_lock;
    std::shared_ptr<WorkItem> m_pendingWorkItem;
};

} // namespace berthkeep

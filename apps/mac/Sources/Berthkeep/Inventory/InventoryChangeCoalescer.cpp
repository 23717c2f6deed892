#include "Berthkeep/Inventory/InventoryChangeCoalescer.hpp"

#include "BerthkeepShared/MainThread.hpp"

namespace berthkeep {

std::shared_ptr<InventoryChangeCoalescer> InventoryChangeCoalescer::make() {
    return std::shared_ptr<InventoryChangeCoalescer>(new InventoryChangeCoalescer());
}

void InventoryChangeCoalescer::schedule(Action action) {
    auto item = std::make_shared<WorkItem>();
    {
        std::lock_guard lock(m_lock);
        if (m_pendingWorkItem) {
            return;
        }
        m_pendingWorkItem = item;
    }
    std::weak_ptr<InventoryChangeCoalescer> weakSelf = weak_from_this();
    postToMainThread([weakSelf, item, action = std::move(action)] {
        if (item->cancelled.load()) {
            return;
        }
        if (auto self = weakSelf.lock()) {
            std::lock_guard lock(self->m_lock);
            if (self->m_pendingWorkItem == item) {
                self->m_pendingWorkItem.reset();
            }
        }
        // The action runs on a later turn, as a task of its own, never under the lock.
        postToMainThread(action);
    });
}

void InventoryChangeCoalescer::cancelPending() {
    std::lock_guard lock(m_lock);
    if (m_pendingWorkItem) {
        m_pendingWorkItem->cancelled.store(true);
        m_pendingWorkItem.reset();
    }
}

bool InventoryChangeCoalescer::hasPendingWork() const {
    std::lock_guard lock(m_lock);
    return m_pendingWorkItem != nullptr;
}

} // namespace berthkeep

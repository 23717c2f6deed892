#include "BerthkeepShared/CancelToken.hpp"

#include <algorithm>

namespace berthkeep {

namespace {

void runGuarded(const CancelToken::Callback& callback) {
    // One faulty callback must not keep the others from learning of the cancel.
    try {
        callback();
    } catch (...) {
    }
}

} // namespace

std::shared_ptr<CancelToken> CancelToken::makeChild(const std::shared_ptr<CancelToken>& parent) {
    auto child = make();
    if (parent) {
        std::weak_ptr<CancelToken> weakChild = child;
        child->m_parentCallbackId = parent->onCancel([weakChild] {
            if (auto strong = weakChild.lock()) {
                strong->cancel();
            }
        });
        child->m_parent = parent;
    }
    return child;
}

CancelToken::~CancelToken() {
    // A long-lived parent must not collect callbacks of children long gone.
    if (m_parent) {
        m_parent->removeCallback(m_parentCallbackId);
    }
}

void CancelToken::cancel() {
    std::vector<std::pair<CallbackId, Callback>> callbacks;
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled.load(std::memory_order_relaxed)) {
            return;
        }
        m_cancelled.store(true, std::memory_order_release);
        callbacks.swap(m_callbacks);
    }
    // Outside the lock: a callback may register or remove callbacks itself.
    for (const auto& entry : callbacks) {
        runGuarded(entry.second);
    }
}

CancelToken::CallbackId CancelToken::onCancel(Callback callback) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_cancelled.load(std::memory_order_relaxed)) {
            const CallbackId id = m_nextId++;
            m_callbacks.emplace_back(id, std::move(callback));
            return id;
        }
    }
    runGuarded(callback);
    return 0;
}

void CancelToken::removeCallback(CallbackId id) {
    if (id == 0) {
        return;
    }
    std::lock_guard lock(m_mutex);
    std::erase_if(m_callbacks, [id](const auto& entry) { return entry.first == id; });
}

} // namespace berthkeep

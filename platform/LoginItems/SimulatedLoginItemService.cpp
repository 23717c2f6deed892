#include "platform/LoginItems/SimulatedLoginItemService.hpp"

namespace berthkeep {

LoginItemStatus SimulatedLoginItemService::status() const {
    m_calls.push_back(Call::status);
    return m_status;
}

void SimulatedLoginItemService::registerItem() {
    m_calls.push_back(Call::registerItem);
    if (m_registerError) {
        throw *m_registerError;
    }
    m_status = LoginItemStatus::enabled;
}

void SimulatedLoginItemService::unregisterItem() {
    m_calls.push_back(Call::unregisterItem);
    if (m_unregisterError) {
        throw *m_unregisterError;
    }
    m_status = LoginItemStatus::notRegistered;
}

std::vector<SimulatedLoginItemService::Call> SimulatedLoginItemService::changeCalls() const {
    std::vector<Call> changes;
    for (const auto call : m_calls) {
        if (call != Call::status) {
            changes.push_back(call);
        }
    }
    return changes;
}

} // namespace berthkeep

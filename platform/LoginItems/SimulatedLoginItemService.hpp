#pragma once

#include <optional>
#include <vector>

#include "platform/LoginItems/LoginItemService.hpp"

namespace berthkeep {

// A login-item service for tests and the harness: the status is scripted, the
// next register or unregister call can be made to fail, and every call is
// recorded. A successful register makes the status enabled, a successful
// unregister notRegistered.
class SimulatedLoginItemService final : public LoginItemService {
public:
    enum class Call { status, registerItem, unregisterItem };

    explicit SimulatedLoginItemService(LoginItemStatus status = LoginItemStatus::notRegistered)
        : m_status(status) {}

    LoginItemStatus status() const override;
    void registerItem() override;
    void unregisterItem() override;

    void setStatus(LoginItemStatus status) { m_status = status; }
    // Every later register (unregister) call throws this error until cleared.
    void setRegisterError(std::optional<LoginItemError> error) {
        m_registerError = std::move(error);
    }
    void setUnregisterError(std::optional<LoginItemError> error) {
        m_unregisterError = std::move(error);
    }

    const std::vector<Call>& calls() const { return m_calls; }
    // The register and unregister calls only, status reads left out.
    std::vector<Call> changeCalls() const;
    void clearCalls() { m_calls.clear(); }

private:
    LoginItemStatus m_status;
    std::optional<LoginItemError> m_registerError;
    std::optional<LoginItemError> m_unregisterError;
    mutable std::vector<Call> m_calls;
};

} // namespace berthkeep

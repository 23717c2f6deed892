#pragma once

#include <vector>

#include "platform/Activation/ApplicationActivation.hpp"

namespace berthkeep {

// An activation for tests and the harness: changes nothing, records every call
// in order.
class RecordingApplicationActivation final : public ApplicationActivation {
public:
    enum class Call { setRegular, setAccessory, activate };

    void setActivationPolicy(ActivationPolicy policy) override {
        m_calls.push_back(policy == ActivationPolicy::regular ? Call::setRegular
                                                              : Call::setAccessory);
    }
    void activateIgnoringOtherApps() override { m_calls.push_back(Call::activate); }

    const std::vector<Call>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    std::vector<Call> m_calls;
};

} // namespace berthkeep

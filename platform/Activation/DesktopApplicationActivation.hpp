#pragma once

#include <optional>

#include "platform/Activation/ApplicationActivation.hpp"

namespace berthkeep {

// The live activation on a Linux desktop. Desktops have no Dock, so the policy
// is only remembered; activating raises the window the user last worked in (the
// focused one, else the newest visible one) and asks the window manager for
// focus, which it may refuse to a program in the background.
class DesktopApplicationActivation final : public ApplicationActivation {
public:
    void setActivationPolicy(ActivationPolicy policy) override { m_policy = policy; }
    void activateIgnoringOtherApps() override;

    // Nothing until the first change: the program starts as an accessory.
    std::optional<ActivationPolicy> policy() const { return m_policy; }

private:
    std::optional<ActivationPolicy> m_policy;
};

} // namespace berthkeep

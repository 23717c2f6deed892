#pragma once

namespace berthkeep {

// How the program presents itself: a regular application (Dock icon, menu bar)
// or an accessory that lives in the menu bar only.
enum class ActivationPolicy { regular, accessory };

// The program's place among the running applications. Main thread only.
class ApplicationActivation {
public:
    virtual ~ApplicationActivation() = default;

    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // Brings the program to the front even when another one is active.
    virtual void activateIgnoringOtherApps() = 0;
};

} // namespace berthkeep

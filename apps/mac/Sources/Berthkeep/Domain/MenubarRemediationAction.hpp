#pragma once

#include <string>

namespace berthkeep {

// The one action the menu offers to fix limited protection.
struct MenubarRemediationAction {
    enum class Kind {
        enableFullMonitoring,
        openSystemSettings,
    };

    Kind kind = Kind::enableFullMonitoring;
    std::string title;

    // The two actions as the store offers them ("Enable Full Monitoring…",
    // "Open Settings…").
    static MenubarRemediationAction enableFullMonitoring();
    static MenubarRemediationAction openSystemSettings();

    bool operator==(const MenubarRemediationAction&) const = default;
};

} // namespace berthkeep

#pragma once

namespace berthkeep {

// User-defaults keys read by more than one module.
struct BerthkeepPreferencesDefaultsKey {
    static constexpr const char* adaptiveTargetedAssistEnabled =
        "berthkeep.adaptiveTargetedAssistEnabled";
};

} // namespace berthkeep

#include "Berthkeep/Domain/MenubarRemediationAction.hpp"

namespace berthkeep {

MenubarRemediationAction MenubarRemediationAction::enableFullMonitoring() {
    return MenubarRemediationAction{Kind::enableFullMonitoring, "Enable Full Monitoring\u2026"};
}

MenubarRemediationAction MenubarRemediationAction::openSystemSettings() {
    return MenubarRemediationAction{Kind::openSystemSettings, "Open Settings\u2026"};
}

} // namespace berthkeep

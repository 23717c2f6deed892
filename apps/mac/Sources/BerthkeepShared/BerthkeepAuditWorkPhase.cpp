#include "BerthkeepShared/BerthkeepAuditWorkPhase.hpp"

namespace berthkeep {

std::string toString(BerthkeepAuditWorkPhase phase) {
    switch (phase) {
    case BerthkeepAuditWorkPhase::appLaunch:
        return "app_launch";
    case BerthkeepAuditWorkPhase::initialRefresh:
        return "initial_refresh";
    case BerthkeepAuditWorkPhase::backgroundWork:
        return "background_work";
    }
    return "app_launch";
}

std::optional<BerthkeepAuditWorkPhase> berthkeepAuditWorkPhaseFromString(std::string_view text) {
    for (auto phase : {BerthkeepAuditWorkPhase::appLaunch, BerthkeepAuditWorkPhase::initialRefresh,
                       BerthkeepAuditWorkPhase::backgroundWork}) {
        if (toString(phase) == text) {
            return phase;
        }
    }
    return std::nullopt;
}

} // namespace berthkeep

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

enum class BerthkeepAuditWorkPhase { appLaunch, initialRefresh, backgroundWork };

// "app_launch", "initial_refresh", "background_work".
std::string toString(BerthkeepAuditWorkPhase phase);
std::optional<BerthkeepAuditWorkPhase> berthkeepAuditWorkPhaseFromString(std::string_view text);

} // namespace berthkeep

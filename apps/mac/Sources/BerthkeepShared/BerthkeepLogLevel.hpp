#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {

enum class BerthkeepLogLevel { debug, notice, error, fault };

// "debug", "notice", "error", "fault".
std::string toString(BerthkeepLogLevel level);
std::optional<BerthkeepLogLevel> berthkeepLogLevelFromString(std::string_view text);
// debug, default, error, fault.
UnifiedLogType unifiedLogType(BerthkeepLogLevel level);

} // namespace berthkeep

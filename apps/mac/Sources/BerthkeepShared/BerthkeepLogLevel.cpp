#include "BerthkeepShared/BerthkeepLogLevel.hpp"

namespace berthkeep {

std::string toString(BerthkeepLogLevel level) {
    switch (level) {
    case BerthkeepLogLevel::debug:
        return "debug";
    case BerthkeepLogLevel::notice:
        return "notice";
    case BerthkeepLogLevel::error:
        return "error";
    case BerthkeepLogLevel::fault:
        return "fault";
    }
    return "notice";
}

std::optional<BerthkeepLogLevel> berthkeepLogLevelFromString(std::string_view text) {
    for (auto level : {BerthkeepLogLevel::debug, BerthkeepLogLevel::notice,
                       BerthkeepLogLevel::error, BerthkeepLogLevel::fault}) {
        if (toString(level) == text) {
            return level;
        }
    }
    return std::nullopt;
}

UnifiedLogType unifiedLogType(BerthkeepLogLevel level) {
    switch (level) {
    case BerthkeepLogLevel::debug:
        return UnifiedLogType::debug;
    case BerthkeepLogLevel::notice:
        return UnifiedLogType::defaultType;
    case BerthkeepLogLevel::error:
        return UnifiedLogType::error;
    case BerthkeepLogLevel::fault:
        return UnifiedLogType::fault;
    }
    return UnifiedLogType::defaultType;
}

} // namespace berthkeep

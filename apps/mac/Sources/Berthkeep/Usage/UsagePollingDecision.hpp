#pragma once

#include <string>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "BerthkeepShared/BerthkeepLogEvent.hpp"

namespace berthkeep {

// What the store wants of usage polling right now; built afresh for every sync.
struct UsagePollingDecision {
    bool isEnabled = false;
    ActivityDetectionMode mode = ActivityDetectionMode::coreOnly;
    // Whole seconds as decimal text; only for the start notice.
    std::string intervalSeconds;
    // Context of the "disabled" log line.
    BerthkeepLogMetadata metadata;

    bool operator==(const UsagePollingDecision&) const = default;
};

} // namespace berthkeep

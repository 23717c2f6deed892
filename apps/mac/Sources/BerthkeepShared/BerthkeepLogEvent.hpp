#pragma once

#include <chrono>
#include <map>
#include <string>

#include "BerthkeepShared/BerthkeepLogCategory.hpp"
#include "BerthkeepShared/BerthkeepLogLevel.hpp"

namespace berthkeep {

// Metadata keys are snake case; rendering sorts them by key.
using BerthkeepLogMetadata = std::map<std::string, std::string>;

struct BerthkeepLogEvent {
    std::chrono::system_clock::time_point timestamp;
    BerthkeepLogLevel level = BerthkeepLogLevel::notice;
    BerthkeepLogCategory category = BerthkeepLogCategory::reliability;
    std::string name;
    std::string message;
    BerthkeepLogMetadata metadata;

    bool operator==(const BerthkeepLogEvent&) const = default;
};

} // namespace berthkeep

#pragma once

#include "Berthkeep/Domain/BerthkeepAttentionReasonCode.hpp"
#include "Berthkeep/Domain/DriveStatus.hpp"

#include <string>
#include <vector>

namespace berthkeep {

// One drive as the decision core judged it.
struct BerthkeepEvaluatedDrive {
    std::string id;
    std::string name;
    DriveStatus status = DriveStatus::safe;
    std::vector<BerthkeepAttentionReasonCode> attentionReasonCodes;

    bool operator==(const BerthkeepEvaluatedDrive&) const = default;
};

} // namespace berthkeep

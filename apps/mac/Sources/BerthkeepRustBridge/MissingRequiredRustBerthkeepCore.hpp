#pragma once

#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"

namespace berthkeep {

// The core handed out when the core library is required and no bridge has been
// registered: every call stops the process, since running on without the required
// core would silently decide with the wrong one.
class MissingRequiredRustBerthkeepCore final : public BerthkeepCoreHandling {
public:
    static constexpr const char* fatalMessage =
        "Berthkeep Rust core bridge is required but unavailable";

    BerthkeepStateEvaluationOutput
    evaluateState(const BerthkeepStateEvaluationInput& input) override;
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) override;
    BerthkeepActionSummaryOutput summarizeAction(const BerthkeepActionSummaryInput& input) override;
};

} // namespace berthkeep

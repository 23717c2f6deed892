#pragma once

#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"

namespace berthkeep {

// The program's own decision core: stateless, every call a pure function of its
// input. The default core, and the answer the library-backed core falls back to.
class SwiftBerthkeepCore final : public BerthkeepCoreHandling {
public:
    SwiftBerthkeepCore() = default;

    BerthkeepStateEvaluationOutput
    evaluateState(const BerthkeepStateEvaluationInput& input) override;
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) override;
    BerthkeepActionSummaryOutput summarizeAction(const BerthkeepActionSummaryInput& input) override;
};

} // namespace berthkeep

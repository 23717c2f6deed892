#pragma once

#include "Berthkeep/Domain/BerthkeepActionPlan.hpp"
#include "Berthkeep/Domain/BerthkeepActionPlanningInput.hpp"
#include "Berthkeep/Domain/BerthkeepActionSummaryInput.hpp"
#include "Berthkeep/Domain/BerthkeepActionSummaryOutput.hpp"
#include "Berthkeep/Domain/BerthkeepStateEvaluationInput.hpp"
#include "Berthkeep/Domain/BerthkeepStateEvaluationOutput.hpp"

namespace berthkeep {

// The one interface every decision about drives goes through. All three calls are
// synchronous, answer every input and never throw: an implementation that cannot
// answer substitutes the in-app answer or stops the process. No call leaves state
// for the next, so callers may call them in any order.
class BerthkeepCoreHandling {
public:
    virtual ~BerthkeepCoreHandling() = default;

    virtual BerthkeepStateEvaluationOutput
    evaluateState(const BerthkeepStateEvaluationInput& input) = 0;
    virtual BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) = 0;
    virtual BerthkeepActionSummaryOutput
    summarizeAction(const BerthkeepActionSummaryInput& input) = 0;

protected:
    BerthkeepCoreHandling() = default;
    BerthkeepCoreHandling(const BerthkeepCoreHandling&) = default;
    BerthkeepCoreHandling& operator=(const BerthkeepCoreHandling&) = default;
};

} // namespace berthkeep

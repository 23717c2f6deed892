#include "BerthkeepRustBridge/MissingRequiredRustBerthkeepCore.hpp"

#include "BerthkeepShared/BerthkeepFatalError.hpp"

namespace berthkeep {

BerthkeepStateEvaluationOutput
MissingRequiredRustBerthkeepCore::evaluateState(const BerthkeepStateEvaluationInput&) {
    berthkeepFatalError(fatalMessage);
}

BerthkeepActionPlan
MissingRequiredRustBerthkeepCore::planAction(const BerthkeepActionPlanningInput&) {
    berthkeepFatalError(fatalMessage);
}

BerthkeepActionSummaryOutput
MissingRequiredRustBerthkeepCore::summarizeAction(const BerthkeepActionSummaryInput&) {
    berthkeepFatalError(fatalMessage);
}

} // namespace berthkeep

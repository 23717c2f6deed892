#include "CoreDecisions.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepRustBridge/Wire/WireCoding.hpp"

namespace berthkeep::core {

std::string evaluateStateJson(std::string_view request) {
    const BerthkeepStateEvaluationInput input =
        decodeWireStateEvaluationInput(request).domainValue();
    SwiftBerthkeepCore decisionCore;
    return encodeWireJson(WireStateEvaluationOutput::fromDomain(decisionCore.evaluateState(input)));
}

std::string planActionJson(std::string_view request) {
    const BerthkeepActionPlanningInput input = decodeWireActionPlanningInput(request).domainValue();
    SwiftBerthkeepCore decisionCore;
    return encodeWireJson(WireActionPlan::fromDomain(decisionCore.planAction(input)));
}

std::string summarizeActionJson(std::string_view request) {
    const BerthkeepActionSummaryInput input = decodeWireActionSummaryInput(request).domainValue();
    SwiftBerthkeepCore decisionCore;
    return encodeWireJson(WireActionSummaryOutput::fromDomain(decisionCore.summarizeAction(input)));
}

} // namespace berthkeep::core

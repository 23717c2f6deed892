#include "BerthkeepRustBridge/RustBerthkeepCoreBridge.hpp"

#include "BerthkeepRustBridge/MissingRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/Wire/WireCoding.hpp"

namespace berthkeep {

namespace {

// Encoding errors pass unchanged; anything wrong with the answer is invalidResponse.
template <typename Response, typename Request, typename Decode>
Response execute(RustBerthkeepCoreTransport& transport, RustBerthkeepCoreOperation operation,
                 const Request& request, Decode decode) {
    const std::string body = encodeWireJson(request);
    const std::string answer = transport.call(operation, body);
    try {
        return decode(answer);
    } catch (...) {
        throw RustBerthkeepCoreBridgeError::invalidResponse();
    }
}

} // namespace

RustBerthkeepCoreBridge::RustBerthkeepCoreBridge(
    std::shared_ptr<RustBerthkeepCoreTransport> transport)
    : m_transport(transport ? std::move(transport)
                            : std::make_shared<MissingRustBerthkeepCoreTransport>()) {}

BerthkeepStateEvaluationOutput
RustBerthkeepCoreBridge::evaluateState(const BerthkeepStateEvaluationInput& input) const {
    return execute<BerthkeepStateEvaluationOutput>(
        *m_transport, Operation::evaluateState, WireStateEvaluationInput::fromDomain(input),
        [](const std::string& answer) {
            return decodeWireStateEvaluationOutput(answer).domainValue();
        });
}

BerthkeepActionPlan
RustBerthkeepCoreBridge::planAction(const BerthkeepActionPlanningInput& input) const {
    return execute<BerthkeepActionPlan>(
        *m_transport, Operation::planAction, WireActionPlanningInput::fromDomain(input),
        [](const std::string& answer) { return decodeWireActionPlan(answer).domainValue(); });
}

BerthkeepActionSummaryOutput
RustBerthkeepCoreBridge::summarizeAction(const BerthkeepActionSummaryInput& input) const {
    return execute<BerthkeepActionSummaryOutput>(
        *m_transport, Operation::summarizeAction, WireActionSummaryInput::fromDomain(input),
        [](const std::string& answer) {
            return decodeWireActionSummaryOutput(answer).domainValue();
        });
}

} // namespace berthkeep

#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepShared/BerthkeepFatalError.hpp"
#include "platform/Log/ProcessLog.hpp"

namespace berthkeep {

RustBerthkeepCore::RustBerthkeepCore(RustBerthkeepCoreBridge bridge,
                                     std::shared_ptr<BerthkeepCoreHandling> fallback,
                                     FallbackPolicy fallbackPolicy,
                                     std::shared_ptr<ProcessLog> processLog)
    : m_bridge(std::move(bridge))
    , m_fallback(fallback ? std::move(fallback) : std::make_shared<SwiftBerthkeepCore>())
    , m_fallbackPolicy(fallbackPolicy)
    , m_processLog(std::move(processLog)) {}

std::string RustBerthkeepCore::errorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return "unknown error";
    }
}

template <typename Answer>
Answer RustBerthkeepCore::execute(const std::string& operation, const std::function<Answer()>& call,
                                  const std::function<Answer()>& fallback) {
    std::exception_ptr failure;
    try {
        return call();
    } catch (...) {
        failure = std::current_exception();
    }
    const std::string text = errorText(failure);
    if (m_fallbackPolicy == FallbackPolicy::requireRust) {
        berthkeepFatalError("Berthkeep Rust core bridge failed for " + operation + ": " + text);
    }
    const auto log = m_processLog ? m_processLog : ProcessLog::shared();
    if (log) {
        log->write("Berthkeep Rust core fallback for " + operation + ": " + text);
    }
    return fallback();
}

BerthkeepStateEvaluationOutput
RustBerthkeepCore::evaluateState(const BerthkeepStateEvaluationInput& input) {
    return execute<BerthkeepStateEvaluationOutput>(
        toString(RustBerthkeepCoreOperation::evaluateState),
        [&] { return m_bridge.evaluateState(input); },
        [&] { return m_fallback->evaluateState(input); });
}

BerthkeepActionPlan RustBerthkeepCore::planAction(const BerthkeepActionPlanningInput& input) {
    return execute<BerthkeepActionPlan>(
        toString(RustBerthkeepCoreOperation::planAction),
        [&] { return m_bridge.planAction(input); }, [&] { return m_fallback->planAction(input); });
}

BerthkeepActionSummaryOutput
RustBerthkeepCore::summarizeAction(const BerthkeepActionSummaryInput& input) {
    return execute<BerthkeepActionSummaryOutput>(
        toString(RustBerthkeepCoreOperation::summarizeAction),
        [&] { return m_bridge.summarizeAction(input); },
        [&] { return m_fallback->summarizeAction(input); });
}

} // namespace berthkeep

#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCoreBridge.hpp"

namespace berthkeep {

class ProcessLog;

// The decision core answered by the core library or its helper. When the bridge
// fails, the call either answers with the fallback core and writes one process-log
// line ("Berthkeep Rust core fallback for <operation>: <error>"), or, when the
// library is required, stops the process ("Berthkeep Rust core bridge failed for
// <operation>: <error>"). No state: a failure changes nothing for the next call.
class RustBerthkeepCore final : public BerthkeepCoreHandling {
public:
    enum class FallbackPolicy { swiftFallback, requireRust };

    // processLog: where fallback lines go; the shared process log at each call when
    // null.
    RustBerthkeepCore(RustBerthkeepCoreBridge bridge,
                      std::shared_ptr<BerthkeepCoreHandling> fallback,
                      FallbackPolicy fallbackPolicy,
                      std::shared_ptr<ProcessLog> processLog = nullptr);

    BerthkeepStateEvaluationOutput
    evaluateState(const BerthkeepStateEvaluationInput& input) override;
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) override;
    BerthkeepActionSummaryOutput summarizeAction(const BerthkeepActionSummaryInput& input) override;

    const RustBerthkeepCoreBridge& bridge() const noexcept { return m_bridge; }
    FallbackPolicy fallbackPolicy() const noexcept { return m_fallbackPolicy; }

    // The error's text in the fallback and fatal lines: a bridge error rendered
    // from its case and payload, any other exception's own description.
    static std::string errorText(const std::exception_ptr& error);

private:
    template <typename Answer>
    Answer execute(const std::string& operation, const std::function<Answer()>& call,
                   const std::function<Answer()>& fallback);

    RustBerthkeepCoreBridge m_bridge;
    std::shared_ptr<BerthkeepCoreHandling> m_fallback;
    FallbackPolicy m_fallbackPolicy;
    std::shared_ptr<ProcessLog> m_processLog;
};

} // namespace berthkeep

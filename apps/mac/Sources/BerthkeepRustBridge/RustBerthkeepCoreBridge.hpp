#pragma once

#include <memory>

#include "Berthkeep/Domain/BerthkeepActionPlan.hpp"
#include "Berthkeep/Domain/BerthkeepActionPlanningInput.hpp"
#include "Berthkeep/Domain/BerthkeepActionSummaryInput.hpp"
#include "Berthkeep/Domain/BerthkeepActionSummaryOutput.hpp"
#include "Berthkeep/Domain/BerthkeepStateEvaluationInput.hpp"
#include "Berthkeep/Domain/BerthkeepStateEvaluationOutput.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCoreBridgeError.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCoreTransport.hpp"
#include "BerthkeepShared/BerthkeepFileManager.hpp"
#include "BerthkeepShared/BerthkeepProcessInfo.hpp"

namespace berthkeep {

// One JSON request per decision: the domain input becomes its wire record, is
// encoded (compact, snake_case keys), handed to the transport, and the answer is
// decoded back into the domain record. Holds no state besides the transport; every
// call stands alone.
class RustBerthkeepCoreBridge {
public:
    using Operation = RustBerthkeepCoreOperation;
    using BridgeError = RustBerthkeepCoreBridgeError;

    // A null transport is replaced by the missing one.
    explicit RustBerthkeepCoreBridge(std::shared_ptr<RustBerthkeepCoreTransport> transport);

    // Each throws what encoding or the transport throws, unchanged, and
    // invalidResponse when the answer does not decode (never a partial answer).
    BerthkeepStateEvaluationOutput evaluateState(const BerthkeepStateEvaluationInput& input) const;
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) const;
    BerthkeepActionSummaryOutput summarizeAction(const BerthkeepActionSummaryInput& input) const;

    const std::shared_ptr<RustBerthkeepCoreTransport>& transport() const noexcept {
        return m_transport;
    }

    // The library when it is found and loads with all its entry points, else the
    // helper executable when one is found, else null. A library that fails to load
    // yields silently to the helper. Searched afresh on every call.
    static std::shared_ptr<RustBerthkeepCoreTransport>
    makeDefaultTransport(const BerthkeepProcessInfo& processInfo,
                         const BerthkeepFileManager& fileManager);

private:
    std::shared_ptr<RustBerthkeepCoreTransport> m_transport;
};

} // namespace berthkeep

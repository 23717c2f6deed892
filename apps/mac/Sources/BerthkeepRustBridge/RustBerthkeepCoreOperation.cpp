#include "BerthkeepRustBridge/RustBerthkeepCoreOperation.hpp"

namespace berthkeep {

std::string toString(RustBerthkeepCoreOperation operation) {
    switch (operation) {
    case RustBerthkeepCoreOperation::evaluateState:
        return "evaluate-state";
    case RustBerthkeepCoreOperation::planAction:
        return "plan-action";
    case RustBerthkeepCoreOperation::summarizeAction:
        return "summarize-action";
    }
    return "evaluate-state";
}

std::optional<RustBerthkeepCoreOperation>
rustBerthkeepCoreOperationFromString(std::string_view text) {
    for (const auto operation :
         {RustBerthkeepCoreOperation::evaluateState, RustBerthkeepCoreOperation::planAction,
          RustBerthkeepCoreOperation::summarizeAction}) {
        if (toString(operation) == text) {
            return operation;
        }
    }
    return std::nullopt;
}

} // namespace berthkeep

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// The three decision operations. The raw value names the operation on the
// helper's command line and in the core's log and fatal lines.
enum class RustBerthkeepCoreOperation { evaluateState, planAction, summarizeAction };

// "evaluate-state", "plan-action", "summarize-action".
std::string toString(RustBerthkeepCoreOperation operation);
std::optional<RustBerthkeepCoreOperation>
rustBerthkeepCoreOperationFromString(std::string_view text);

} // namespace berthkeep

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

enum class BerthkeepLogCategory { reliability, inventory, state, settings };

// The unified-log category: "Reliability", "Inventory", "State", "Settings".
std::string toString(BerthkeepLogCategory category);
std::optional<BerthkeepLogCategory> berthkeepLogCategoryFromString(std::string_view text);

} // namespace berthkeep

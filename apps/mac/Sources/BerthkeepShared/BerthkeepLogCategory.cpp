#include "BerthkeepShared/BerthkeepLogCategory.hpp"

namespace berthkeep {

std::string toString(BerthkeepLogCategory category) {
    switch (category) {
    case BerthkeepLogCategory::reliability:
        return "Reliability";
    case BerthkeepLogCategory::inventory:
        return "Inventory";
    case BerthkeepLogCategory::state:
        return "State";
    case BerthkeepLogCategory::settings:
        return "Settings";
    }
    return "Reliability";
}

std::optional<BerthkeepLogCategory> berthkeepLogCategoryFromString(std::string_view text) {
    for (auto category : {BerthkeepLogCategory::reliability, BerthkeepLogCategory::inventory,
                          BerthkeepLogCategory::state, BerthkeepLogCategory::settings}) {
        if (toString(category) == text) {
            return category;
        }
    }
    return std::nullopt;
}

} // namespace berthkeep

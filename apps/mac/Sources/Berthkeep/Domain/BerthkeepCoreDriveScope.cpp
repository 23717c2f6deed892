#include "Berthkeep/Domain/BerthkeepCoreDriveScope.hpp"

namespace berthkeep {

std::string toString(BerthkeepCoreDriveScope scope) {
    switch (scope) {
    case BerthkeepCoreDriveScope::managed:
        return "managed";
    case BerthkeepCoreDriveScope::excluded:
        return "excluded";
    }
    return {};
}

std::optional<BerthkeepCoreDriveScope> coreDriveScopeFromString(std::string_view text) {
    if (text == "managed") {
        return BerthkeepCoreDriveScope::managed;
    }
    if (text == "excluded") {
        return BerthkeepCoreDriveScope::excluded;
    }
    return std::nullopt;
}

} // namespace berthkeep

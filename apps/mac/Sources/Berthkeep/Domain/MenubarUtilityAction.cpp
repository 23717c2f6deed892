#include "Berthkeep/Domain/MenubarUtilityAction.hpp"

namespace berthkeep {

std::string toString(MenubarUtilityAction::Kind kind) {
    switch (kind) {
    case MenubarUtilityAction::Kind::ejectAll:
        return "ejectAll";
    case MenubarUtilityAction::Kind::ejectAndSleep:
        return "ejectAndSleep";
    }
    return {};
}

std::optional<MenubarUtilityAction::Kind>
MenubarUtilityAction::kindFromString(std::string_view text) {
    if (text == "ejectAll") {
        return Kind::ejectAll;
    }
    if (text == "ejectAndSleep") {
        return Kind::ejectAndSleep;
    }
    return std::nullopt;
}

std::string MenubarUtilityAction::id() const {
    return toString(kind);
}

} // namespace berthkeep

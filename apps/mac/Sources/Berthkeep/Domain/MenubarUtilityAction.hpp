#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// A whole-set action of the menu's utility rows ("Eject All", "Eject & Sleep").
struct MenubarUtilityAction {
    enum class Kind {
        ejectAll,
        ejectAndSleep,
    };

    Kind kind = Kind::ejectAll;
    std::string title;
    bool isEnabled = true;

    // Identity for list diffing: the kind's string value.
    std::string id() const;

    // String value ("ejectAll", "ejectAndSleep"); any other string gives no kind.
    static std::optional<Kind> kindFromString(std::string_view text);

    bool operator==(const MenubarUtilityAction&) const = default;
};

std::string toString(MenubarUtilityAction::Kind kind);

} // namespace berthkeep

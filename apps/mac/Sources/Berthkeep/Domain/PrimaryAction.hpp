#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// The menu's primary (or secondary) action.
struct PrimaryAction {
    enum class Kind {
        ejectAndSleep,
        retryEject,
    };

    Kind kind = Kind::ejectAndSleep;
    std::string title;
    bool isEnabled = true;

    // Identity for list diffing: the kind's string value.
    std::string id() const;

    static PrimaryAction ejectAndSleep();
    static PrimaryAction disabledEjectAndSleep();
    static PrimaryAction retryEject();

    // "Eject Drives & Sleep" / "Retry Eject".
    static std::string defaultTitle(Kind kind);
    // String value ("ejectAndSleep", "retryEject"); any other string gives no kind.
    static std::optional<Kind> kindFromString(std::string_view text);

    bool operator==(const PrimaryAction&) const = default;
};

std::string toString(PrimaryAction::Kind kind);

} // namespace berthkeep

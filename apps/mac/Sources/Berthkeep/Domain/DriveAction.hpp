#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// A per-drive menu action (at most one per row).
struct DriveAction {
    enum class Kind {
        mount,
        eject,
    };

    std::string driveID;
    std::string driveName;
    Kind kind = Kind::eject;
    std::string title;
    bool isEnabled = true;

    // Identity for list diffing: kind string, ":" and the drive id ("eject:disk4").
    std::string id() const;

    // String value ("mount", "eject"); any other string gives no kind.
    static std::optional<Kind> kindFromString(std::string_view text);

    bool operator==(const DriveAction&) const = default;
};

std::string toString(DriveAction::Kind kind);

} // namespace berthkeep

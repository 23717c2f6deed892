#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// Whether the user lets the program manage a drive.
enum class BerthkeepCoreDriveScope {
    managed,
    excluded,
};

// Raw value ("managed", "excluded"); the "from" side is exact and case-sensitive.
std::string toString(BerthkeepCoreDriveScope scope);
std::optional<BerthkeepCoreDriveScope> coreDriveScopeFromString(std::string_view text);

} // namespace berthkeep

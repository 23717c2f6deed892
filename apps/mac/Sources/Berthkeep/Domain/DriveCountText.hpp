#pragma once

#include <cstdint>
#include <string>

namespace berthkeep {

// "1 drive", "0 drives", "3 drives": every count text the user sees goes through this,
// so singular is used for exactly one and nothing else (negatives included).
std::string driveCountText(std::int64_t count);

// The bare noun for a count: "drive" for exactly one, "drives" otherwise.
std::string driveNoun(std::int64_t count);

} // namespace berthkeep

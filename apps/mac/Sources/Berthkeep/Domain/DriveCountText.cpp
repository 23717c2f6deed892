#include "Berthkeep/Domain/DriveCountText.hpp"

namespace berthkeep {

std::string driveNoun(std::int64_t count) {
    return count == 1 ? "drive" : "drives";
}

std::string driveCountText(std::int64_t count) {
    return std::to_string(count) + " " + driveNoun(count);
}

} // namespace berthkeep

#pragma once

#include <filesystem>
#include <vector>

namespace berthkeep {

struct LandingScreenshotExportResult {
    std::filesystem::path directory;
    // One per written file, in slot order.
    std::vector<std::filesystem::path> files;
};

} // namespace berthkeep

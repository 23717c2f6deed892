#pragma once

#include <string>

namespace berthkeep {

// Where a write of `path` lands, and what a set-aside of it keeps: the path
// itself, or where its chain of symbolic links ends (which need not exist).
std::string resolvedTarget(const std::string& path);

} // namespace berthkeep

#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "BerthkeepShared/ProcessRunner.hpp"

namespace berthkeep {

// The child-process request every disk-tool run (`diskutil`, `hdiutil`) starts
// with: the inventory's lookups and the drive actions alike.
namespace DiskToolProcessRequest {

// A negative duration waits not at all.
std::chrono::milliseconds clampedInterval(std::chrono::milliseconds duration);

// The time-out and grace period clamped as above.
ProcessRequest make(std::string executablePath, std::vector<std::string> arguments,
                    std::chrono::milliseconds timeout,
                    std::chrono::milliseconds terminationGracePeriod);

} // namespace DiskToolProcessRequest

} // namespace berthkeep

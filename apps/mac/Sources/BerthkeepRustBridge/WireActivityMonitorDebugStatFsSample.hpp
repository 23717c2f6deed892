#pragma once

#include <cstdint>

namespace berthkeep {

// One file-system statistics sample; for logging only.
struct WireActivityMonitorDebugStatFsSample {
    std::uint64_t blockSize = 0;
    std::uint64_t blocksTotal = 0;
    std::uint64_t blocksFree = 0;
    std::uint64_t blocksAvailable = 0;
    std::uint64_t usedBytes = 0;
    std::uint64_t freeBytes = 0;
    std::uint64_t availableBytes = 0;
    std::uint64_t sampleAgeMs = 0;

    bool operator==(const WireActivityMonitorDebugStatFsSample&) const = default;
};

} // namespace berthkeep

#pragma once

#include <chrono>
#include <string>

#include "Berthkeep/Inventory/DiskImageListing.hpp"

namespace berthkeep {

// Lists attached disk images with `hdiutil info -plist`. Any failure (no start,
// non-zero exit, time-out, unreadable output) gives an empty map, so the
// inventory goes on without disk-image knowledge. The child gets the same
// deadline and kill rule as `diskutil`: a hung `hdiutil` must not hold up the
// inventory forever.
class LiveDiskImageRegistry final : public DiskImageListing {
public:
    static constexpr const char* defaultExecutablePath = "/usr/bin/hdiutil";
    static constexpr std::chrono::milliseconds defaultTimeout{5000};
    static constexpr std::chrono::milliseconds defaultTerminationGracePeriod{250};

    explicit LiveDiskImageRegistry(
        std::string executablePath = defaultExecutablePath,
        std::chrono::milliseconds timeout = defaultTimeout,
        std::chrono::milliseconds terminationGracePeriod = defaultTerminationGracePeriod);

    std::map<std::string, DiskImageAttachment> currentImagesByDeviceIdentifier() const override;

private:
    std::string m_executablePath;
    std::chrono::milliseconds m_timeout;
    std::chrono::milliseconds m_terminationGracePeriod;
};

} // namespace berthkeep

#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace berthkeep {

// A failed `diskutil` command: an error domain, a code (124 for a time-out, -1 for
// an output too large to be an answer, else the exit status) and a description.
class DiskUtilityError : public std::runtime_error {
public:
    static constexpr const char* errorDomain = "MountedVolumeInventoryService.diskutil";
    static constexpr std::int64_t timedOutCode = 124;
    // No exit status can be negative, so this one is never mistaken for one.
    static constexpr std::int64_t outputTooLargeCode = -1;

    DiskUtilityError(std::int64_t code, std::string localizedDescription);

    const std::string& domain() const noexcept { return m_domain; }
    std::int64_t code() const noexcept { return m_code; }
    const std::string& localizedDescription() const noexcept { return m_localizedDescription; }

private:
    std::string m_domain;
    std::int64_t m_code;
    std::string m_localizedDescription;
};

} // namespace berthkeep

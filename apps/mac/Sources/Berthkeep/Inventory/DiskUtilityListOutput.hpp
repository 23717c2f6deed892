#pragma once

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// The decoded `diskutil list -plist external`: only "AllDisks" is read.
struct DiskUtilityListOutput {
    std::vector<std::string> allDisks;

    bool operator==(const DiskUtilityListOutput&) const = default;

    // Nothing when the bytes are not an XML property list, or "AllDisks" is
    // missing or is not an array of strings.
    static std::optional<DiskUtilityListOutput> decode(const std::string& bytes);
};

} // namespace berthkeep

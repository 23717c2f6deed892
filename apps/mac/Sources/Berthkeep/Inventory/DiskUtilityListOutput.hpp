#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

// The decoded `diskutil list -plist external`: "AllDisks", plus what
// "AllDisksAndPartitions" says of each device (its own keys, without the
// partitions or volumes nested under a whole disk), by device identifier.
struct DiskUtilityListOutput {
    std::vector<std::string> allDisks;
    // Mount point, volume name, content and size as listed: they change when a
    // volume is mounted, unmounted or renamed, even before the disk service
    // has told of it. Empty when the listing has no such part or it is malformed.
    std::map<std::string, PropertyListValue> entriesByIdentifier;

    bool operator==(const DiskUtilityListOutput&) const = default;

    // Nothing when the bytes are not an XML property list, or "AllDisks" is
    // missing or is not an array of strings.
    static std::optional<DiskUtilityListOutput> decode(const std::string& bytes);
};

} // namespace berthkeep

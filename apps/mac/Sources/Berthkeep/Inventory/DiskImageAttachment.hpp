#pragma once

#include <optional>
#include <string>

namespace berthkeep {

// The image file a device belongs to. A device listed by the registry has an
// attachment even when the image path is unknown.
struct DiskImageAttachment {
    std::optional<std::string> imagePath;

    bool operator==(const DiskImageAttachment&) const = default;
};

} // namespace berthkeep

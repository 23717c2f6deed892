#pragma once

#include <QUrl>

#include <optional>
#include <string>

namespace berthkeep {

struct DiskDescriptionValues;

// The disk service's values the program reads for one disk. A value the service
// does not give stays absent.
struct DiskArbitrationDiskDescription {
    std::optional<bool> deviceInternal;
    std::optional<std::string> deviceProtocol;
    std::optional<bool> mediaEjectable;
    std::optional<bool> mediaLeaf;
    std::optional<bool> mediaRemovable;
    std::optional<bool> mediaWhole;
    std::optional<std::string> volumeName;
    // Canonical upper-case form without braces, e.g. "0A1B2C3D-...".
    std::optional<std::string> volumeUUIDString;
    std::optional<bool> volumeMountable;
    std::optional<bool> volumeNetwork;
    std::optional<QUrl> volumePath; // file URL of the mount point

    bool operator==(const DiskArbitrationDiskDescription&) const = default;

    static DiskArbitrationDiskDescription make(const DiskDescriptionValues& values);
};

} // namespace berthkeep

#pragma once

#include <QUrl>

#include <optional>
#include <string>

#include "platform/MountedVolumes/MountedVolumeListing.hpp"

namespace berthkeep {

// One mounted volume as the file manager reports it (its resource values),
// completed from the disk service's description of the same mount path.
struct MountedVolumeFacts : VolumeResourceValues {
    QUrl mountURL; // the standardized URL; normally a file URL
    std::optional<std::string> bsdName;

    bool operator==(const MountedVolumeFacts&) const = default;
};

} // namespace berthkeep

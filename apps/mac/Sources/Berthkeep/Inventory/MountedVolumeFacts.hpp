#pragma once

#include <QUrl>

#include <optional>
#include <string>

namespace berthkeep {

// One mounted volume as the file manager reports it, completed from the disk
// service's description of the same mount path.
struct MountedVolumeFacts {
    QUrl mountURL; // the standardized URL; normally a file URL
    std::optional<std::string> bsdName;
    std::optional<std::string> volumeUUIDString;
    std::optional<std::string> volumeLocalizedName;
    std::optional<std::string> volumeName;
    std::optional<bool> volumeIsBrowsable;
    std::optional<bool> volumeIsEjectable;
    std::optional<bool> volumeIsInternal;
    std::optional<bool> volumeIsLocal;
    std::optional<bool> volumeIsRemovable;

    bool operator==(const MountedVolumeFacts&) const = default;
};

} // namespace berthkeep

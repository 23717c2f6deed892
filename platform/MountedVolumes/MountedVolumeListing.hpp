#pragma once

#include <QUrl>

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace berthkeep {

// The per-volume values the file manager can be asked for.
enum class VolumeResourceKey {
    volumeUUIDString,
    volumeLocalizedName,
    volumeName,
    volumeIsBrowsable,
    volumeIsEjectable,
    volumeIsInternal,
    volumeIsLocal,
    volumeIsRemovable,
};

std::string toString(VolumeResourceKey key);
std::optional<VolumeResourceKey> volumeResourceKeyFromString(const std::string& text);
const std::set<VolumeResourceKey>& allVolumeResourceKeys();

// The file URL of a mount point as the listing and the disk service hand it out:
// a directory URL, with a trailing slash, so one volume has one URL whichever
// layer reports it.
QUrl volumeDirectoryURL(const std::string& path);

// The answer for one volume; a key not asked for, or not known for the volume,
// stays absent.
struct VolumeResourceValues {
    std::optional<std::string> volumeUUIDString;
    std::optional<std::string> volumeLocalizedName;
    std::optional<std::string> volumeName;
    std::optional<bool> volumeIsBrowsable;
    std::optional<bool> volumeIsEjectable;
    std::optional<bool> volumeIsInternal;
    std::optional<bool> volumeIsLocal;
    std::optional<bool> volumeIsRemovable;

    bool operator==(const VolumeResourceValues&) const = default;
};

struct MountedVolumeListingOptions {
    bool skipHiddenVolumes = false;
};

class VolumeResourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file manager's list of mounted volumes.
class MountedVolumeListing {
public:
    virtual ~MountedVolumeListing() = default;

    // File URLs of the mounted volumes (directory URLs, with a trailing slash), in
    // the listing's own order; none when the listing has no answer. The keys say
    // which values will be asked for (a hint for prefetching).
    virtual std::optional<std::vector<QUrl>>
    mountedVolumeURLs(const std::set<VolumeResourceKey>& keys,
                      MountedVolumeListingOptions options) const = 0;
    // Throws VolumeResourceError when the values cannot be read.
    virtual VolumeResourceValues resourceValues(const QUrl& volumeURL,
                                                const std::set<VolumeResourceKey>& keys) const = 0;
};

} // namespace berthkeep

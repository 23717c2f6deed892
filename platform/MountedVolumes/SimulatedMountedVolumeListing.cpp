#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"

#include <algorithm>

namespace berthkeep {

namespace {

std::string normalisedPath(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool omitted(const SimulatedVolume& volume, VolumeResourceKey key) {
    const std::string name = toString(key);
    return std::find(volume.omittedResourceKeys.begin(), volume.omittedResourceKeys.end(), name) !=
           volume.omittedResourceKeys.end();
}

// Fills only the asked-for keys that the volume answers.
struct ValueFiller {
    const std::set<VolumeResourceKey>& keys;
    const SimulatedVolume* volume; // none for network volumes
    VolumeResourceValues values;

    template <typename T>
    void set(VolumeResourceKey key, std::optional<T>& field, std::optional<T> value) {
        if (!keys.count(key) || (volume && omitted(*volume, key))) {
            return;
        }
        field = std::move(value);
    }
};

} // namespace

SimulatedMountedVolumeListing::SimulatedMountedVolumeListing(SimulatedStateFile stateFile)
    : m_stateFile(std::move(stateFile)) {}

std::optional<std::vector<QUrl>>
SimulatedMountedVolumeListing::mountedVolumeURLs(const std::set<VolumeResourceKey>& /*keys*/,
                                                 MountedVolumeListingOptions options) const {
    SimulatedWorld world;
    try {
        world = m_stateFile.read();
    } catch (const SimulatedStateError&) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const auto& disk : world.disks) {
        for (const auto& volume : disk.volumes) {
            if (!volume.mounted || !volume.mountPath) {
                continue;
            }
            if (volume.hidden && options.skipHiddenVolumes) {
                continue;
            }
            paths.push_back(*volume.mountPath);
        }
    }
    std::stable_partition(paths.begin(), paths.end(),
                          [](const std::string& path) { return path == "/"; });
    for (const auto& share : world.networkVolumes) {
        paths.push_back(share.mountPath);
    }
    std::vector<QUrl> urls;
    urls.reserve(paths.size());
    for (const auto& path : paths) {
        urls.push_back(volumeDirectoryURL(path));
    }
    return urls;
}

VolumeResourceValues
SimulatedMountedVolumeListing::resourceValues(const QUrl& volumeURL,
                                              const std::set<VolumeResourceKey>& keys) const {
    if (!volumeURL.isLocalFile()) {
        throw VolumeResourceError("not a file URL: " + volumeURL.toString().toStdString());
    }
    const std::string path = normalisedPath(volumeURL.toLocalFile().toStdString());
    SimulatedWorld world;
    try {
        world = m_stateFile.read();
    } catch (const SimulatedStateError& error) {
        throw VolumeResourceError(error.what());
    }
    for (const auto& disk : world.disks) {
        for (const auto& volume : disk.volumes) {
            if (!volume.mounted || !volume.mountPath || normalisedPath(*volume.mountPath) != path) {
                continue;
            }
            if (volume.resourceValuesFail) {
                throw VolumeResourceError("cannot read the resource values of " + path);
            }
            const SimulatedDisk& physical = *world.physicalDiskOf(disk);
            ValueFiller filler{keys, &volume, {}};
            auto& v = filler.values;
            filler.set(VolumeResourceKey::volumeUUIDString, v.volumeUUIDString, volume.volumeUUID);
            filler.set(VolumeResourceKey::volumeLocalizedName, v.volumeLocalizedName,
                       volume.volumeName);
            filler.set(VolumeResourceKey::volumeName, v.volumeName, volume.volumeName);
            filler.set(VolumeResourceKey::volumeIsBrowsable, v.volumeIsBrowsable,
                       std::optional<bool>(!volume.hidden));
            filler.set(VolumeResourceKey::volumeIsEjectable, v.volumeIsEjectable,
                       std::optional<bool>(physical.ejectable));
            filler.set(VolumeResourceKey::volumeIsInternal, v.volumeIsInternal,
                       std::optional<bool>(physical.internal));
            filler.set(VolumeResourceKey::volumeIsLocal, v.volumeIsLocal,
                       std::optional<bool>(true));
            filler.set(VolumeResourceKey::volumeIsRemovable, v.volumeIsRemovable,
                       std::optional<bool>(physical.removable));
            return filler.values;
        }
    }
    for (const auto& share : world.networkVolumes) {
        if (normalisedPath(share.mountPath) != path) {
            continue;
        }
        ValueFiller filler{keys, nullptr, {}};
        auto& v = filler.values;
        filler.set(VolumeResourceKey::volumeUUIDString, v.volumeUUIDString, share.volumeUUID);
        filler.set(VolumeResourceKey::volumeLocalizedName, v.volumeLocalizedName,
                   std::optional<std::string>(share.name));
        filler.set(VolumeResourceKey::volumeName, v.volumeName,
                   std::optional<std::string>(share.name));
        filler.set(VolumeResourceKey::volumeIsBrowsable, v.volumeIsBrowsable,
                   std::optional<bool>(true));
        filler.set(VolumeResourceKey::volumeIsEjectable, v.volumeIsEjectable,
                   std::optional<bool>(true));
        filler.set(VolumeResourceKey::volumeIsLocal, v.volumeIsLocal, std::optional<bool>(false));
        filler.set(VolumeResourceKey::volumeIsRemovable, v.volumeIsRemovable,
                   std::optional<bool>(false));
        return filler.values;
    }
    throw VolumeResourceError("no mounted volume at " + path);
}

} // namespace berthkeep

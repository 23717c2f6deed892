#include "platform/MountedVolumes/MountedVolumeListing.hpp"

#include <QString>

namespace berthkeep {

std::string toString(VolumeResourceKey key) {
    switch (key) {
    case VolumeResourceKey::volumeUUIDString:
        return "volumeUUIDString";
    case VolumeResourceKey::volumeLocalizedName:
        return "volumeLocalizedName";
    case VolumeResourceKey::volumeName:
        return "volumeName";
    case VolumeResourceKey::volumeIsBrowsable:
        return "volumeIsBrowsable";
    case VolumeResourceKey::volumeIsEjectable:
        return "volumeIsEjectable";
    case VolumeResourceKey::volumeIsInternal:
        return "volumeIsInternal";
    case VolumeResourceKey::volumeIsLocal:
        return "volumeIsLocal";
    case VolumeResourceKey::volumeIsRemovable:
        return "volumeIsRemovable";
    }
    return {};
}

const std::set<VolumeResourceKey>& allVolumeResourceKeys() {
    static const std::set<VolumeResourceKey> keys{
        VolumeResourceKey::volumeUUIDString,  VolumeResourceKey::volumeLocalizedName,
        VolumeResourceKey::volumeName,        VolumeResourceKey::volumeIsBrowsable,
        VolumeResourceKey::volumeIsEjectable, VolumeResourceKey::volumeIsInternal,
        VolumeResourceKey::volumeIsLocal,     VolumeResourceKey::volumeIsRemovable,
    };
    return keys;
}

QUrl volumeDirectoryURL(const std::string& path) {
    QString text = QString::fromStdString(path);
    if (!text.endsWith(QLatin1Char('/'))) {
        text += QLatin1Char('/');
    }
    return QUrl::fromLocalFile(text);
}

std::optional<VolumeResourceKey> volumeResourceKeyFromString(const std::string& text) {
    for (auto key : allVolumeResourceKeys()) {
        if (toString(key) == text) {
            return key;
        }
    }
    return std::nullopt;
}

} // namespace berthkeep

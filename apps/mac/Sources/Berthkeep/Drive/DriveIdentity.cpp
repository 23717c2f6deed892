#include "Berthkeep/Drive/DriveIdentity.hpp"

#include <algorithm>
#include <cctype>

namespace berthkeep {

namespace {

bool sameUUID(const std::optional<std::string>& recorded, const std::optional<std::string>& now) {
    return now && recorded->size() == now->size() &&
           std::equal(recorded->begin(), recorded->end(), now->begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

} // namespace

bool DriveIdentity::isEmpty() const {
    return !volumeUUID && !diskUUID && !mediaName && !sizeBytes && !busPath;
}

bool DriveIdentity::matches(const DriveIdentity& now) const {
    if (volumeUUID) {
        return sameUUID(volumeUUID, now.volumeUUID);
    }
    if (diskUUID) {
        return sameUUID(diskUUID, now.diskUUID);
    }
    if (isEmpty()) {
        return false;
    }
    return mediaName == now.mediaName && sizeBytes == now.sizeBytes && busPath == now.busPath;
}

} // namespace berthkeep

#pragma once

#include <QUrl>

#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep::storetest {

// A drive as the inventory would hand it out; mounted under /Volumes/<name>.
inline DetectedDrive drive(const std::string& id, const std::string& name, bool mounted = true,
                           DetectedDrive::Scope scope = DetectedDrive::Scope::managed,
                           std::optional<std::string> bsdName = std::nullopt,
                           std::optional<std::string> ejectGroupID = std::nullopt) {
    std::optional<QUrl> mountURL;
    if (mounted) {
        mountURL = QUrl::fromLocalFile(QString::fromStdString("/Volumes/" + name + "/"));
    }
    if (!bsdName) {
        bsdName = id + "s1";
    }
    return DetectedDrive(id, name, mountURL, scope, true, bsdName, std::nullopt,
                         ejectGroupID ? ejectGroupID : std::optional<std::string>(id));
}

inline DetectedDrive excluded(const std::string& id, const std::string& name, bool mounted = true) {
    return drive(id, name, mounted, DetectedDrive::Scope::excluded);
}

} // namespace berthkeep::storetest

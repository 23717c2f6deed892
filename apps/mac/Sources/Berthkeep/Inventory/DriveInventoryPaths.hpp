#pragma once

#include <QUrl>

#include <string>

namespace berthkeep {

// Mount paths and their URLs, read the same way on every inventory path.
namespace DriveInventoryPaths {

// The URL's path as a file-system path: no trailing slash except for "/".
std::string filePath(const QUrl& url);

// The last component of the path ("/Volumes/USB/" gives "USB"); "/" for the root
// and "" for an empty path.
std::string lastPathComponent(const QUrl& url);

} // namespace DriveInventoryPaths

} // namespace berthkeep

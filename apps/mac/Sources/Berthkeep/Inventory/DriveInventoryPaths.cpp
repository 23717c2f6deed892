#include "Berthkeep/Inventory/DriveInventoryPaths.hpp"

namespace berthkeep::DriveInventoryPaths {

std::string filePath(const QUrl& url) {
    std::string path = url.path().toStdString();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string lastPathComponent(const QUrl& url) {
    const std::string path = filePath(url);
    if (path == "/") {
        return path;
    }
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace berthkeep::DriveInventoryPaths

#include "BerthkeepShared/LiveFileManager.hpp"

#include <cerrno>
#include <climits>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace berthkeep {

bool LiveFileManager::fileExistsAtPath(const std::string& path) const {
    if (path.empty()) {
        return false;
    }
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool LiveFileManager::isExecutableFileAtPath(const std::string& path) const {
    if (path.empty()) {
        return false;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    return ::access(path.c_str(), X_OK) == 0;
}

std::string LiveFileManager::currentDirectoryPath() const {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

} // namespace berthkeep

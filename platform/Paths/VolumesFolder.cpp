#include "platform/Paths/VolumesFolder.hpp"

namespace berthkeep {

VolumesFolder::VolumesFolder(std::string path)
    : m_path(std::move(path)) {
    while (m_path.size() > 1 && m_path.back() == '/') {
        m_path.pop_back();
    }
}

bool VolumesFolder::contains(const std::string& path) const {
    if (m_path.empty() || m_path.front() != '/') {
        return false;
    }
    if (path == m_path) {
        return true;
    }
    // The root folder already ends in the separator every path below it starts with.
    const std::string prefix = m_path == "/" ? m_path : m_path + "/";
    return path.compare(0, prefix.size(), prefix) == 0;
}

} // namespace berthkeep

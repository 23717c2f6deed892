#include "ActivityMonitorProcessNameCache.hpp"

namespace berthkeep::core {

namespace {

// The kernel keeps at most this much of the file name a program was started by.
constexpr std::size_t kShortestCutName = 15;

// The name the kernel gave at exec from the executable's file name, cut or whole.
bool isExecutableName(std::string_view name, std::string_view executable) {
    const std::size_t slash = executable.rfind('/');
    const std::string_view fileName =
        slash == std::string_view::npos ? executable : executable.substr(slash + 1);
    if (name.empty() || fileName.empty()) {
        return false;
    }
    return name == fileName ||
           (name.size() >= kShortestCutName && fileName.substr(0, name.size()) == name);
}

} // namespace

ProcessNameCache::ProcessNameCache(Clock::duration rereadAfter)
    : m_rereadAfter(rereadAfter) {}

void ProcessNameCache::startScan(Clock::time_point now) {
    m_now = now;
    ++m_scan;
}

void ProcessNameCache::finishScan() {
    std::erase_if(m_entries, [this](const auto& entry) { return entry.second.scan != m_scan; });
}

std::optional<std::string_view> ProcessNameCache::find(const Process& process) {
    const auto found = m_entries.find(process.pid);
    if (found == m_entries.end()) {
        return std::nullopt;
    }
    Entry& entry = found->second;
    if (process.executable.empty() || entry.directory != process.directory ||
        entry.executable != process.executable || m_now - entry.readAt >= m_rereadAfter) {
        return std::nullopt;
    }
    entry.scan = m_scan;
    return std::string_view(entry.name);
}

void ProcessNameCache::keep(const Process& process, std::string_view name) {
    if (!isExecutableName(name, process.executable)) {
        m_entries.erase(process.pid);
        return;
    }
    Entry& entry = m_entries[process.pid];
    entry.directory = process.directory;
    entry.executable.assign(process.executable);
    entry.name.assign(name);
    entry.readAt = m_now;
    entry.scan = m_scan;
}

} // namespace berthkeep::core

#include "ActivityMonitorQuietProcessCache.hpp"

#include <fstream>

namespace berthkeep::core {

QuietProcessCache::Clock::duration
QuietProcessCache::defaultQuietPeriod(const std::string& tickless) {
    // Absent without tickless support; "(null)" or empty when no processor runs so.
    std::string processors;
    std::ifstream(tickless) >> processors;
    const bool anyTickless = !processors.empty() && processors != "(null)";
    return anyTickless ? std::chrono::milliseconds(2500) : std::chrono::milliseconds(100);
}

QuietProcessCache::QuietProcessCache()
    : QuietProcessCache(defaultQuietPeriod()) {}

QuietProcessCache::QuietProcessCache(Clock::duration quietPeriod)
    : m_quietPeriod(quietPeriod) {}

void QuietProcessCache::startScan(Clock::time_point now, const std::vector<std::string>& roots,
                                  const ViewerMatcher* viewers) {
    const bool sameViewers = viewers ? m_viewers && *m_viewers == *viewers : !m_viewers;
    if (roots != m_roots || !sameViewers) {
        m_entries.clear();
        m_roots = roots;
        m_viewers = viewers ? std::optional<ViewerMatcher>(*viewers) : std::nullopt;
    }
    m_now = now;
    ++m_scan;
}

void QuietProcessCache::finishScan() {
    std::erase_if(m_entries, [this](const auto& entry) { return entry.second.scan != m_scan; });
}

const QuietProcessCache::Holdings* QuietProcessCache::find(pid_t pid, const Activity& activity) {
    const auto found = m_entries.find(pid);
    if (found == m_entries.end()) {
        return nullptr;
    }
    Entry& entry = found->second;
    if (entry.activity != activity) {
        m_entries.erase(found);
        return nullptr;
    }
    if (m_now - entry.quietSince < m_quietPeriod) {
        return nullptr;
    }
    entry.scan = m_scan;
    ++m_reused;
    return &entry.holdings;
}

void QuietProcessCache::keep(pid_t pid, const Activity& activity, Holdings holdings) {
    Entry& entry = m_entries[pid];
    if (entry.scan == 0 || entry.activity != activity) {
        entry.activity = activity;
        // The scan's start, a little before the reading: far less than the quiet period.
        entry.quietSince = m_now;
    }
    entry.holdings = std::move(holdings);
    entry.scan = m_scan;
}

} // namespace berthkeep::core

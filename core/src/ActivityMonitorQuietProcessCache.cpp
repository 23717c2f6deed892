#include "ActivityMonitorQuietProcessCache.hpp"

#include <algorithm>
#include <fstream>

namespace berthkeep::core {

namespace {

std::vector<bool> marksUnder(const QuietProcessCache::Paths& paths,
                             const std::vector<std::string>& roots) {
    std::vector<bool> marks(roots.size(), false);
    for (std::size_t index = 0; index < roots.size(); ++index) {
        marks[index] = std::any_of(paths.begin(), paths.end(), [&](const std::string* path) {
            return isPathUnder(*path, roots[index]);
        });
    }
    return marks;
}

// Below this many paths the pool is never trimmed: a machine's libraries and so on.
constexpr std::size_t kUntrimmedPaths = 4096;

// A process that ran at this many readings in a row is taken to run on; every this many
// scans it is read whole all the same, so it is cached again soon after it stops.
constexpr unsigned kRunningStreak = 2;
constexpr std::uint64_t kWholeReadingEvery = 4;

} // namespace

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
    if (!sameViewers) {
        // Their holdings are dropped; they were seen all the same.
        for (const auto& [pid, entry] : m_entries) {
            m_seen.insert_or_assign(pid, entry.activity.directory);
        }
        m_entries.clear();
        m_viewers = viewers ? std::optional<ViewerMatcher>(*viewers) : std::nullopt;
    }
    if (roots != m_roots) {
        m_roots = roots;
        ++m_rootsVersion;
    }
    m_now = now;
    ++m_scan;
}

void QuietProcessCache::finishScan() {
    std::erase_if(m_entries, [this](const auto& entry) { return entry.second.scan != m_scan; });
    m_seen.swap(m_seenNow);
    m_seenNow.clear();
    trimPaths();
}

QuietProcessCache::Marks
QuietProcessCache::marksFor(const Holdings& holdings,
                            const std::optional<ViewerIdentity>& viewer) const {
    Marks marks{marksUnder(holdings.cwd, m_roots), marksUnder(holdings.open, m_roots),
                std::vector<bool>(m_roots.size(), false), viewer};
    if (viewer) {
        const std::vector<bool> arguments = marksUnder(holdings.viewerArguments, m_roots);
        for (std::size_t index = 0; index < m_roots.size(); ++index) {
            marks.viewer[index] = marks.cwd[index] || marks.open[index] || arguments[index];
        }
    }
    return marks;
}

bool QuietProcessCache::seenBefore(pid_t pid, ino_t directory) {
    const auto kept = m_entries.find(pid);
    if (kept != m_entries.end() && kept->second.activity.directory == directory) {
        return true;
    }
    m_seenNow.insert_or_assign(pid, directory);
    const auto seen = m_seen.find(pid);
    return seen != m_seen.end() && seen->second == directory;
}

const QuietProcessCache::Marks* QuietProcessCache::find(pid_t pid, const Activity& activity) {
    const auto found = m_entries.find(pid);
    if (found == m_entries.end()) {
        return nullptr;
    }
    Entry& entry = found->second;
    if (entry.activity != activity) {
        // Read whole next, and kept by keep(); a reused pid starts afresh.
        entry.ranInARow = entry.activity.directory == activity.directory
                              ? std::min(entry.ranInARow + 1, kRunningStreak)
                              : 0;
        return nullptr;
    }
    entry.ranInARow = 0;
    if (m_now - entry.quietSince < m_quietPeriod) {
        return nullptr;
    }
    if (entry.rootsVersion != m_rootsVersion) {
        if (!entry.whole) {
            return nullptr;
        }
        entry.marks = marksFor(entry.holdings, entry.marks.viewerIdentity);
        entry.rootsVersion = m_rootsVersion;
    }
    entry.scan = m_scan;
    ++m_reused;
    return &entry.marks;
}

bool QuietProcessCache::mappedNothingAt(pid_t pid, ino_t directory,
                                        const AddressSpace& space) const {
    const auto found = m_entries.find(pid);
    if (found == m_entries.end() || !found->second.mappedNothing) {
        return false;
    }
    const Entry::MappedNothing& mapped = *found->second.mappedNothing;
    return mapped.directory == directory && mapped.rootsVersion == m_rootsVersion &&
           mapped.space == space;
}

void QuietProcessCache::keepMappedNothingAt(pid_t pid, ino_t directory,
                                            const std::optional<AddressSpace>& space) {
    if (const auto found = m_entries.find(pid); found != m_entries.end()) {
        found->second.mappedNothing =
            space ? std::optional<Entry::MappedNothing>({directory, *space, m_rootsVersion})
                  : std::nullopt;
    }
}

void QuietProcessCache::keep(pid_t pid, const Activity& activity, Holdings holdings, Marks marks,
                             bool whole) {
    for (Paths* paths : {&holdings.cwd, &holdings.open, &holdings.viewerArguments}) {
        std::sort(paths->begin(), paths->end());
        paths->erase(std::unique(paths->begin(), paths->end()), paths->end());
    }
    Entry& entry = m_entries[pid];
    if (entry.scan == 0 || entry.activity != activity) {
        entry.kernelThread = false;
        entry.activity = activity;
        // The scan's start, a little before the reading: far less than the quiet period.
        entry.quietSince = m_now;
    }
    entry.holdings = std::move(holdings);
    entry.marks = std::move(marks);
    entry.rootsVersion = m_rootsVersion;
    entry.scan = m_scan;
    entry.whole = whole;
}

bool QuietProcessCache::keepsRunning(pid_t pid) {
    const auto found = m_entries.find(pid);
    if (found == m_entries.end() || found->second.ranInARow < kRunningStreak ||
        m_scan % kWholeReadingEvery == 0) {
        return false;
    }
    found->second.scan = m_scan;
    return true;
}

bool QuietProcessCache::isKernelThread(pid_t pid, ino_t directory) {
    const auto found = m_entries.find(pid);
    if (found == m_entries.end() || !found->second.kernelThread ||
        found->second.activity.directory != directory) {
        return false;
    }
    found->second.scan = m_scan;
    return true;
}

void QuietProcessCache::keepKernelThread(pid_t pid, ino_t directory) {
    Entry& entry = m_entries[pid];
    if (entry.activity.directory != directory) {
        entry = Entry();
        entry.activity.directory = directory;
    }
    entry.kernelThread = true;
    entry.scan = m_scan;
}

const std::vector<QuietProcessCache::ListedProcess>*
QuietProcessCache::listingSince(const std::optional<TaskCount>& count) {
    if (!count || !m_listedAt || count->lastPid != m_listedAt->lastPid ||
        count->tasks > m_listedAt->tasks) {
        return nullptr;
    }
    m_listedAt->tasks = count->tasks;
    return &m_listing;
}

void QuietProcessCache::keepListing(const std::optional<TaskCount>& count,
                                    std::vector<ListedProcess> processes) {
    m_listedAt = count;
    m_listing = std::move(processes);
    ++m_listings;
}

const std::string* QuietProcessCache::intern(std::string_view path) {
    return &*m_paths.emplace(path).first;
}

void QuietProcessCache::trimPaths() {
    if (m_paths.size() < std::max(kUntrimmedPaths, 2 * m_pathsAfterTrim)) {
        return;
    }
    std::unordered_set<std::string> kept;
    std::unordered_map<const std::string*, const std::string*> moved;
    for (auto& [pid, entry] : m_entries) {
        for (Paths* paths :
             {&entry.holdings.cwd, &entry.holdings.open, &entry.holdings.viewerArguments}) {
            for (const std::string*& path : *paths) {
                auto [place, added] = moved.try_emplace(path, nullptr);
                if (added) {
                    place->second = &*kept.insert(*path).first;
                }
                path = place->second;
            }
        }
    }
    m_paths = std::move(kept);
    m_pathsAfterTrim = m_paths.size();
}

} // namespace berthkeep::core

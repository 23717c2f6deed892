#pragma once

#include "ActivityMonitorProcessScan.hpp"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace berthkeep::core {

// What a process held at an earlier scan, reused while the process has not run since:
// a process changes its descriptors, mappings, working directory and name only by
// running. Most processes sleep through a polling interval, and reading what they hold
// is most of a scan's cost.
//
// The kernel counts, per task, the time it ran, the time it waited to run and how often
// it was put on a processor (/proc/<pid>/schedstat). A task put on a processor counts at
// once; one that runs on counts at its next tick, or when it stops. Hence a reading
// unchanged for longer than any tick means the task did not run at all meanwhile, and
// holdings read after the reading was first seen still hold. Only single-threaded
// processes qualify, as the reading covers one task. A process sharing its descriptor
// table or memory with another process changes when that other one runs, which is read
// afresh: a drive in use is still seen, only such a process may be counted as it was.
// Not thread-safe: the owner serialises the scans.
class QuietProcessCache {
public:
    using Clock = std::chrono::steady_clock;

    // How a process ran, as last read.
    struct Activity {
        // Inode of the process's /proc directory: a reused pid has another one.
        ino_t directory = 0;
        std::uint64_t runtime = 0;
        std::uint64_t waited = 0;
        std::uint64_t timesRun = 0;

        friend bool operator==(const Activity&, const Activity&) = default;
    };

    // What the process held, one mark per root in the scan's order.
    struct Holdings {
        std::vector<bool> cwd;
        std::vector<bool> open;
        std::vector<bool> viewer;
        std::optional<ViewerIdentity> viewerIdentity;
    };

    // Longer than the longest tick (10 ms); where processors run without a regular tick,
    // longer than the second after which the kernel still updates a running task's time.
    static Clock::duration
    defaultQuietPeriod(const std::string& tickless = "/sys/devices/system/cpu/nohz_full");

    QuietProcessCache();
    explicit QuietProcessCache(Clock::duration quietPeriod);

    // Forgets everything when the roots or the viewers looked for are not those of the
    // last scan. Processes neither found nor kept during the scan are forgotten at its end.
    void startScan(Clock::time_point now, const std::vector<std::string>& roots,
                   const ViewerMatcher* viewers);
    void finishScan();

    // The holdings kept for the process when it has not run since they were read; null
    // when they must be read.
    const Holdings* find(pid_t pid, const Activity& activity);
    // Keeps holdings read after activity was read.
    void keep(pid_t pid, const Activity& activity, Holdings holdings);

    // Processes whose holdings were reused, over the cache's life.
    std::uint64_t reused() const { return m_reused; }

private:
    struct Entry {
        Activity activity;
        // When this activity was first read: quiet since then.
        Clock::time_point quietSince;
        Holdings holdings;
        std::uint64_t scan = 0;
    };

    const Clock::duration m_quietPeriod;
    std::unordered_map<pid_t, Entry> m_entries;
    std::vector<std::string> m_roots;
    std::optional<ViewerMatcher> m_viewers;
    Clock::time_point m_now;
    std::uint64_t m_scan = 0;
    std::uint64_t m_reused = 0;
};

} // namespace berthkeep::core

#pragma once

#include "ActivityMonitorProcessScan.hpp"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace berthkeep::core {

// What a process held at an earlier scan, reused while the process has not run since:
// a process changes its descriptors, mappings, working directory and name only by
// running. Most processes sleep through a polling interval, and reading what they hold
// is most of a scan's cost.
//
// The kernel counts, per task, the time it ran, the time it waited to run and how often
// it was put on a processor (/proc/<pid>/task/<tid>/schedstat). A task put on a
// processor counts at once; one that runs on counts at its next tick, or when it stops.
// Hence a reading unchanged for longer than any tick means the task did not run at all
// meanwhile, and holdings read after the reading was first seen still hold. A process is
// quiet when each of its threads is, and no thread came or went. A process sharing its
// descriptor table or memory with another process changes when that other one runs,
// which is read afresh: a drive in use is still seen, only such a process may be counted
// as it was.
//
// The paths held are kept rather than what they meant for the drives of the day, so a
// change of drives costs no new reading: what is kept is judged again by the new mount
// paths. Not thread-safe: the owner serialises the scans.
class QuietProcessCache {
public:
    using Clock = std::chrono::steady_clock;

    struct ThreadRun {
        pid_t thread = 0;
        std::uint64_t runtime = 0;
        std::uint64_t waited = 0;
        std::uint64_t timesRun = 0;

        friend bool operator==(const ThreadRun&, const ThreadRun&) = default;
    };

    // How a process ran, as last read.
    struct Activity {
        // Inode of the process's /proc directory: a reused pid has another one.
        ino_t directory = 0;
        // In the kernel's listing order.
        std::vector<ThreadRun> threads;

        friend bool operator==(const Activity&, const Activity&) = default;
    };

    // Paths, interned by the cache: the same libraries are mapped by most processes.
    using Paths = std::vector<const std::string*>;

    // Everything the process held, whatever the drives.
    struct Holdings {
        Paths cwd;
        // Descriptors, mapped files and the executable.
        Paths open;
        // Paths among a viewer's arguments.
        Paths viewerArguments;
    };

    // What the holdings mean for the scan's roots, one mark per root in their order.
    struct Marks {
        std::vector<bool> cwd;
        std::vector<bool> open;
        std::vector<bool> viewer;
        // Kept whatever the drives: the process is a viewer.
        std::optional<ViewerIdentity> viewerIdentity;
    };

    // Longer than the longest tick (10 ms); where processors run without a regular tick,
    // longer than the second after which the kernel still updates a running task's time.
    static Clock::duration
    defaultQuietPeriod(const std::string& tickless = "/sys/devices/system/cpu/nohz_full");

    QuietProcessCache();
    explicit QuietProcessCache(Clock::duration quietPeriod);

    // Forgets everything when the viewers looked for are not those of the last scan; other
    // roots than the last scan's only make the kept holdings be judged again. Processes
    // neither found nor kept during the scan are forgotten at its end.
    void startScan(Clock::time_point now, const std::vector<std::string>& roots,
                   const ViewerMatcher* viewers);
    void finishScan();

    // True when the process was listed at the last scan too. A process is recorded from
    // its second scan on: many come and go within a polling interval and would be
    // recorded for nothing, and a monitor's first answer, the one waited for, is then
    // read as plainly as it can be.
    bool seenBefore(pid_t pid, ino_t directory);

    // The marks of the holdings kept for the process when it has not run since they were
    // read; null when they must be read.
    const Marks* find(pid_t pid, const Activity& activity);
    // A kernel thread is skipped for as long as it lives.
    bool isKernelThread(pid_t pid, ino_t directory);
    void keepKernelThread(pid_t pid, ino_t directory);

    // True for a process found to have run at each of its last few readings, outside the
    // scans that read such processes whole: it is taken to have run once more, unasked.
    // It is kept meanwhile, not recorded afresh, so once it stops it is reused from the
    // second whole reading after.
    bool keepsRunning(pid_t pid);

    // How the process ran when last read, if it is kept.
    const Activity* lastActivity(pid_t pid) const {
        const auto found = m_entries.find(pid);
        return found == m_entries.end() ? nullptr : &found->second.activity;
    }
    // Keeps the holdings, read after activity was read, and their marks. Holdings read in
    // part (only until every root was held) serve these roots only: after a change of
    // roots the process is read again.
    void keep(pid_t pid, const Activity& activity, Holdings holdings, Marks marks,
              bool whole = true);

    // The size of a process's address space in pages, from /proc/<pid>/statm: all of it,
    // and its private writable part.
    struct AddressSpace {
        std::uint64_t size = 0;
        std::uint64_t data = 0;

        friend bool operator==(const AddressSpace&, const AddressSpace&) = default;
    };

    // Mappings of a process that runs on, between the scans that read it whole. A new
    // mapping grows the address space, or moves its private writable part, however its
    // descriptor came (passed on by a process the scan cannot read, say). So while nothing
    // was opened under the roots, a process whose mappings held nothing under them when
    // its address space had this very size maps nothing there now. One mapping put in the
    // place of another of the same size and kind is seen at the next whole reading.
    bool mappedNothingAt(pid_t pid, ino_t directory, const AddressSpace& space) const;
    // After the process's mappings were read (and after keep(), when it was recorded): the
    // size read before them when they held nothing under the roots, else nothing.
    void keepMappedNothingAt(pid_t pid, ino_t directory, const std::optional<AddressSpace>& space);
    // A process whose mappings were left unread for that reason.
    void countUnreadMappings() { ++m_unreadMappings; }
    // Processes whose mappings were left unread, over the cache's life.
    std::uint64_t unreadMappings() const { return m_unreadMappings; }

    // The one copy of path the cache keeps.
    const std::string* intern(std::string_view path);

    // Processes whose holdings were reused, over the cache's life.
    std::uint64_t reused() const { return m_reused; }

    // A process as the listing of /proc gave it: its pid's text and its directory's inode.
    struct ListedProcess {
        std::string pid;
        ino_t directory = 0;
    };
    // From the kernel's "loadavg": the last pid it gave out, and how many tasks live.
    struct TaskCount {
        std::uint64_t lastPid = 0;
        std::uint64_t tasks = 0;
    };
    // The last listing while no task was made since it was taken: the kernel gave out no
    // pid (pids that came round to the same one would also leave more tasks alive than
    // the fewest seen since), so every process now was listed then. Null when the
    // processes must be listed again.
    const std::vector<ListedProcess>* listingSince(const std::optional<TaskCount>& count);
    void keepListing(const std::optional<TaskCount>& count, std::vector<ListedProcess> processes);
    // Listings taken, over the cache's life.
    std::uint64_t listings() const { return m_listings; }

private:
    struct Entry {
        Activity activity;
        // When this activity was first read: quiet since then.
        Clock::time_point quietSince;
        Holdings holdings;
        Marks marks;
        // The roots the marks were made for.
        std::uint64_t rootsVersion = 0;
        std::uint64_t scan = 0;
        bool kernelThread = false;
        // Everything the process held was read, not only what judges these roots.
        bool whole = true;
        // Readings in a row that found the process had run.
        unsigned ranInARow = 0;
        // Its mappings held nothing under the roots when its address space had this size.
        struct MappedNothing {
            ino_t directory = 0;
            AddressSpace space;
            std::uint64_t rootsVersion = 0;
        };
        std::optional<MappedNothing> mappedNothing;
    };

    Marks marksFor(const Holdings& holdings, const std::optional<ViewerIdentity>& viewer) const;
    // Drops the paths no entry holds any more, once they are most of the pool.
    void trimPaths();

    const Clock::duration m_quietPeriod;
    std::unordered_map<pid_t, Entry> m_entries;
    // Processes listed but not kept, by their /proc directory's inode: at the last scan
    // and at this one.
    std::unordered_map<pid_t, ino_t> m_seen;
    std::unordered_map<pid_t, ino_t> m_seenNow;
    std::uint64_t m_unreadMappings = 0;
    std::unordered_set<std::string> m_paths;
    std::size_t m_pathsAfterTrim = 0;
    std::vector<std::string> m_roots;
    std::uint64_t m_rootsVersion = 0;
    std::optional<ViewerMatcher> m_viewers;
    Clock::time_point m_now;
    std::uint64_t m_scan = 0;
    std::uint64_t m_reused = 0;
    std::optional<TaskCount> m_listedAt;
    std::vector<ListedProcess> m_listing;
    std::uint64_t m_listings = 0;
};

} // namespace berthkeep::core

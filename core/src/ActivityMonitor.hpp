#pragma once

#include "ActivityMonitorFileEvents.hpp"
#include "ActivityMonitorProcessNameCache.hpp"
#include "ActivityMonitorQuietProcessCache.hpp"
#include "ActivityMonitorRequests.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace berthkeep::core {

// Watches the program's drives for signs of use:
// - processes with open files (descriptors, mapped files, their executable) and
//   working directories on a drive, read from /proc at every snapshot (mappings only
//   while a drive is held, or files on it were opened, since the last snapshot);
// - free-space churn: statvfs samples taken while a sampling burst runs (armed by every
//   update and snapshot), for a mount path that is the root of a file system of its own
//   only, since a plain directory shares its counters with everything else on its file
//   system; without such a drive there is no burst;
// - changes under the drive through inotify, kept for the file-event window; a drive
//   whose folders could not all be watched says so once on standard error;
// - viewer applications (built-in list plus promoted identities) touching the drive,
//   enhanced mode only, kept for the viewer window.
// The program's own process is not excluded: the monitor opens nothing on the drives
// between calls, so a process that is ours and still holds a drive (say, started from a
// directory on it) really does keep it busy.
//
// update and snapshot may come from different threads; they are serialised here. One
// background thread reads file events and takes the burst samples; it sleeps when there
// is nothing to do and ends with the monitor.
class ActivityMonitor {
public:
    explicit ActivityMonitor(const ActivityMonitorConfiguration& configuration);
    ~ActivityMonitor();
    ActivityMonitor(const ActivityMonitor&) = delete;
    ActivityMonitor& operator=(const ActivityMonitor&) = delete;

    void update(const MonitoredVolumeSet& volumeSet);
    std::string snapshotJson();

private:
    using Clock = std::chrono::steady_clock;

    struct StatfsSample {
        std::uint64_t blockSize = 0;
        std::uint64_t blocksTotal = 0;
        std::uint64_t blocksFree = 0;
        std::uint64_t blocksAvailable = 0;
        std::uint64_t filesFree = 0;
        Clock::time_point takenAt;
    };

    struct VolumeState {
        MonitoredVolume volume;
        // The mount path resolved as /proc shows paths.
        std::string root;
        bool ownFileSystem = false;
        std::optional<StatfsSample> lastSample;
        std::optional<Clock::time_point> lastStatfsChange;
        std::optional<Clock::time_point> lastFileEvent;
        std::optional<Clock::time_point> lastViewerTouch;
        // Last said in the log: some folders of the drive could not be watched.
        bool partlyWatched = false;
    };

    static std::optional<StatfsSample> takeSample(const std::string& root, Clock::time_point now);
    // True when the drive's own free space moved since its last sample.
    bool recordSampleLocked(VolumeState& volume, const StatfsSample& sample);
    std::vector<std::optional<StatfsSample>> sampleAll(const std::vector<std::string>& roots);
    bool hasSampledVolumesLocked() const;
    // Samples for a burst from now on; at once when sampleNow, or when none was under way.
    void armBurstLocked(Clock::time_point now, bool sampleNow);
    // Log lines for the drives whose tree became partly watched, or whole again.
    std::vector<std::string> noteWatchCoverageLocked();
    // Written outside the locks: a stalled standard error must not stall the monitor.
    static void writeLog(const std::vector<std::string>& lines);
    // Reads the pending file events into the volumes; false when none was a change.
    bool readFileEventsLocked(Clock::time_point now);
    void wakeWorker();
    void run();

    const ActivityMonitorConfiguration m_configuration;
    const std::chrono::milliseconds m_sampleInterval;

    // Held for a whole update or snapshot.
    std::mutex m_callMutex;
    // Used by snapshots only, under the call lock.
    ProcessNameCache m_processNames;
    QuietProcessCache m_quietProcesses;
    // The roots of the last scan; with the file events since, they tell whether a file on
    // a drive was opened meanwhile.
    struct ScannedRoot {
        std::string root;
        // The watcher's generation for the root before the scan; 0 when it misses opens.
        std::uint64_t generation = 0;
    };
    std::vector<ScannedRoot> m_lastScan;
    // Guards everything below, shared with the background thread.
    std::mutex m_stateMutex;
    ActivityDetectionMode m_mode;
    std::vector<VolumeState> m_volumes;
    std::vector<ViewerIdentity> m_promotedIdentities;
    // Absent when the kernel gave no inotify instance: file events are then never seen.
    std::unique_ptr<FileEventWatcher> m_watcher;
    Clock::time_point m_burstUntil;
    Clock::time_point m_nextSampleAt;
    bool m_stopping = false;

    int m_wakeFd = -1;
    std::thread m_worker;
};

} // namespace berthkeep::core

#include "ActivityMonitor.hpp"

#include "ActivityMonitorProcessScan.hpp"

#include "Berthkeep/Domain/BerthkeepAttentionReasonCode.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"

#include <nlohmann/json.hpp>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace berthkeep::core {

namespace {

using json = nlohmann::json;

// Share of eject attempts each kind of evidence is taken to spoil on its own; combined
// as independent chances. Open files and working directories make an unmount fail
// outright, the others say the drive is being worked with.
constexpr double kOpenFileRisk = 0.9;
constexpr double kCwdRisk = 0.75;
constexpr double kViewerRisk = 0.6;
constexpr double kFileEventRisk = 0.5;
constexpr double kStatfsRisk = 0.35;

// The directory is where a file system of its own is mounted: its counters then
// describe this drive alone.
bool isOwnFileSystem(const std::string& root) {
    if (root == "/") {
        return false;
    }
    struct stat self {};
    struct stat parent {};
    if (stat(root.c_str(), &self) != 0 || !S_ISDIR(self.st_mode) ||
        stat((root + "/..").c_str(), &parent) != 0) {
        return false;
    }
    return self.st_dev != parent.st_dev;
}

bool within(const std::optional<std::chrono::steady_clock::time_point>& seenAt,
            std::chrono::steady_clock::time_point now, std::chrono::milliseconds window) {
    return seenAt && now - *seenAt <= window;
}

DriveUsageSnapshot judge(std::int64_t openFiles, std::int64_t workingDirectories, bool statfs,
                         bool fileEvents, bool viewer) {
    DriveUsageSnapshot snapshot;
    snapshot.openFileUsage = openFiles;
    snapshot.cwdUsage = workingDirectories;
    snapshot.statfsActivity = statfs;
    snapshot.fseventsActivity = fileEvents;
    snapshot.viewerAssistActivity = viewer;

    // Strongest first: what blocks an unmount outright, then a viewer showing a file,
    // then recent changes, then the weakest, free-space movement.
    const std::pair<bool, BerthkeepAttentionReasonCode> evidence[] = {
        {openFiles > 0, BerthkeepAttentionReasonCode::openFileUsage},
        {workingDirectories > 0, BerthkeepAttentionReasonCode::cwdUsage},
        {viewer, BerthkeepAttentionReasonCode::viewerAssistActivity},
        {fileEvents, BerthkeepAttentionReasonCode::fseventsActivity},
        {statfs, BerthkeepAttentionReasonCode::statfsActivity},
    };
    for (const auto& [present, reason] : evidence) {
        if (present) {
            snapshot.isBusy = true;
            snapshot.dominantAttentionReason = reason;
            break;
        }
    }

    double unspoiled = 1.0;
    unspoiled *= openFiles > 0 ? 1.0 - kOpenFileRisk : 1.0;
    unspoiled *= workingDirectories > 0 ? 1.0 - kCwdRisk : 1.0;
    unspoiled *= viewer ? 1.0 - kViewerRisk : 1.0;
    unspoiled *= fileEvents ? 1.0 - kFileEventRisk : 1.0;
    unspoiled *= statfs ? 1.0 - kStatfsRisk : 1.0;
    snapshot.ejectFailureRiskScore = std::round((1.0 - unspoiled) * 1000.0) / 1000.0;
    return snapshot;
}

json usageJson(const DriveUsageSnapshot& snapshot) {
    json object = {
        {"open_file_usage", snapshot.openFileUsage},
        {"cwd_usage", snapshot.cwdUsage},
        {"statfs_activity", snapshot.statfsActivity},
        {"fsevents_activity", snapshot.fseventsActivity},
        {"viewer_assist_activity", snapshot.viewerAssistActivity},
        {"eject_failure_risk_score", snapshot.ejectFailureRiskScore},
        {"is_busy", snapshot.isBusy},
    };
    if (snapshot.isBusy && snapshot.dominantAttentionReason) {
        object["dominant_attention_reason"] = toString(*snapshot.dominantAttentionReason);
    }
    return object;
}

std::chrono::milliseconds sampleIntervalFor(std::chrono::milliseconds window) {
    // Several samples per window, but never busier than 20 a second.
    return std::clamp(window / 10, std::chrono::milliseconds(50), std::chrono::milliseconds(1000));
}

} // namespace

ActivityMonitor::ActivityMonitor(const ActivityMonitorConfiguration& configuration)
    : m_configuration(configuration)
    , m_sampleInterval(sampleIntervalFor(configuration.statfsActivityWindow))
    , m_mode(configuration.mode) {
    try {
        m_watcher = std::make_unique<FileEventWatcher>();
    } catch (const std::system_error&) {
        // Too many inotify instances on this machine: the other evidence still works.
        m_watcher.reset();
    }
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    try {
        m_worker = std::thread([this] { run(); });
    } catch (...) {
        close(m_wakeFd);
        throw;
    }
}

ActivityMonitor::~ActivityMonitor() {
    {
        std::lock_guard lock(m_stateMutex);
        m_stopping = true;
    }
    wakeWorker();
    m_worker.join();
    close(m_wakeFd);
}

void ActivityMonitor::wakeWorker() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void ActivityMonitor::update(const MonitoredVolumeSet& volumeSet) {
    std::lock_guard call(m_callMutex);

    // Resolved outside the state lock: a slow mount must not stall the event reader.
    std::vector<VolumeState> volumes;
    volumes.reserve(volumeSet.volumes.size());
    for (const MonitoredVolume& volume : volumeSet.volumes) {
        VolumeState state;
        state.volume = volume;
        state.root = resolvedScanRoot(volume.mountPath);
        state.ownFileSystem = isOwnFileSystem(state.root);
        volumes.push_back(std::move(state));
    }

    std::vector<std::string> coverageNotes;
    {
        std::lock_guard lock(m_stateMutex);
        // The program sends the set at every poll: only a drive new here, or mounted anew,
        // starts a burst of samples.
        bool newDrives = volumes.size() != m_volumes.size() || volumeSet.mode != m_mode;
        // A drive still at the same place keeps what was seen of it.
        for (VolumeState& state : volumes) {
            const auto previous =
                std::find_if(m_volumes.begin(), m_volumes.end(), [&](const VolumeState& old) {
                    return old.volume.driveID == state.volume.driveID && old.root == state.root;
                });
            // A remount at the same place is a new file system: its counters start afresh.
            if (previous != m_volumes.end() && previous->ownFileSystem == state.ownFileSystem) {
                state.lastSample = previous->lastSample;
                state.lastStatfsChange = previous->lastStatfsChange;
                state.lastFileEvent = previous->lastFileEvent;
                state.lastViewerTouch = previous->lastViewerTouch;
            } else {
                newDrives = true;
            }
            if (previous != m_volumes.end()) {
                state.partlyWatched = previous->partlyWatched;
            }
        }

        std::vector<std::string> roots;
        if (usesActivitySignals(volumeSet.mode)) {
            for (const VolumeState& state : volumes) {
                roots.push_back(state.root);
            }
        }

        m_mode = volumeSet.mode;
        m_volumes = std::move(volumes);
        m_promotedIdentities = volumeSet.adaptiveTargetedAssistEnabled
                                   ? volumeSet.promotedIdentities
                                   : std::vector<ViewerIdentity>{};
        // Cheap when nothing changed: drives already watched keep their watches, and a drive
        // only partly watched gets one try for the rest.
        if (m_watcher) {
            m_watcher->watch(roots);
        }
        if (newDrives) {
            armBurstLocked(Clock::now(), true);
        }
        coverageNotes = noteWatchCoverageLocked();
    }
    writeLog(coverageNotes);
}

std::vector<std::string> ActivityMonitor::noteWatchCoverageLocked() {
    std::vector<std::string> notes;
    for (std::size_t index = 0; index < m_volumes.size(); ++index) {
        VolumeState& state = m_volumes[index];
        const bool watching = m_watcher && usesActivitySignals(m_mode);
        const bool partial = watching && m_watcher->isPartial(index);
        if (partial == state.partlyWatched) {
            continue;
        }
        state.partlyWatched = partial;
        // Nothing is watched at all in the core-only mode: no news to tell.
        if (!watching) {
            continue;
        }
        const std::string drive = "drive " + state.volume.driveID + " (" + state.root + ")";
        notes.push_back(
            partial ? drive + ": only " + std::to_string(m_watcher->watchCount(index)) +
                          " folders are watched for changes; changes in the others go unseen"
                    : drive + ": every folder is watched for changes again");
    }
    return notes;
}

void ActivityMonitor::writeLog(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        std::fprintf(stderr, "berthkeep core: activity monitor: %s\n", line.c_str());
    }
}

bool ActivityMonitor::hasSampledVolumesLocked() const {
    return usesActivitySignals(m_mode) &&
           std::any_of(m_volumes.begin(), m_volumes.end(),
                       [](const VolumeState& state) { return state.ownFileSystem; });
}

void ActivityMonitor::armBurstLocked(Clock::time_point now, bool sampleNow) {
    // Only a file system of its own has counters that tell about its drive: without one
    // a burst would find nothing, and the worker may sleep until the next file event.
    if (!hasSampledVolumesLocked()) {
        return;
    }
    const bool underWay = now < m_burstUntil;
    m_burstUntil = now + m_configuration.statfsSamplingBurst;
    // A burst under way keeps its pace; the worker sees the later end at its next sample.
    if (sampleNow || !underWay) {
        m_nextSampleAt = now;
        wakeWorker();
    }
}

std::optional<ActivityMonitor::StatfsSample> ActivityMonitor::takeSample(const std::string& root,
                                                                         Clock::time_point now) {
    struct statvfs status {};
    if (statvfs(root.c_str(), &status) != 0) {
        return std::nullopt;
    }
    StatfsSample sample;
    sample.blockSize = status.f_frsize ? status.f_frsize : status.f_bsize;
    sample.blocksTotal = status.f_blocks;
    sample.blocksFree = status.f_bfree;
    sample.blocksAvailable = status.f_bavail;
    sample.filesFree = status.f_ffree;
    sample.takenAt = now;
    return sample;
}

std::vector<std::optional<ActivityMonitor::StatfsSample>>
ActivityMonitor::sampleAll(const std::vector<std::string>& roots) {
    std::vector<std::optional<StatfsSample>> samples;
    samples.reserve(roots.size());
    for (const std::string& root : roots) {
        samples.push_back(root.empty() ? std::nullopt : takeSample(root, Clock::now()));
    }
    return samples;
}

bool ActivityMonitor::recordSampleLocked(VolumeState& volume, const StatfsSample& sample) {
    if (volume.lastSample && sample.takenAt < volume.lastSample->takenAt) {
        return false;
    }
    const bool moved =
        volume.lastSample && (volume.lastSample->blocksFree != sample.blocksFree ||
                              volume.lastSample->blocksAvailable != sample.blocksAvailable ||
                              volume.lastSample->blocksTotal != sample.blocksTotal ||
                              volume.lastSample->filesFree != sample.filesFree);
    if (moved && volume.ownFileSystem) {
        volume.lastStatfsChange = sample.takenAt;
    }
    volume.lastSample = sample;
    return moved && volume.ownFileSystem;
}

std::string ActivityMonitor::snapshotJson() {
    std::lock_guard call(m_callMutex);

    // The volume list only changes under the call lock, so this copy stays current.
    ActivityDetectionMode mode;
    std::vector<std::string> roots;
    std::vector<ViewerIdentity> promoted;
    std::vector<std::uint64_t> generations;
    {
        std::lock_guard lock(m_stateMutex);
        mode = m_mode;
        for (const VolumeState& state : m_volumes) {
            roots.push_back(state.root);
        }
        promoted = m_promotedIdentities;
        // Opens and changes up to now, the worker's unread ones too, count before the scan.
        if (m_watcher && usesActivitySignals(mode)) {
            readFileEventsLocked(Clock::now());
            for (std::size_t index = 0; index < roots.size(); ++index) {
                generations.push_back(m_watcher->seesEveryOpen(index) ? m_watcher->generation(index)
                                                                      : 0);
            }
        }
    }
    generations.resize(roots.size(), 0);

    // With nothing opened under the drives since the last scan, the scan judges by its
    // address space whether a process that runs on can have mapped something new.
    bool nothingOpened = !roots.empty() && m_lastScan.size() == roots.size();
    for (std::size_t index = 0; nothingOpened && index < roots.size(); ++index) {
        const ScannedRoot& last = m_lastScan[index];
        nothingOpened = generations[index] != 0 && last.generation == generations[index] &&
                        last.root == roots[index];
    }

    ProcessScanResult scan;
    std::vector<std::optional<StatfsSample>> samples(roots.size());
    m_lastScan.clear();
    if (usesActivitySignals(mode)) {
        const ViewerMatcher viewers(promoted);
        scan = scanProcesses(roots, usesSupplementalSignals(mode) ? &viewers : nullptr, "/proc",
                             &m_processNames, &m_quietProcesses, nothingOpened);
        samples = sampleAll(roots);
        for (std::size_t index = 0; index < roots.size(); ++index) {
            m_lastScan.push_back({roots[index], generations[index]});
        }
    } else {
        scan.volumes.resize(roots.size());
    }

    json usage = json::object();
    json debugStatfs = json::object();
    json observed = json::array();

    std::unique_lock lock(m_stateMutex);
    const Clock::time_point now = Clock::now();
    bool freeSpaceMoved = false;
    for (std::size_t index = 0; index < m_volumes.size(); ++index) {
        VolumeState& volume = m_volumes[index];
        if (!usesActivitySignals(mode)) {
            usage[volume.volume.driveID] = usageJson(DriveUsageSnapshot::zero());
            continue;
        }
        if (samples[index] && recordSampleLocked(volume, *samples[index])) {
            freeSpaceMoved = true;
        }
        if (scan.volumes[index].viewerTouches) {
            volume.lastViewerTouch = now;
        }
        const VolumeProcessUsage& processes = scan.volumes[index];
        const DriveUsageSnapshot snapshot =
            judge(processes.openFileProcesses, processes.cwdProcesses,
                  within(volume.lastStatfsChange, now, m_configuration.statfsActivityWindow),
                  within(volume.lastFileEvent, now, m_configuration.fileEventWindow),
                  usesSupplementalSignals(mode) &&
                      within(volume.lastViewerTouch, now, m_configuration.viewerAssistWindow));
        usage[volume.volume.driveID] = usageJson(snapshot);

        if (volume.lastSample) {
            const StatfsSample& sample = *volume.lastSample;
            const auto age =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - sample.takenAt).count();
            debugStatfs[volume.volume.driveID] = {
                {"block_size", sample.blockSize},
                {"blocks_total", sample.blocksTotal},
                {"blocks_free", sample.blocksFree},
                {"blocks_available", sample.blocksAvailable},
                {"used_bytes",
                 (sample.blocksTotal - std::min(sample.blocksFree, sample.blocksTotal)) *
                     sample.blockSize},
                {"free_bytes", sample.blocksFree * sample.blockSize},
                {"available_bytes", sample.blocksAvailable * sample.blockSize},
                {"sample_age_ms", std::uint64_t(std::max<std::int64_t>(age, 0))},
            };
        }
    }
    for (const ViewerIdentity& identity : scan.observedViewers) {
        observed.push_back(
            {{"identity", identity.identity}, {"display_name", identity.displayName}});
    }
    // While the free space moves, sampling goes on between two polls, so churn there is
    // seen; a quiet drive is sampled at the snapshots alone, and the worker sleeps.
    if (freeSpaceMoved) {
        armBurstLocked(now, false);
    }
    const std::vector<std::string> coverageNotes = noteWatchCoverageLocked();
    lock.unlock();
    writeLog(coverageNotes);

    const json reply = {
        {"usage_snapshots_by_drive_id", usage},
        {"debug_statfs_by_drive_id", debugStatfs},
        {"observed_targeted_assist_identities", observed},
    };
    // Drive identifiers and viewer names come from outside; never fail on odd bytes.
    return reply.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool ActivityMonitor::readFileEventsLocked(Clock::time_point now) {
    const std::vector<std::size_t> changed = m_watcher->readChanges();
    for (std::size_t index : changed) {
        if (index < m_volumes.size()) {
            m_volumes[index].lastFileEvent = now;
        }
    }
    // A change may be a write: the free space is worth watching again.
    if (!changed.empty()) {
        armBurstLocked(now, false);
    }
    return !changed.empty();
}

void ActivityMonitor::run() {
    // A program reading a drive opens file after file; opens alone are no change, so after
    // a read that found nothing else the events may gather for a while.
    constexpr auto kOpensGather = std::chrono::milliseconds(100);
    Clock::time_point eventsWaitUntil;
    for (;;) {
        int timeout = -1;
        int watcherFd = -1;
        {
            std::lock_guard lock(m_stateMutex);
            if (m_stopping) {
                return;
            }
            const Clock::time_point now = Clock::now();
            const auto until = [&](Clock::time_point moment) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::max(moment - now, Clock::duration::zero()));
                const int milliseconds = int(std::min<std::int64_t>(wait.count() + 1, INT_MAX));
                timeout = timeout < 0 ? milliseconds : std::min(timeout, milliseconds);
            };
            if (m_watcher && now >= eventsWaitUntil) {
                watcherFd = m_watcher->descriptor();
            } else if (m_watcher) {
                until(eventsWaitUntil);
            }
            if (hasSampledVolumesLocked() && now < m_burstUntil) {
                until(m_nextSampleAt);
                if (m_nextSampleAt <= now) {
                    timeout = 0;
                }
            }
        }

        pollfd descriptors[2] = {{m_wakeFd, POLLIN, 0}, {watcherFd, POLLIN, 0}};
        const int ready = poll(descriptors, watcherFd >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (descriptors[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
        }

        // Empty roots stand for volumes whose counters are not theirs alone.
        std::vector<std::string> roots;
        {
            std::lock_guard lock(m_stateMutex);
            if (m_stopping) {
                return;
            }
            const Clock::time_point now = Clock::now();
            if (watcherFd >= 0 && (descriptors[1].revents & POLLIN)) {
                if (!readFileEventsLocked(now)) {
                    eventsWaitUntil = now + kOpensGather;
                }
            }
            if (hasSampledVolumesLocked() && now < m_burstUntil && now >= m_nextSampleAt) {
                for (const VolumeState& state : m_volumes) {
                    roots.push_back(state.ownFileSystem ? state.root : std::string());
                }
                m_nextSampleAt = now + m_sampleInterval;
            }
        }
        if (roots.empty()) {
            continue;
        }
        // statvfs may wait on a slow drive: never under the lock.
        const auto samples = sampleAll(roots);
        std::lock_guard lock(m_stateMutex);
        bool moved = false;
        for (std::size_t index = 0; index < samples.size() && index < m_volumes.size(); ++index) {
            if (samples[index] && m_volumes[index].root == roots[index] &&
                recordSampleLocked(m_volumes[index], *samples[index])) {
                moved = true;
            }
        }
        // The burst lasts as long after the last movement.
        if (moved) {
            armBurstLocked(Clock::now(), false);
        }
    }
}

} // namespace berthkeep::core

// berthkeep-core-bench: figures for the activity monitor and the helper, as ratios
// from one run on one machine:
// - snapshot CPU per answer against `fuser -m` on the same folder, with 0, 40 and 400
//   holder processes (one of them holding only a mapping), single-threaded, with four
//   threads, or waking every 20 ms; warm (the same drives as the last answer, after a
//   minute of answers), after a change of drives, and from a new monitor;
// - update cost with the watch budget spent against a normal update;
// - the helper's start-up against /bin/true.
// With --mount-folder DIR, only the snapshot against `fuser -m DIR`, nothing holding it.
// With --fuser-seconds DIR..., only the median CPU seconds of `fuser -m` on each folder
// in turn, for a reference elsewhere; with --fuser-paced SECONDS DIR..., the CPU seconds of
// `fuser -m` on each folder every 10 s for SECONDS, each round after 10 s of quiet as a
// poll comes.
// Not a test: nothing here passes or fails, scripts/bench runs it.

#include "berthkeep_core.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kConfiguration =
    R"({"mode":"core_only","statfs_activity_window_ms":20000,"fsevents_activity_window_ms":20000,)"
    R"("viewer_assist_window_ms":10000,"statfs_sampling_burst_ms":30000})";

// Answers of a warm monitor before the measured ones: six polls, 10 s apart.
constexpr int kAnswersBefore = 6;

// Each measured loop runs at least this long and this often.
constexpr double kMinimumSeconds = 1.0;
constexpr std::size_t kMinimumRounds = 10;

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double wallSeconds() {
    return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Contender {
    // CPU or wall seconds so far.
    std::function<double()> measure;
    std::function<void()> body;
    // Run before each measured body, not counted.
    std::function<void()> prepare = {};
};

// Runs the bodies in turns until enough time has passed and returns each one's median
// cost per run: turns make a change in the machine's load weigh on all alike, the
// median leaves out the runs another program disturbed.
std::vector<double> mediansInTurns(const std::vector<Contender>& contenders,
                                   double minimumSeconds = kMinimumSeconds) {
    std::vector<std::vector<double>> costs(contenders.size());
    for (const double start = wallSeconds();
         costs[0].size() < kMinimumRounds || wallSeconds() - start < minimumSeconds;) {
        for (std::size_t index = 0; index < contenders.size(); ++index) {
            if (contenders[index].prepare) {
                contenders[index].prepare();
            }
            const double before = contenders[index].measure();
            contenders[index].body();
            costs[index].push_back(contenders[index].measure() - before);
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& cost : costs) {
        medians.push_back(median(cost));
    }
    return medians;
}

class TemporaryFolder {
public:
    explicit TemporaryFolder(const char* name) {
        std::string pattern = (fs::temp_directory_path() / name).string() + "-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = fs::canonical(pattern);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// As root the folder gets a file system of its own, so `fuser -m` answers for the
// folder alone and both answers can be compared.
class BenchDrive {
public:
    BenchDrive()
        : m_mountPoint(m_folder.path() / "Drive") {
        fs::create_directory(m_mountPoint);
        m_mounted =
            geteuid() == 0 && mount("tmpfs", m_mountPoint.c_str(), "tmpfs", 0, "size=16m") == 0;
        std::ofstream(m_mountPoint / "held.bin") << std::string(8192, 'x');
    }
    ~BenchDrive() {
        if (m_mounted) {
            umount2(m_mountPoint.c_str(), MNT_DETACH);
        }
    }
    BenchDrive(const BenchDrive&) = delete;
    BenchDrive& operator=(const BenchDrive&) = delete;

    bool mounted() const { return m_mounted; }
    const fs::path& path() const { return m_mountPoint; }
    fs::path file() const { return m_mountPoint / "held.bin"; }

private:
    TemporaryFolder m_folder{"berthkeep-bench"};
    fs::path m_mountPoint;
    bool m_mounted = false;
};

enum class Hold { openFile, workingDirectory, mappingOnly };

// How the holders run: the machine's processes may have threads, or run often.
enum class Liveliness { single, threaded, busy };

constexpr const char* livelinessName(Liveliness liveliness) {
    switch (liveliness) {
    case Liveliness::single:
        return "single";
    case Liveliness::threaded:
        return "threads";
    case Liveliness::busy:
        return "busy";
    }
    return "";
}

// A holder outlives a crashed bench by this long at most.
constexpr unsigned kHoldSeconds = 600;
constexpr int kHolderThreads = 4;
constexpr auto kBusyWakeInterval = std::chrono::milliseconds(20);
constexpr const char* kHolderOption = "--holder";
constexpr const char* kMountFolderOption = "--mount-folder";
constexpr const char* kFuserSecondsOption = "--fuser-seconds";
constexpr const char* kFuserPacedOption = "--fuser-paced";

// As a holder: holds the path as told (an open file, the working directory, or a mapping
// whose descriptor is let go), says so and runs until killed or kHoldSeconds.
int runHolder(const std::string& hold, const std::string& liveliness, const char* path) {
    bool held = false;
    if (hold == "cwd") {
        held = chdir(path) == 0;
    } else {
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        held = fd >= 0;
        if (held && hold == "mapping") {
            held = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0) != MAP_FAILED;
            close(fd);
        }
    }
    if (!held) {
        return 1;
    }
    const bool busy = liveliness == livelinessName(Liveliness::busy);
    const auto live = [busy] {
        const auto end = SteadyClock::now() + std::chrono::seconds(kHoldSeconds);
        while (SteadyClock::now() < end) {
            std::this_thread::sleep_for(busy ? std::chrono::milliseconds(kBusyWakeInterval)
                                             : std::chrono::seconds(kHoldSeconds));
        }
    };
    std::vector<std::thread> threads;
    if (liveliness == livelinessName(Liveliness::threaded)) {
        for (int index = 1; index < kHolderThreads; ++index) {
            threads.emplace_back(live);
        }
    }
    std::puts("held");
    std::fflush(stdout);
    live();
    std::_Exit(0);
}

// Processes that hold the drive until the set goes away. Single-threaded open files and
// working directories are held by `sleep`, like a shell's `exec 3<file sleep`; the rest
// by this program started again as a holder, as no small standard tool maps a file and
// lets its descriptor go, or runs threads.
class Holders {
public:
    Holders() = default;
    ~Holders() {
        for (pid_t pid : m_pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    Holders(const Holders&) = delete;
    Holders& operator=(const Holders&) = delete;

    void add(Hold hold, Liveliness liveliness, const fs::path& drive, const fs::path& file) {
        const bool bySleep = liveliness == Liveliness::single && hold != Hold::mappingOnly;
        std::vector<std::string> arguments{"/bin/sleep", std::to_string(kHoldSeconds)};
        int answer[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (bySleep && hold == Hold::openFile) {
            posix_spawn_file_actions_addopen(&actions, 3, file.c_str(), O_RDONLY, 0);
        } else if (bySleep) {
            posix_spawn_file_actions_addchdir_np(&actions, drive.c_str());
        } else {
            const char* holdName = hold == Hold::openFile           ? "open"
                                   : hold == Hold::workingDirectory ? "cwd"
                                                                    : "mapping";
            // By its own path, as programs are started: the kernel names the process
            // after the file, not "exe".
            arguments = {fs::read_symlink("/proc/self/exe").string(), kHolderOption, holdName,
                         livelinessName(liveliness),
                         hold == Hold::workingDirectory ? drive.string() : file.string()};
            if (pipe2(answer, O_CLOEXEC) != 0) {
                throw std::runtime_error("pipe failed");
            }
            posix_spawn_file_actions_adddup2(&actions, answer[1], 1);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid_t pid = -1;
        const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (!failed) {
            m_pids.push_back(pid);
        }
        if (!bySleep) {
            close(answer[1]);
            char said[8] = {};
            const bool held = read(answer[0], said, sizeof said - 1) > 0 && said[0] == 'h';
            close(answer[0]);
            if (!held) {
                throw std::runtime_error("a holder could not hold the drive");
            }
        }
        if (failed) {
            throw std::runtime_error("a holder could not start");
        }
    }

private:
    std::vector<pid_t> m_pids;
};

struct Spawned {
    int status = -1;
    std::string output;
};

// Runs a program to its end; stdin from the given file (or /dev/null), stderr dropped,
// stdout kept when asked for.
Spawned spawn(const std::vector<std::string>& arguments, const std::string& input,
              bool keepOutput) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    int output[2] = {-1, -1};
    if (keepOutput && pipe2(output, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(),
                                     O_RDONLY, 0);
    if (keepOutput) {
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Spawned result;
    if (keepOutput) {
        close(output[1]);
        char buffer[4096];
        ssize_t length = 0;
        while ((length = read(output[0], buffer, sizeof buffer)) > 0) {
            result.output.append(buffer, std::size_t(length));
        }
        close(output[0]);
    }
    if (failed) {
        throw std::runtime_error("cannot start " + arguments.front());
    }
    waitpid(pid, &result.status, 0);
    return result;
}

class Monitor {
public:
    Monitor()
        : m_handle(berthkeep_core_activity_monitor_create(kConfiguration)) {
        if (!m_handle) {
            throw std::runtime_error("activity monitor create failed");
        }
    }
    ~Monitor() { berthkeep_core_activity_monitor_destroy(m_handle); }
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void update(const std::string& volumeSet) {
        if (!berthkeep_core_activity_monitor_update_json(m_handle, volumeSet.c_str())) {
            throw std::runtime_error("activity monitor update failed");
        }
    }

    json snapshot() {
        char* text = berthkeep_core_activity_monitor_snapshot_json(m_handle);
        if (!text) {
            throw std::runtime_error("activity monitor snapshot failed");
        }
        const json parsed = json::parse(text);
        berthkeep_core_free_string(text);
        return parsed;
    }

    // The call alone, as the program pays for it (the reply is dropped unread).
    void snapshotOnly() {
        berthkeep_core_free_string(berthkeep_core_activity_monitor_snapshot_json(m_handle));
    }

private:
    berthkeep_core_activity_monitor* m_handle;
};

std::string volumeSet(const std::string& mode, const std::vector<fs::path>& mountPaths) {
    json volumes = json::array();
    for (std::size_t index = 0; index < mountPaths.size(); ++index) {
        volumes.push_back({{"drive_id", "drive" + std::to_string(index)},
                           {"mount_path", mountPaths[index].string()}});
    }
    return json{{"mode", mode},
                {"volumes", volumes},
                {"adaptive_targeted_assist_enabled", false},
                {"promoted_targeted_assist_identities", json::array()}}
        .dump();
}

std::size_t countWords(const std::string& text) {
    std::size_t count = 0;
    bool inWord = false;
    for (char c : text) {
        const bool space = c == ' ' || c == '\n' || c == '\t';
        count += !space && !inWord ? 1 : 0;
        inWord = !space;
    }
    return count;
}

// Per answer, as the program pays for it: the monitor's CPU against fuser's, in ratios.
// Warm: the drives of the last answer; after a change: the first answer after another
// drive came or went; new: the first answer of a new monitor.
void compareSnapshots(const fs::path& folder, const fs::path& heldFile,
                      const std::vector<int>& holderCounts,
                      const std::vector<Liveliness>& livelinesses) {
    std::printf("  %7s %8s %9s %10s | %-24s | %-24s | %-24s | %s\n", "holders", "kind", "fuser ms",
                "fuser pids", "warm: standard enhanced", "change: standard enhanced",
                "new: standard enhanced", "seen open/cwd");
    // Stands for another drive coming and going.
    TemporaryFolder other("berthkeep-bench-other");
    const char* modes[] = {"standard", "enhanced"};
    for (const Liveliness liveliness : livelinesses) {
        for (const int count : holderCounts) {
            if (count == 0 && liveliness != livelinesses.front()) {
                continue;
            }
            Holders holders;
            for (int index = 0; index < count; ++index) {
                const Hold hold = index == 0       ? Hold::mappingOnly
                                  : index % 2 == 1 ? Hold::openFile
                                                   : Hold::workingDirectory;
                holders.add(hold, liveliness, folder, heldFile);
            }
            const std::vector<std::string> fuser{"fuser", "-m", folder.string()};
            const std::size_t fuserPids = countWords(spawn(fuser, "", true).output);
            Monitor warm[2];
            Monitor changing[2];
            std::unique_ptr<Monitor> fresh[2];
            bool withOther[2] = {false, false};
            for (int mode = 0; mode < 2; ++mode) {
                warm[mode].update(volumeSet(modes[mode], {folder}));
                changing[mode].update(volumeSet(modes[mode], {folder}));
                // A program that polls has answered before: the monitors learn the
                // machine's processes as a minute of polls lets them.
                for (int answer = 0; answer < kAnswersBefore; ++answer) {
                    warm[mode].snapshotOnly();
                    changing[mode].snapshotOnly();
                }
            }
            const auto childrenCpu = [] {
                return cpuSeconds(RUSAGE_CHILDREN);
            };
            const auto ownCpu = [] {
                return cpuSeconds(RUSAGE_SELF);
            };
            std::vector<Contender> contenders{{childrenCpu, [&] {
                                                   spawn(fuser, "", false);
                                               }}};
            for (int mode = 0; mode < 2; ++mode) {
                contenders.push_back({ownCpu, [&warm, mode] {
                                          warm[mode].snapshotOnly();
                                      }});
            }
            for (int mode = 0; mode < 2; ++mode) {
                contenders.push_back({ownCpu, [&changing, mode] { changing[mode].snapshotOnly(); },
                                      [&, mode] {
                                          withOther[mode] = !withOther[mode];
                                          std::vector<fs::path> drives{folder};
                                          if (withOther[mode]) {
                                              drives.push_back(other.path());
                                          }
                                          changing[mode].update(volumeSet(modes[mode], drives));
                                      }});
            }
            for (int mode = 0; mode < 2; ++mode) {
                contenders.push_back({ownCpu, [&fresh, mode] { fresh[mode]->snapshotOnly(); },
                                      [&, mode] {
                                          fresh[mode].reset();
                                          fresh[mode] = std::make_unique<Monitor>();
                                          fresh[mode]->update(volumeSet(modes[mode], {folder}));
                                      }});
            }
            const std::vector<double> medians = mediansInTurns(contenders, 2 * kMinimumSeconds);
            const double fuserMedian = medians[0];
            const json usage = warm[0].snapshot()["usage_snapshots_by_drive_id"]["drive0"];
            const std::string seen = std::to_string(usage["open_file_usage"].get<int>()) + "/" +
                                     std::to_string(usage["cwd_usage"].get<int>());
            const auto ratios = [&](std::size_t first) {
                char text[32];
                std::snprintf(text, sizeof text, "%8.3fx %8.3fx", medians[first] / fuserMedian,
                              medians[first + 1] / fuserMedian);
                return std::string(text);
            };
            std::printf("  %7d %8s %9.3f %10zu | %-24s | %-24s | %-24s | %s\n", count,
                        livelinessName(liveliness), fuserMedian * 1e3, fuserPids, ratios(1).c_str(),
                        ratios(3).c_str(), ratios(5).c_str(), seen.c_str());
        }
    }
}

// One `fuser -m` on each folder in turn, as the reference's polls would run it.
void fuserOnEach(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        spawn({"fuser", "-m", folder}, "", false);
    }
}

// The median CPU seconds of one `fuser -m` on each folder in turn.
double fuserSeconds(const std::vector<std::string>& folders) {
    const std::vector<double> medians = mediansInTurns(
        {{[] { return cpuSeconds(RUSAGE_CHILDREN); }, [&] { fuserOnEach(folders); }}});
    return medians[0];
}

// All the CPU seconds of `fuser -m` on each folder every 10 s for the given seconds.
double pacedFuserSeconds(int seconds, const std::vector<std::string>& folders) {
    const double before = cpuSeconds(RUSAGE_CHILDREN);
    for (int elapsed = 0; elapsed + 10 <= seconds; elapsed += 10) {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        fuserOnEach(folders);
    }
    return cpuSeconds(RUSAGE_CHILDREN) - before;
}

void benchSnapshots() {
    BenchDrive drive;
    std::printf("Snapshot CPU per answer against fuser -m (%s %s)\n", drive.path().c_str(),
                drive.mounted() ? "is a tmpfs mount"
                                : "is a plain folder: fuser answers for its whole file system");
    compareSnapshots(drive.path(), drive.file(), {0, 40, 400},
                     {Liveliness::single, Liveliness::threaded, Liveliness::busy});
}

// A tree of about fanout + fanout² folders.
void makeTree(const fs::path& root, int fanout) {
    for (int outer = 0; outer < fanout; ++outer) {
        const fs::path level = root / std::to_string(outer);
        for (int inner = 0; inner < fanout; ++inner) {
            fs::create_directories(level / std::to_string(inner));
        }
    }
}

void benchUpdates() {
    constexpr int kTrees = 5;
    TemporaryFolder folder("berthkeep-bench-trees");
    std::vector<fs::path> small;
    std::vector<fs::path> large;
    for (int index = 0; index < kTrees; ++index) {
        small.push_back(folder.path() / ("small" + std::to_string(index)));
        large.push_back(folder.path() / ("large" + std::to_string(index)));
        makeTree(small.back(), 9);
        makeTree(large.back(), 33);
    }
    Monitor normalMonitor;
    Monitor spentMonitor;
    const std::string normalRequest = volumeSet("standard", small);
    const std::string spentRequest = volumeSet("standard", large);
    // The first update walks the trees; what counts is every update after it.
    normalMonitor.update(normalRequest);
    spentMonitor.update(spentRequest);
    const std::vector<double> medians = mediansInTurns({{wallSeconds,
                                                         [&] {
                                                             normalMonitor.update(normalRequest);
                                                         }},
                                                        {wallSeconds, [&] {
                                                             spentMonitor.update(spentRequest);
                                                         }}});
    const double normal = medians[0];
    const double spent = medians[1];
    std::printf("\nUpdate with the watch budget spent against a normal update\n");
    std::printf(
        "  normal (%d trees of %d folders): %.4f ms; budget spent (%d trees of %d folders): "
        "%.4f ms; ratio %.3f\n",
        kTrees, 9 + 81 + 1, normal * 1e3, kTrees, 33 + 33 * 33 + 1, spent * 1e3, spent / normal);
}

void benchHelper(const std::string& helper) {
    TemporaryFolder folder("berthkeep-bench-helper");
    const std::string request = (folder.path() / "request.json").string();
    std::ofstream(request) << R"({"drives":[],"working_drive_ids":[]})";
    if (spawn({helper, "evaluate-state"}, request, false).status != 0) {
        throw std::runtime_error("the helper failed its request");
    }
    const std::vector<double> medians =
        mediansInTurns({{wallSeconds,
                         [&] {
                             spawn({helper, "evaluate-state"}, request, false);
                         }},
                        {wallSeconds, [&] {
                             spawn({"/bin/true"}, request, false);
                         }}});
    const double helperSeconds = medians[0];
    const double trueSeconds = medians[1];
    std::printf("\nHelper start-up against /bin/true (one evaluate-state call, wall time)\n");
    std::printf("  helper %.3f ms; /bin/true %.3f ms; ratio %.2f\n", helperSeconds * 1e3,
                trueSeconds * 1e3, helperSeconds / trueSeconds);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string_view(argv[1]) == kHolderOption) {
        return runHolder(argv[2], argv[3], argv[4]);
    }
    if (argc > 2 && std::string_view(argv[1]) == kFuserSecondsOption) {
        std::printf("%.6f\n", fuserSeconds({argv + 2, argv + argc}));
        return 0;
    }
    if (argc > 3 && std::string_view(argv[1]) == kFuserPacedOption) {
        std::printf("%.6f\n", pacedFuserSeconds(std::atoi(argv[2]), {argv + 3, argv + argc}));
        return 0;
    }
    const bool mountFolderOnly = argc == 3 && std::string_view(argv[1]) == kMountFolderOption;
    const std::string helper = argc > 1 ? argv[1] : BERTHKEEP_CORE_BRIDGE_PATH;
    // The monitor's notes go to standard error: keep them next to the figures they concern.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        if (mountFolderOnly) {
            compareSnapshots(fs::canonical(argv[2]), {}, {0}, {Liveliness::single});
            return 0;
        }
        benchSnapshots();
        benchUpdates();
        benchHelper(helper);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "berthkeep-core-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}

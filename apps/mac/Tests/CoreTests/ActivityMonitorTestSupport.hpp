#pragma once

#include "CoreTestSupport.hpp"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace berthkeep::coretest {

using json = nlohmann::json;

// A fresh directory that stands in for a drive's mount path.
class TemporaryFolder {
public:
    explicit TemporaryFolder(
        const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::string pattern = (base / "berthkeep-monitor-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = std::filesystem::canonical(pattern);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// A shell child in a process group of its own; the whole group is killed on reset.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& script, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> arguments{"/bin/sh", "-c", script};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        const int failed =
            posix_spawn(&m_pid, "/bin/sh", nullptr, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        if (failed) {
            throw std::runtime_error("posix_spawn failed");
        }
    }
    ~ChildProcess() { end(); }
    ChildProcess(const ChildProcess&) = delete;
    pid_t pid() const { return m_pid; }
    ChildProcess& operator=(const ChildProcess&) = delete;

    void end() {
        if (m_pid > 0) {
            kill(-m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

// A real file system of its own, so free-space counters belong to the drive alone.
// Mounting needs privilege: check mounted().
class TmpfsDrive {
public:
    enum class Start { mounted, unmounted };

    explicit TmpfsDrive(Start start = Start::mounted)
        : m_mountPoint(m_folder.path() / "Volume") {
        std::filesystem::create_directory(m_mountPoint);
        if (start == Start::mounted) {
            mountNow();
        }
    }
    ~TmpfsDrive() {
        if (m_mounted) {
            umount2(m_mountPoint.c_str(), MNT_DETACH);
        }
    }
    TmpfsDrive(const TmpfsDrive&) = delete;
    TmpfsDrive& operator=(const TmpfsDrive&) = delete;

    bool mountNow() {
        m_mounted = m_mounted || mount("tmpfs", m_mountPoint.c_str(), "tmpfs", 0, "size=8m") == 0;
        return m_mounted;
    }
    bool mounted() const { return m_mounted; }
    const std::filesystem::path& path() const { return m_mountPoint; }

private:
    TemporaryFolder m_folder;
    std::filesystem::path m_mountPoint;
    bool m_mounted = false;
};

// A forked child that maps a file and holds the mapping until it ends. The test has
// threads, so the child makes only async-signal-safe calls.
class MappingHolder {
public:
    struct Options {
        // Keep the descriptor open next to the mapping.
        bool keepDescriptor = false;
        // Delete the file once it is mapped.
        bool removeFile = false;
    };

    MappingHolder(const std::filesystem::path& file, Options options) {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int fd = open(file.c_str(), O_RDONLY);
            bool held = fd >= 0 && mmap(nullptr, 1, PROT_READ, MAP_SHARED, fd, 0) != MAP_FAILED;
            if (held && !options.keepDescriptor) {
                close(fd);
            }
            if (held && options.removeFile) {
                held = unlink(file.c_str()) == 0;
            }
            const char answer = held ? 'y' : 'n';
            [[maybe_unused]] const ssize_t written = write(ready[1], &answer, 1);
            for (;;) {
                pause();
            }
        }
        close(ready[1]);
        char answer = 'n';
        const bool answered = m_pid > 0 && read(ready[0], &answer, 1) == 1;
        close(ready[0]);
        if (!answered || answer != 'y') {
            end();
            throw std::runtime_error("the child could not map " + file.string());
        }
    }
    ~MappingHolder() { end(); }
    MappingHolder(const MappingHolder&) = delete;
    MappingHolder& operator=(const MappingHolder&) = delete;

    void end() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

inline std::string configurationJson(int statfsWindowMs, int fileEventWindowMs, int viewerWindowMs,
                                     int burstMs) {
    return json{{"mode", "core_only"},
                {"statfs_activity_window_ms", statfsWindowMs},
                {"fsevents_activity_window_ms", fileEventWindowMs},
                {"viewer_assist_window_ms", viewerWindowMs},
                {"statfs_sampling_burst_ms", burstMs}}
        .dump();
}

inline json volume(const std::string& driveID, const std::filesystem::path& mountPath) {
    return {{"drive_id", driveID}, {"mount_path", mountPath.string()}};
}

inline std::string volumeSetJson(const std::string& mode, const json& volumes,
                                 bool adaptive = false, const json& promoted = json::array()) {
    return json{{"mode", mode},
                {"volumes", volumes},
                {"adaptive_targeted_assist_enabled", adaptive},
                {"promoted_targeted_assist_identities", promoted}}
        .dump();
}

// One monitor from the built library, destroyed with the fixture.
class MonitorUnderTest {
public:
    MonitorUnderTest(CoreLibrary& core, const std::string& configuration)
        : m_core(core) {
        m_handle = core.monitorCreate(configuration.c_str());
        if (!m_handle) {
            throw std::runtime_error("create failed: " + core.lastError().value_or("no message"));
        }
    }
    ~MonitorUnderTest() { m_core.monitorDestroy(m_handle); }
    MonitorUnderTest(const MonitorUnderTest&) = delete;
    MonitorUnderTest& operator=(const MonitorUnderTest&) = delete;

    berthkeep_core_activity_monitor* handle() const { return m_handle; }

    void update(const std::string& volumeSet) {
        if (!m_core.monitorUpdate(m_handle, volumeSet.c_str())) {
            throw std::runtime_error("update failed: " + m_core.lastError().value_or("no message"));
        }
    }

    json snapshot() {
        const auto text = m_core.take(m_core.monitorSnapshot(m_handle));
        if (!text) {
            throw std::runtime_error("snapshot failed: " +
                                     m_core.lastError().value_or("no message"));
        }
        return json::parse(*text);
    }

    json usage(const std::string& driveID) {
        return snapshot()["usage_snapshots_by_drive_id"][driveID];
    }

    // Polls until the drive's usage satisfies the condition; returns the last usage seen.
    json waitForUsage(const std::string& driveID, const std::function<bool(const json&)>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        json last = usage(driveID);
        while (!condition(last) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            last = usage(driveID);
        }
        return last;
    }

private:
    CoreLibrary& m_core;
    berthkeep_core_activity_monitor* m_handle = nullptr;
};

} // namespace berthkeep::coretest

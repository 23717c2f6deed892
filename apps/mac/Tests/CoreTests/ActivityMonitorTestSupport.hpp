#pragma once

#include "CoreTestSupport.hpp"

#include <nlohmann/json.hpp>

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mount.h>
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
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "berthkeep-monitor-XXXXXX").string();
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
        const int failed = posix_spawn(&m_pid, "/bin/sh", nullptr, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        if (failed) {
            throw std::runtime_error("posix_spawn failed");
        }
    }
    ~ChildProcess() { end(); }
    ChildProcess(const ChildProcess&) = delete;
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
    MonitorUnderTest(CoreLibrary& core, const std::string& configuration) : m_core(core) {
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
            throw std::runtime_error("snapshot failed: " + m_core.lastError().value_or("no message"));
        }
        return json::parse(*text);
    }

    json usage(const std::string& driveID) { return snapshot()["usage_snapshots_by_drive_id"][driveID]; }

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

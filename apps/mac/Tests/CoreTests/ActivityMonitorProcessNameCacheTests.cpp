#include "ActivityMonitorProcessScan.hpp"

#include "ActivityMonitorTestSupport.hpp"

#include <gtest/gtest.h>

namespace berthkeep::coretest {
namespace {

namespace fs = std::filesystem;
using core::ProcessNameCache;

constexpr const char* kDrive = "/media/drive";

// A stand-in for /proc: per process an executable link, a working directory on the
// drive, an empty descriptor table, no mappings and a name. Links need not resolve.
class FakeProc {
public:
    const fs::path& path() const { return m_folder.path(); }

    void start(int pid, const std::string& executable, const std::string& name) {
        const fs::path directory = path() / std::to_string(pid);
        fs::create_directories(directory / "fd");
        fs::create_symlink(executable, directory / "exe");
        fs::create_symlink(kDrive, directory / "cwd");
        writeFile(directory / "maps", "");
        writeFile(directory / "comm", name + "\n");
    }

    // A new process under the same pid: a directory of its own, made while the old one
    // still exists so the two cannot share an inode.
    void reuse(int pid, const std::string& executable, const std::string& name) {
        const fs::path old = path() / ("old" + std::to_string(pid));
        fs::rename(path() / std::to_string(pid), old);
        start(pid, executable, name);
        fs::remove_all(old);
    }

    void exec(int pid, const std::string& executable, const std::string& name) {
        const fs::path directory = path() / std::to_string(pid);
        fs::remove(directory / "exe");
        fs::create_symlink(executable, directory / "exe");
        rename(pid, name);
    }

    void rename(int pid, const std::string& name) {
        writeFile(path() / std::to_string(pid) / "comm", name + "\n");
    }

    void end(int pid) { fs::remove_all(path() / std::to_string(pid)); }

private:
    TemporaryFolder m_folder;
};

bool viewerSeen(const FakeProc& proc, ProcessNameCache& names) {
    const core::ViewerMatcher viewers;
    return core::scanProcesses({kDrive}, &viewers, proc.path().string(), &names)
        .volumes[0]
        .viewerTouches;
}

// Process 100 runs a non-viewer and is scanned once; then its pid is taken over or it
// changes. Only the change's name can make it a viewer, the executable never does.
TEST(ProcessNameCache, AKeptNameGivesWayToAnotherProcessOrProgram) {
    struct Case {
        const char* name;
        std::string executable;
        std::function<void(FakeProc&)> change;
        bool viewer;
    };
    const Case cases[] = {
        {"pid reused", "/opt/player", [](FakeProc& proc) { proc.reuse(100, "/opt/player", "mpv"); },
         true},
        {"exec of another program", "/opt/player",
         [](FakeProc& proc) { proc.exec(100, "/opt/player2", "mpv"); }, true},
        {"script under the same interpreter", "/usr/bin/python3",
         [](FakeProc& proc) { proc.rename(100, "mpv"); }, true},
        // Caught only once the name is due to be read again.
        {"renamed itself", "/opt/player", [](FakeProc& proc) { proc.rename(100, "mpv"); }, false},
    };
    for (const Case& c : cases) {
        FakeProc proc;
        proc.start(100, c.executable, c.executable == "/opt/player" ? "player" : "launcher");
        ProcessNameCache names;
        EXPECT_FALSE(viewerSeen(proc, names)) << c.name;
        c.change(proc);
        EXPECT_EQ(viewerSeen(proc, names), c.viewer) << c.name;
    }
}

TEST(ProcessNameCache, NamesAreReadAgainAfterAWhileAndForgottenWithTheirProcess) {
    const ProcessNameCache::Process process{100, 7, "/opt/player"};
    const auto start = ProcessNameCache::Clock::now();
    ProcessNameCache names(std::chrono::seconds(30));

    names.startScan(start);
    EXPECT_FALSE(names.find(process));
    names.keep(process, "player");
    names.keep({101, 8, "/usr/bin/python3"}, "launcher");
    names.finishScan();
    EXPECT_EQ(names.size(), 1u);

    names.startScan(start + std::chrono::seconds(29));
    EXPECT_EQ(names.find(process), "player");
    names.finishScan();
    names.startScan(start + std::chrono::seconds(30));
    EXPECT_FALSE(names.find(process));
    names.finishScan();
    EXPECT_EQ(names.size(), 0u);
}

} // namespace
} // namespace berthkeep::coretest

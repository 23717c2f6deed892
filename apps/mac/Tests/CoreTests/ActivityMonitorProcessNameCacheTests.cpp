#include "ActivityMonitorProcessScan.hpp"

#include "ActivityMonitorTestSupport.hpp"

#include <gtest/gtest.h>

namespace berthkeep::coretest {
namespace {

namespace fs = std::filesystem;
using core::ProcessNameCache;

// One process of a stand-in /proc, working on the drive; links need not resolve.
void writeProcess(const fs::path& directory, const std::string& executable,
                  const std::string& name) {
    fs::create_directories(directory / "fd");
    fs::remove(directory / "exe");
    fs::create_symlink(executable, directory / "exe");
    fs::remove(directory / "cwd");
    fs::create_symlink("/media/drive", directory / "cwd");
    writeFile(directory / "maps", "");
    writeFile(directory / "comm", name + "\n");
}

// Process 100 is scanned once as a non-viewer, then changes; only the new name can make
// it a viewer ("mpv"), never its executable.
TEST(ProcessNameCache, AKeptNameGivesWayToAnotherProcessOrProgram) {
    struct Case {
        const char* name;
        const char* executable;
        // The pid's directory is made anew while the old one still exists: another inode.
        bool newDirectory;
        const char* newExecutable;
        bool viewer;
    };
    const Case cases[] = {
        {"pid reused", "/opt/player", true, "/opt/player", true},
        {"exec of another program", "/opt/player", false, "/opt/player2", true},
        {"script under the same interpreter", "/usr/bin/python3", false, "/usr/bin/python3", true},
        // Caught only once the name is due to be read again.
        {"renamed itself", "/opt/player", false, "/opt/player", false},
    };
    const core::ViewerMatcher viewers;
    for (const Case& c : cases) {
        TemporaryFolder proc;
        ProcessNameCache names;
        const auto viewerSeen = [&] {
            return core::scanProcesses({"/media/drive"}, &viewers, proc.path().string(), &names)
                .volumes[0]
                .viewerTouches;
        };
        writeProcess(proc.path() / "100", c.executable, "player");
        EXPECT_FALSE(viewerSeen()) << c.name;
        if (c.newDirectory) {
            fs::rename(proc.path() / "100", proc.path() / "old");
        }
        writeProcess(proc.path() / "100", c.newExecutable, "mpv");
        EXPECT_EQ(viewerSeen(), c.viewer) << c.name;
    }
}

TEST(ProcessNameCache, NamesAreReadAgainAfterAWhileAndForgottenWithTheirProcess) {
    const ProcessNameCache::Process process{100, 7, "/opt/player"};
    const auto start = ProcessNameCache::Clock::now();
    ProcessNameCache names(std::chrono::seconds(30));
    names.startScan(start);
    names.keep(process, "player");
    names.finishScan();

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

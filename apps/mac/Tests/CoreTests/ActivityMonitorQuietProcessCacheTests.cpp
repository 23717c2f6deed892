#include "ActivityMonitorQuietProcessCache.hpp"

#include "ActivityMonitorTestSupport.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace berthkeep::coretest {
namespace {

namespace fs = std::filesystem;
using core::QuietProcessCache;
using namespace std::chrono_literals;

// One single-threaded process of a stand-in /proc.
void writeProcess(const fs::path& directory, const std::string& schedstat) {
    fs::create_directories(directory / "fd");
    fs::create_directories(directory / "task" / directory.filename());
    writeFile(directory / "schedstat", schedstat);
    writeFile(directory / "maps", "");
    fs::create_symlink("/media/drive/work", directory / "cwd");
}

// The process leaves the drive after the first scan, so a second scan that still counts
// it used what the first one read.
TEST(QuietProcessCache, HoldingsAreReusedOnlyWhileTheProcessHasNotRun) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& process)> change;
        bool addRoot = false;
        bool lookForViewers = false;
        QuietProcessCache::Clock::duration quietPeriod = 0s;
        bool reused;
    };
    const auto rewrite = [](const char* schedstat) {
        return [schedstat](const fs::path& process) {
            writeFile(process / "schedstat", schedstat);
        };
    };
    const Case cases[] = {
        {"quiet", [](const fs::path&) {}, false, false, 0s, true},
        {"ran", rewrite("1001 20 3\n"), false, false, 0s, false},
        {"put on a processor", rewrite("1000 20 4\n"), false, false, 0s, false},
        {"waited to run", rewrite("1000 21 3\n"), false, false, 0s, false},
        {"no scheduler counts", rewrite("0 0 0\n"), false, false, 0s, false},
        {"second thread, made by the first",
         [](const fs::path& process) {
             fs::create_directory(process / "task" / "101");
             writeFile(process / "schedstat", "1001 20 4\n");
         },
         false, false, 0s, false},
        {"pid reused",
         [](const fs::path& process) {
             fs::rename(process, process.parent_path() / "old");
             writeProcess(process, "1000 20 3\n");
             fs::remove(process / "cwd");
             fs::create_symlink("/elsewhere", process / "cwd");
         },
         false, false, 0s, false},
        {"another root as well", [](const fs::path&) {}, true, false, 0s, true},
        {"viewers looked for", [](const fs::path&) {}, false, true, 0s, false},
        {"not quiet for long enough", [](const fs::path&) {}, false, false, 1h, false},
    };
    const core::ViewerMatcher viewers;
    for (const Case& c : cases) {
        TemporaryFolder proc;
        const fs::path process = proc.path() / "100";
        writeProcess(process, "1000 20 3\n");
        QuietProcessCache quiet(c.quietPeriod);
        const auto scan = [&](std::vector<std::string> roots, const core::ViewerMatcher* matcher) {
            return core::scanProcesses(roots, matcher, proc.path().string(), nullptr, &quiet)
                .volumes[0]
                .cwdProcesses;
        };
        ASSERT_EQ(scan({"/media/drive"}, nullptr), 1) << c.name;
        fs::remove(process / "cwd");
        fs::create_symlink("/elsewhere", process / "cwd");
        c.change(process);
        std::vector<std::string> roots{"/media/drive"};
        if (c.addRoot) {
            roots.push_back("/media/other");
        }
        EXPECT_EQ(scan(roots, c.lookForViewers ? &viewers : nullptr), c.reused ? 1 : 0) << c.name;
        EXPECT_EQ(quiet.reused(), c.reused ? 1u : 0u) << c.name;
    }
}

// A process of two threads, each with counts of its own.
void writeThreads(const fs::path& process, const std::string& first, const std::string& second) {
    writeFile(process / "task" / process.filename() / "schedstat", first);
    fs::create_directories(process / "task" / "101");
    writeFile(process / "task" / "101" / "schedstat", second);
}

TEST(QuietProcessCache, AThreadedProcessIsQuietOnlyWhileEachOfItsThreadsIs) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& process)> change;
        bool reused;
    };
    const Case cases[] = {
        {"quiet", [](const fs::path&) {}, true},
        {"second thread ran",
         [](const fs::path& process) { writeThreads(process, "1000 20 3\n", "501 7 2\n"); }, false},
        {"first thread ran",
         [](const fs::path& process) { writeThreads(process, "1000 20 4\n", "500 7 2\n"); }, false},
        {"second thread ended",
         [](const fs::path& process) { fs::remove_all(process / "task" / "101"); }, false},
        {"third thread, made by the second",
         [](const fs::path& process) {
             fs::create_directories(process / "task" / "102");
             writeFile(process / "task" / "102" / "schedstat", "1 1 1\n");
             writeFile(process / "task" / "101" / "schedstat", "501 7 3\n");
         },
         false},
    };
    for (const Case& c : cases) {
        TemporaryFolder proc;
        const fs::path process = proc.path() / "100";
        writeProcess(process, "1000 20 3\n");
        writeThreads(process, "1000 20 3\n", "500 7 2\n");
        QuietProcessCache quiet(0s);
        const std::vector<std::string> roots{"/media/drive"};
        const auto scan = [&] {
            return core::scanProcesses(roots, nullptr, proc.path().string(), nullptr, &quiet)
                .volumes[0]
                .cwdProcesses;
        };
        ASSERT_EQ(scan(), 1) << c.name;
        fs::remove(process / "cwd");
        fs::create_symlink("/elsewhere", process / "cwd");
        c.change(process);
        EXPECT_EQ(scan(), c.reused ? 1 : 0) << c.name;
        EXPECT_EQ(quiet.reused(), c.reused ? 1u : 0u) << c.name;
    }
}

// What a quiet process held is judged again by the drives of the day: a drive mounted
// later, or one that moved, needs no new reading.
TEST(QuietProcessCache, KeptHoldingsAreJudgedByTheNewDrivesWhenTheDrivesChange) {
    TemporaryFolder proc;
    const fs::path process = proc.path() / "100";
    writeProcess(process, "1000 20 3\n");
    fs::create_symlink("/media/second/film.mkv", process / "fd" / "3");
    writeFile(process / "maps", "7f00-7f01 r--p 00000000 08:01 12 /usr/lib/libc.so.6\n"
                                "7f01-7f02 r--s 00000000 08:11 13 /media/third/map.bin\n");
    QuietProcessCache quiet(0s);
    const auto scan = [&](const std::vector<std::string>& roots) {
        return core::scanProcesses(roots, nullptr, proc.path().string(), nullptr, &quiet);
    };
    EXPECT_EQ(scan({"/media/other"}).volumes[0].cwdProcesses, 0);
    // The process lets everything go, but has not run since: what it held is kept.
    fs::remove(process / "cwd");
    fs::create_symlink("/elsewhere", process / "cwd");
    fs::remove(process / "fd" / "3");
    writeFile(process / "maps", "");

    const core::ProcessScanResult after = scan({"/media/third", "/media/drive", "/media/second"});
    EXPECT_EQ(quiet.reused(), 1u);
    EXPECT_EQ(after.volumes[0].openFileProcesses, 1) << "mapping";
    EXPECT_EQ(after.volumes[1].cwdProcesses, 1);
    EXPECT_EQ(after.volumes[1].openFileProcesses, 0);
    EXPECT_EQ(after.volumes[2].openFileProcesses, 1) << "descriptor";
    EXPECT_EQ(after.volumes[2].cwdProcesses, 0);
}

TEST(QuietProcessCache, QuietPeriodOutlastsTheLongestTick) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "nohz_full";
    EXPECT_EQ(QuietProcessCache::defaultQuietPeriod(file.string()), 100ms) << "no tickless support";
    writeFile(file, "(null)\n");
    EXPECT_EQ(QuietProcessCache::defaultQuietPeriod(file.string()), 100ms);
    writeFile(file, "2-7\n");
    EXPECT_EQ(QuietProcessCache::defaultQuietPeriod(file.string()), 2500ms);
}

// The kernel's side: a sleeping process is reused, and read again once it runs.
TEST(QuietProcessCache, AProcessThatWakesAndOpensAFileOnTheDriveIsSeenAtOnce) {
    TemporaryFolder drive;
    const fs::path fifo = drive.path().parent_path() / (drive.path().filename().string() + ".fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeFile(drive.path() / "held.txt", "x");
    // Waits for a line, opens the file, then sleeps holding it.
    ChildProcess child("read line < \"$0\"; exec 3< \"$1\"; exec sleep 600",
                       {fifo.string(), (drive.path() / "held.txt").string()});
    QuietProcessCache quiet(50ms);
    const std::vector<std::string> roots{drive.path().string()};
    const auto holders = [&] {
        return core::scanProcesses(roots, nullptr, "/proc", nullptr, &quiet)
            .volumes[0]
            .openFileProcesses;
    };
    for (int scan = 0; scan < 4; ++scan) {
        EXPECT_EQ(holders(), 0);
        std::this_thread::sleep_for(60ms);
    }
    const std::uint64_t reusedWhileWaiting = quiet.reused();
    EXPECT_GT(reusedWhileWaiting, 0u);

    writeFile(fifo, "go\n");
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (holders() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    for (int scan = 0; scan < 3; ++scan) {
        EXPECT_EQ(holders(), 1) << "scan " << scan;
        std::this_thread::sleep_for(60ms);
    }
    EXPECT_GT(quiet.reused(), reusedWhileWaiting);
    child.end();
    fs::remove(fifo);
}

} // namespace
} // namespace berthkeep::coretest

#include "ActivityMonitorQuietProcessCache.hpp"

#include "ActivityMonitorTestSupport.hpp"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace berthkeep::coretest {
namespace {

namespace fs = std::filesystem;
using core::QuietProcessCache;
using namespace std::chrono_literals;

// A process is kept from the second scan that lists it on: the tests scan once before
// the scan whose reading they mean to be kept.

// What one scan of the stand-in /proc finds on /media/drive.
core::VolumeProcessUsage scanDrive(const fs::path& proc, QuietProcessCache& quiet) {
    return core::scanProcesses({"/media/drive"}, nullptr, proc.string(), nullptr, &quiet)
        .volumes[0];
}

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
        scan({"/media/drive"}, nullptr);
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

// Nothing is kept of a process at the first scan that lists it, so the next scan reads it
// again; from then on it is reused while it sleeps. A new process under a pid seen before
// starts over.
TEST(QuietProcessCache, AProcessIsKeptFromTheSecondScanThatListsItOn) {
    for (const bool pidReused : {false, true}) {
        TemporaryFolder proc;
        const fs::path process = proc.path() / "100";
        writeProcess(process, "1000 20 3\n");
        QuietProcessCache quiet(0s);
        const auto scan = [&] {
            return scanDrive(proc.path(), quiet).cwdProcesses;
        };
        const auto moveTo = [&](const char* folder) {
            fs::remove(process / "cwd");
            fs::create_symlink(folder, process / "cwd");
        };
        ASSERT_EQ(scan(), 1);
        if (pidReused) {
            fs::rename(process, proc.path() / "old");
            writeProcess(process, "1000 20 3\n");
            ASSERT_EQ(scan(), 1);
        }
        // Neither ran: the first was read only, the second is read and kept.
        moveTo("/elsewhere");
        EXPECT_EQ(scan(), 0) << pidReused;
        moveTo("/media/drive/work");
        EXPECT_EQ(scan(), 0) << pidReused;
        EXPECT_EQ(quiet.reused(), 1u) << pidReused;
    }
}

// A process that ran is read whole, mappings included, even while nothing was opened
// under the drives and its address space kept its size: one mapping may have taken the
// place of another. What it keeps while it sleeps is then what it holds, for other drives
// too.
TEST(QuietProcessCache, AProcessThatRanIsKeptWithItsMappingsWhateverItsSize) {
    TemporaryFolder proc;
    const fs::path process = proc.path() / "100";
    writeProcess(process, "1000 20 3\n");
    fs::remove(process / "cwd");
    fs::create_symlink("/elsewhere", process / "cwd");
    writeFile(process / "statm", "2048 300 100 10 0 500 0\n");
    QuietProcessCache quiet(0s);
    const auto scan = [&](std::vector<std::string> roots) {
        return core::scanProcesses(roots, nullptr, proc.path().string(), nullptr, &quiet, true);
    };

    const std::vector<std::string> drives{"/media/drive", "/media/spare"};
    scan(drives);
    EXPECT_EQ(scan(drives).volumes[0].openFileProcesses, 0);
    // It runs and maps a file on the drive and one elsewhere, at the same size.
    writeFile(process / "schedstat", "1001 20 4\n");
    writeFile(process / "maps",
              "7f0000000000-7f0000001000 r--s 00000000 08:01 42    /media/drive/pages.db\n"
              "7f0000001000-7f0000002000 r--s 00000000 08:01 43    /media/other/pages.db\n");
    EXPECT_EQ(scan(drives).volumes[0].openFileProcesses, 1);
    // Quiet since: reused, and another drive is judged by what it maps.
    const auto other = scan({"/media/drive", "/media/other"});
    EXPECT_EQ(other.volumes[0].openFileProcesses, 1);
    EXPECT_EQ(other.volumes[1].openFileProcesses, 1);
    EXPECT_EQ(quiet.reused(), 1u);
    EXPECT_EQ(quiet.unreadMappings(), 0u);
}

// Reading a process stops once it holds every drive of the day: what it holds beyond is
// unread, so after a change of drives it is read again, run or not.
TEST(QuietProcessCache, HoldingsReadUntilEveryDriveWasHeldAreReadAgainForOtherDrives) {
    struct Case {
        const char* name;
        bool lookForViewers;
        std::function<void(const fs::path& process)> setUp;
        std::function<bool(const core::VolumeProcessUsage& other)> seen;
    };
    const Case cases[] = {
        {"a mapping after a descriptor on the drive", false,
         [](const fs::path& process) {
             fs::create_symlink("/media/drive/notes.txt", process / "fd" / "3");
             writeFile(process / "maps", "7f0000000000-7f0000001000 r--s 00000000 08:01 42    "
                                         "/media/other/pages.db\n");
         },
         [](const core::VolumeProcessUsage& other) {
             return other.openFileProcesses == 1;
         }},
        {"a viewer's argument after its working directory on the drive", true,
         [](const fs::path& process) {
             fs::create_symlink("/usr/bin/eog", process / "exe");
             writeFile(process / "comm", "eog\n");
             writeFile(process / "cmdline", std::string("eog\0file:///media/other/a.png\0", 30));
         },
         [](const core::VolumeProcessUsage& other) {
             return other.viewerTouches;
         }},
    };
    const core::ViewerMatcher viewers;
    for (const Case& c : cases) {
        TemporaryFolder proc;
        const fs::path process = proc.path() / "100";
        writeProcess(process, "1000 20 3\n");
        c.setUp(process);
        QuietProcessCache quiet(0s);
        const auto scan = [&](std::vector<std::string> roots) {
            return core::scanProcesses(roots, c.lookForViewers ? &viewers : nullptr,
                                       proc.path().string(), nullptr, &quiet);
        };
        scan({"/media/drive"});
        EXPECT_EQ(scan({"/media/drive"}).volumes[0].cwdProcesses, 1) << c.name;
        // Quiet since, yet the other drive is judged by what was not read at first.
        EXPECT_TRUE(c.seen(scan({"/media/drive", "/media/other"}).volumes[1])) << c.name;
        EXPECT_EQ(quiet.reused(), 0u) << c.name;
        // Read whole then, it is reused from then on.
        EXPECT_TRUE(c.seen(scan({"/media/drive", "/media/other"}).volumes[1])) << c.name;
        EXPECT_EQ(quiet.reused(), 1u) << c.name;
    }
}

// The listing of the processes is taken again only once the kernel may have made one:
// it gave out a pid, or more tasks live than the fewest seen since the listing.
TEST(QuietProcessCache, TheProcessesAreListedAgainOnlyOnceTheKernelMayHaveMadeOne) {
    TemporaryFolder proc;
    const auto loadavg = [&](const char* tasks, const char* lastPid) {
        writeFile(proc.path() / "loadavg",
                  std::string("0.00 0.01 0.05 1/") + tasks + " " + lastPid + "\n");
    };
    const auto addProcess = [&](const char* pid) {
        writeProcess(proc.path() / pid, "1000 20 3\n");
    };
    QuietProcessCache quiet(0s);
    const auto scan = [&] {
        return scanDrive(proc.path(), quiet).cwdProcesses;
    };

    loadavg("160", "7000");
    addProcess("100");
    EXPECT_EQ(scan(), 1);
    // Nothing the kernel counts moved: the stand-in's new process is not looked for.
    addProcess("200");
    EXPECT_EQ(scan(), 1);
    // Tasks ended: still no new one.
    loadavg("150", "7000");
    EXPECT_EQ(scan(), 1);
    EXPECT_EQ(quiet.listings(), 1u);
    // More tasks than the fewest seen, with the same last pid: pids came round.
    loadavg("151", "7000");
    EXPECT_EQ(scan(), 2);
    addProcess("300");
    loadavg("151", "7001");
    EXPECT_EQ(scan(), 3);
    EXPECT_EQ(quiet.listings(), 3u);
    // A listed process that ended is not counted, listing or not.
    fs::remove_all(proc.path() / "100");
    EXPECT_EQ(scan(), 2);
    // Without the kernel's counts every scan lists.
    fs::remove(proc.path() / "loadavg");
    addProcess("400");
    EXPECT_EQ(scan(), 3);
    EXPECT_EQ(quiet.listings(), 4u);
}

// A process of two threads, each with counts of its own.
void writeThreads(const fs::path& process, const std::string& first, const std::string& second) {
    writeFile(process / "task" / process.filename() / "schedstat", first);
    fs::create_directories(process / "task" / "101");
    writeFile(process / "task" / "101" / "schedstat", second);
}

// A process that runs at every scan is not asked how it ran each time, yet what it holds
// is read at every scan; once it stops it is reused again within a few scans (from the
// second reading of its counts after, and those come every fourth scan).
TEST(QuietProcessCache, AProcessThatRunsOnIsReadEveryTimeAndReusedSoonAfterItStops) {
    TemporaryFolder proc;
    const fs::path process = proc.path() / "100";
    writeProcess(process, "1000 20 3\n");
    writeThreads(process, "1000 20 3\n", "500 1 1\n");
    QuietProcessCache quiet(0s);
    const auto onTheDrive = [&] {
        return scanDrive(proc.path(), quiet).cwdProcesses;
    };
    onTheDrive();
    ASSERT_EQ(onTheDrive(), 1);
    for (int run = 1; run <= 8; ++run) {
        writeThreads(process, std::to_string(1000 + run) + " 20 " + std::to_string(3 + run) + "\n",
                     "500 1 1\n");
        // Off the drive and back while it runs on.
        fs::remove(process / "cwd");
        fs::create_symlink(run % 2 ? "/elsewhere" : "/media/drive/work", process / "cwd");
        EXPECT_EQ(onTheDrive(), run % 2 ? 0 : 1) << run;
    }
    EXPECT_EQ(quiet.reused(), 0u);
    int scans = 0;
    while (quiet.reused() == 0 && scans < 10) {
        EXPECT_EQ(onTheDrive(), 1);
        ++scans;
    }
    EXPECT_LE(scans, 9);
}

// A process that runs on maps a file on the drive while nothing was opened there: its
// descriptor came from a process the scan cannot read, so no holder is seen. Its mappings
// are read at once when its address space changed, when a file was opened, or when its
// size cannot be read; a mapping put in the place of one of the same size and kind waits
// for the next scan that reads the process whole. Once seen, it stays seen.
TEST(QuietProcessCache, AMappingOfAProcessThatRunsOnIsSeenOnceItsAddressSpaceChanged) {
    struct Case {
        const char* name;
        // No statm at all when null.
        const char* statmAfter;
        bool nothingOpened = true;
        bool atOnce = true;
    };
    constexpr const char* kStatm = "2048 300 100 10 0 500 0\n";
    const Case cases[] = {
        {"the address space grew", "2049 300 100 10 0 500 0\n"},
        {"its private writable part grew", "2048 300 100 10 0 501 0\n"},
        {"a file was opened", kStatm, false},
        {"its size is unknown", nullptr},
        {"in place of a mapping of the same size", kStatm, true, false},
    };
    for (const Case& c : cases) {
        TemporaryFolder proc;
        const fs::path runner = proc.path() / "100";
        writeProcess(runner, "1000 20 3\n");
        fs::remove(runner / "cwd");
        fs::create_symlink("/elsewhere", runner / "cwd");
        if (c.statmAfter) {
            writeFile(runner / "statm", kStatm);
        }
        QuietProcessCache quiet(0s);
        int runs = 0;
        const auto runAndScan = [&] {
            ++runs;
            writeFile(runner / "schedstat",
                      std::to_string(1000 + runs) + " 20 " + std::to_string(3 + runs) + "\n");
            return core::scanProcesses({"/media/drive"}, nullptr, proc.path().string(), nullptr,
                                       &quiet, c.nothingOpened)
                .volumes[0]
                .openFileProcesses;
        };
        // Until the runner is taken to run on: every fourth scan reads it whole.
        for (int scan = 1; scan <= 8; ++scan) {
            ASSERT_EQ(runAndScan(), 0) << c.name;
        }
        EXPECT_EQ(quiet.unreadMappings() > 0, c.nothingOpened && c.statmAfter) << c.name;
        writeFile(runner / "maps",
                  "7f0000000000-7f0000001000 r--s 00000000 08:01 42    /media/drive/pages.db\n");
        if (c.statmAfter) {
            writeFile(runner / "statm", c.statmAfter);
        }
        int seen = runAndScan();
        EXPECT_EQ(seen, c.atOnce ? 1 : 0) << c.name;
        int scans = 1;
        for (; seen == 0 && scans < 10; ++scans) {
            seen = runAndScan();
        }
        EXPECT_LE(scans, c.atOnce ? 1 : 4) << c.name;
        for (int scan = 0; scan < 4; ++scan) {
            EXPECT_EQ(runAndScan(), 1) << c.name;
        }
    }
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
        scan();
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
    scan({"/media/other"});
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

// Kernel threads work in "/" without an executable, and so, for a moment, do processes on
// their way out: only the kernel's flag lets one be skipped for good.
TEST(QuietProcessCache, OnlyAKernelThreadIsSkippedForGood) {
    struct Case {
        const char* name;
        const char* stat;
        bool reuseThePid = false;
        bool skipped;
    };
    const Case cases[] = {
        {"kernel thread", "2 (kworker/0:1-events) I 2 0 0 0 -1 69238880 0 0\n", false, true},
        {"exiting process", "2 (a (b) c) S 1 2 2 0 -1 4194560 0 0\n", false, false},
        {"kernel thread's pid reused", "2 (kworker/0:1) I 2 0 0 0 -1 69238880 0 0\n", true, false},
    };
    for (const Case& c : cases) {
        TemporaryFolder proc;
        const fs::path process = proc.path() / "2";
        writeProcess(process, "1000 20 3\n");
        fs::remove(process / "cwd");
        fs::create_symlink("/", process / "cwd");
        writeFile(process / "stat", c.stat);
        QuietProcessCache quiet(1h);
        const auto scan = [&] {
            return scanDrive(proc.path(), quiet).openFileProcesses;
        };
        ASSERT_EQ(scan(), 0) << c.name;
        if (c.reuseThePid) {
            fs::rename(process, proc.path() / "old");
            writeProcess(process, "1000 20 3\n");
        }
        // What a process would show if it were one: read only when not skipped.
        fs::create_symlink("/usr/bin/player", process / "exe");
        fs::create_symlink("/media/drive/film.mkv", process / "fd" / "3");
        EXPECT_EQ(scan(), c.skipped ? 0 : 1) << c.name;
    }
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

// Scans while a child waits without holding the drive: none is seen, and quiet processes
// are reused. Then the child opens a file on the drive, and from the first scan that sees
// it on, every scan does.
void expectSeenAtOnceWhenOpened(const fs::path& drive, const std::function<void()>& open) {
    QuietProcessCache quiet(50ms);
    const std::vector<std::string> roots{drive.string()};
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

    open();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (holders() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    for (int scan = 0; scan < 3; ++scan) {
        EXPECT_EQ(holders(), 1) << "scan " << scan;
        std::this_thread::sleep_for(60ms);
    }
    EXPECT_GT(quiet.reused(), reusedWhileWaiting);
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
    expectSeenAtOnceWhenOpened(drive.path(), [&] { writeFile(fifo, "go\n"); });
    child.end();
    fs::remove(fifo);
}

// A forked child of two threads: the second waits for a byte on the pipe, then opens the
// file and keeps it open. The child only waits and opens: its main thread never runs again.
class ThreadedOpener {
public:
    explicit ThreadedOpener(const fs::path& file) {
        int go[2];
        int ready[2];
        if (pipe2(go, O_CLOEXEC) != 0 || pipe2(ready, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            std::thread opener([&] {
                [[maybe_unused]] const ssize_t said = write(ready[1], "r", 1);
                char byte = 0;
                if (read(go[0], &byte, 1) == 1) {
                    ::open(file.c_str(), O_RDONLY);
                }
                for (;;) {
                    pause();
                }
            });
            for (;;) {
                pause();
            }
        }
        close(go[0]);
        close(ready[1]);
        m_go = go[1];
        char byte = 0;
        if (m_pid < 0 || read(ready[0], &byte, 1) != 1) {
            close(ready[0]);
            throw std::runtime_error("the threaded child did not start");
        }
        close(ready[0]);
    }
    ~ThreadedOpener() {
        close(m_go);
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ThreadedOpener(const ThreadedOpener&) = delete;
    ThreadedOpener& operator=(const ThreadedOpener&) = delete;

    void open() { [[maybe_unused]] const ssize_t said = write(m_go, "g", 1); }

private:
    pid_t m_pid = -1;
    int m_go = -1;
};

// The kernel's side for threads: the main thread sleeps throughout, and the file opened
// by the other one is seen at once.
TEST(QuietProcessCache, AThreadThatWakesAndOpensAFileOnTheDriveIsSeenAtOnce) {
    TemporaryFolder drive;
    writeFile(drive.path() / "held.txt", "x");
    ThreadedOpener child(drive.path() / "held.txt");
    expectSeenAtOnceWhenOpened(drive.path(), [&] { child.open(); });
}

// Paths no process holds any more leave the cache's pool; those still held stay right.
TEST(QuietProcessCache, PathsLetGoAreDroppedAndTheRestStillJudgeTheDrives) {
    TemporaryFolder proc;
    writeProcess(proc.path() / "100", "1000 20 3\n");
    // A process mapping many files of its own, one after another.
    const auto mapMany = [&](const std::string& pid, int count) {
        const fs::path process = proc.path() / pid;
        writeProcess(process, "5 5 5\n");
        std::string maps;
        for (int index = 0; index < count; ++index) {
            maps += "7f00-7f01 r--p 00000000 08:01 " + std::to_string(index) + " /usr/share/" +
                    pid + "/" + std::to_string(index) + "\n";
        }
        writeFile(process / "maps", maps);
    };
    QuietProcessCache quiet(0s);
    const auto scan = [&](const std::vector<std::string>& roots) {
        return core::scanProcesses(roots, nullptr, proc.path().string(), nullptr, &quiet);
    };
    mapMany("200", 5000);
    scan({"/media/other"});
    scan({"/media/other"});
    fs::remove_all(proc.path() / "200");
    mapMany("300", 6000);
    scan({"/media/other"});
    scan({"/media/other"});
    EXPECT_EQ(quiet.reused(), 2u);
    fs::remove(proc.path() / "100" / "cwd");
    fs::create_symlink("/elsewhere", proc.path() / "100" / "cwd");
    const core::ProcessScanResult result = scan({"/media/drive", "/usr/share/300/7"});
    // Both work on the drive, as every stand-in process does.
    EXPECT_EQ(result.volumes[0].cwdProcesses, 2);
    EXPECT_EQ(result.volumes[1].openFileProcesses, 1);
    EXPECT_EQ(quiet.reused(), 4u);
}

} // namespace
} // namespace berthkeep::coretest

#include "ActivityMonitorTestSupport.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <memory>

namespace berthkeep::coretest {
namespace {

namespace fs = std::filesystem;

// Long windows: only the process evidence and what the test does itself count.
const std::string kSteadyConfiguration = configurationJson(20000, 20000, 10000, 30000);

bool busy(const json& usage) {
    return usage.value("is_busy", false);
}

bool idle(const json& usage) {
    return !usage.value("is_busy", true);
}

TEST(ActivityMonitorEvidence, HeldFileMakesTheDriveBusyUntilTheHolderEnds) {
    CoreLibrary core;
    TemporaryFolder drive;
    writeFile(drive.path() / "movie.mkv", "frames");
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));
    EXPECT_TRUE(idle(monitor.usage("disk4")));

    ChildProcess holder("exec 3<\"$1\"; exec sleep 30",
                        {"sh", (drive.path() / "movie.mkv").string()});
    json usage = monitor.waitForUsage("disk4", busy);
    EXPECT_EQ(usage["open_file_usage"], 1);
    EXPECT_EQ(usage["cwd_usage"], 0);
    EXPECT_EQ(usage["dominant_attention_reason"], "OPEN_FILE_USAGE");
    EXPECT_GT(usage["eject_failure_risk_score"].get<double>(), 0.5);
    // A plain directory shares its counters with its whole file system: no churn claim.
    EXPECT_EQ(usage["statfs_activity"], false);

    holder.end();
    usage = monitor.waitForUsage("disk4", idle);
    EXPECT_TRUE(idle(usage));
    EXPECT_EQ(usage["open_file_usage"], 0);
    EXPECT_FALSE(usage.contains("dominant_attention_reason"));
    EXPECT_EQ(usage["eject_failure_risk_score"], 0.0);
}

// The program's own process is not left out: a file it holds keeps the drive busy.
TEST(ActivityMonitorEvidence, OwnProcessCountsLikeAnyOther) {
    CoreLibrary core;
    TemporaryFolder drive;
    writeFile(drive.path() / "mine.txt", "x");
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));
    {
        std::ifstream held(drive.path() / "mine.txt");
        ASSERT_TRUE(held.is_open());
        EXPECT_EQ(monitor.usage("disk4")["open_file_usage"], 1);
    }
    EXPECT_EQ(monitor.usage("disk4")["open_file_usage"], 0);
}

TEST(ActivityMonitorEvidence, WorkingDirectoryOnTheDriveCountsEvenWhenNested) {
    CoreLibrary core;
    TemporaryFolder drive;
    fs::create_directories(drive.path() / "photos" / "2026");
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));

    ChildProcess shell("cd \"$1\" && exec sleep 30",
                       {"sh", (drive.path() / "photos" / "2026").string()});
    json usage = monitor.waitForUsage("disk4", busy);
    EXPECT_EQ(usage["cwd_usage"], 1);
    EXPECT_EQ(usage["open_file_usage"], 0);
    EXPECT_EQ(usage["dominant_attention_reason"], "CWD_USAGE");

    shell.end();
    EXPECT_TRUE(idle(monitor.waitForUsage("disk4", idle)));
}

TEST(ActivityMonitorEvidence, OpenFilesOutrankWorkingDirectoriesAndAreCountedPerProcess) {
    CoreLibrary core;
    TemporaryFolder drive;
    writeFile(drive.path() / "a.txt", "a");
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    monitor.update(volumeSetJson("enhanced", json::array({volume("disk4", drive.path())})));

    // Two descriptors in one process still count as one process.
    ChildProcess both("cd \"$1\" && exec 3<a.txt 4<a.txt && exec sleep 30",
                      {"sh", drive.path().string()});
    ChildProcess cwdOnly("cd \"$1\" && exec sleep 30", {"sh", drive.path().string()});
    const json usage = monitor.waitForUsage(
        "disk4", [](const json& u) { return u["open_file_usage"] == 1 && u["cwd_usage"] == 2; });
    EXPECT_EQ(usage["open_file_usage"], 1);
    EXPECT_EQ(usage["cwd_usage"], 2);
    EXPECT_EQ(usage["dominant_attention_reason"], "OPEN_FILE_USAGE");
}

TEST(ActivityMonitorEvidence, OnlyPathsUnderTheMountPathCount) {
    CoreLibrary core;
    TemporaryFolder base;
    const fs::path drive = base.path() / "Drive";
    const fs::path sibling = base.path() / "Drive 2";
    const fs::path link = base.path() / "link-to-drive";
    fs::create_directories(drive);
    fs::create_directories(sibling);
    fs::create_directory_symlink(drive, link);
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    // The second drive is named through a symbolic link; processes show resolved paths.
    monitor.update(
        volumeSetJson("standard", json::array({volume("plain", drive), volume("viaLink", link),
                                               volume("sibling", sibling)})));

    ChildProcess shell("cd \"$1\" && exec sleep 30", {"sh", drive.string()});
    monitor.waitForUsage("plain", busy);
    const json snapshot = monitor.snapshot()["usage_snapshots_by_drive_id"];
    EXPECT_EQ(snapshot["plain"]["cwd_usage"], 1);
    EXPECT_EQ(snapshot["viaLink"]["cwd_usage"], 1);
    EXPECT_EQ(snapshot["sibling"]["cwd_usage"], 0);
    EXPECT_EQ(snapshot["sibling"]["is_busy"], false);
}

TEST(ActivityMonitorEvidence, DeletedButOpenFileStillCounts) {
    CoreLibrary core;
    TemporaryFolder drive;
    writeFile(drive.path() / "gone.tmp", "x");
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));

    ChildProcess holder("exec 3<\"$1\" && rm \"$1\" && exec sleep 30",
                        {"sh", (drive.path() / "gone.tmp").string()});
    const json usage =
        monitor.waitForUsage("disk4", [](const json& u) { return u["open_file_usage"] == 1; });
    EXPECT_EQ(usage["open_file_usage"], 1);
}

// A mapped file keeps its file system busy like an open one (the unmount refuses), also
// after the descriptor is closed; a process counts once however it holds the drive.
TEST(ActivityMonitorEvidence, MappedFilesCountAsOpenFilesOncePerProcess) {
    struct Case {
        const char* name;
        MappingHolder::Options options;
        bool onTheDrive;
    };
    const Case cases[] = {
        {"mapped, descriptor closed", {}, true},
        {"mapped and still open", {.keepDescriptor = true}, true},
        {"mapped, then deleted", {.removeFile = true}, true},
        {"mapped outside the drive", {}, false},
    };
    CoreLibrary core;
    TemporaryFolder base;
    const fs::path drive = base.path() / "Drive";
    // Shares the drive's name as a prefix, so only a real path comparison leaves it out.
    const fs::path outside = base.path() / "Drive 2";
    fs::create_directories(drive / "library");
    fs::create_directories(outside);
    // File events off: the test's own writes must not count.
    MonitorUnderTest monitor(core, configurationJson(20000, 0, 10000, 30000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive)})));

    for (const Case& c : cases) {
        const fs::path file = (c.onTheDrive ? drive / "library" : outside) / "mapped.db";
        writeFile(file, "pages");
        MappingHolder holder(file, c.options);
        const json usage = monitor.usage("disk4");
        EXPECT_EQ(usage["open_file_usage"], c.onTheDrive ? 1 : 0) << c.name;
        EXPECT_EQ(usage["cwd_usage"], 0) << c.name;
        EXPECT_EQ(usage["is_busy"], c.onTheDrive) << c.name;
        if (c.onTheDrive) {
            EXPECT_EQ(usage.value("dominant_attention_reason", ""), "OPEN_FILE_USAGE") << c.name;
        }
        // Once the holder is gone, the very next snapshot says so.
        holder.end();
        EXPECT_TRUE(idle(monitor.usage("disk4"))) << c.name;
    }

    // A program started from the drive holds it through its executable.
    fs::copy_file("/bin/sleep", drive / "sleep");
    ChildProcess program("exec \"$1\" 30", {"sh", (drive / "sleep").string()});
    const json usage = monitor.waitForUsage("disk4", busy);
    EXPECT_EQ(usage["open_file_usage"], 1);
    EXPECT_EQ(usage["dominant_attention_reason"], "OPEN_FILE_USAGE");
}

// While a drive is unheld and nothing on it is opened, mappings are not read again; the
// one snapshot after a file on it was mapped, or a program on it started, sees it.
TEST(ActivityMonitorEvidence, AMappingMadeWhileTheDriveWasUnheldShowsAtTheNextSnapshot) {
    CoreLibrary core;
    TemporaryFolder base;
    const fs::path drive = base.path() / "Drive";
    fs::create_directories(drive / "library");
    writeFile(drive / "library" / "mapped.db", "pages");
    fs::copy_file("/bin/sleep", drive / "sleep");
    MonitorUnderTest monitor(core, configurationJson(20000, 0, 10000, 30000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive)})));
    const auto settle = [&] {
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(idle(monitor.usage("disk4")));
        }
    };

    settle();
    {
        MappingHolder holder(drive / "library" / "mapped.db", {});
        EXPECT_EQ(monitor.usage("disk4")["open_file_usage"], 1);
    }
    settle();
    ChildProcess program("exec \"$1\" 30", {"sh", (drive / "sleep").string()});
    const std::string executable = "/proc/" + std::to_string(program.pid()) + "/exe";
    for (int tries = 0; tries < 500; ++tries) {
        std::error_code error;
        if (fs::read_symlink(executable, error) == drive / "sleep") {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(monitor.usage("disk4")["open_file_usage"], 1);
}

// One end of a pipe read with a time limit: true once a byte came.
bool awaitByte(int fd) {
    pollfd ready{fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, 10000) == 1 && read(fd, &byte, 1) == 1;
}

void sendByte(int fd) {
    const char byte = 'y';
    [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
}

// One byte, with room for one descriptor passed beside it.
struct DescriptorMessage {
    DescriptorMessage() {
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    DescriptorMessage(const DescriptorMessage&) = delete;
    DescriptorMessage& operator=(const DescriptorMessage&) = delete;

    char data = 'd';
    iovec vector{&data, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
};

void sendDescriptor(int socket, int fd) {
    DescriptorMessage sent;
    cmsghdr* header = CMSG_FIRSTHDR(&sent.message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    [[maybe_unused]] const ssize_t length = sendmsg(socket, &sent.message, 0);
}

// -1 while nothing came (without waiting, unless wait).
int receiveDescriptor(int socket, bool wait) {
    DescriptorMessage received;
    if (recvmsg(socket, &received.message, wait ? 0 : MSG_DONTWAIT) != 1) {
        return -1;
    }
    const cmsghdr* header = CMSG_FIRSTHDR(&received.message);
    int fd = -1;
    if (header && header->cmsg_type == SCM_RIGHTS) {
        std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    }
    return fd;
}

// The giver holds the file opened before the monitor starts, in a process the monitor
// cannot read: as root, the monitor's side drops to an unprivileged user; otherwise the
// giver makes itself unreadable to its own user. Once the monitor has settled, the giver
// passes the descriptor over a unix socket to the receiver, a process of the monitor's
// user that sleeps or runs on, and lets go; the receiver maps it and closes it. Returns
// the drive's usage in the snapshot after that, or {"error": ...}.
json usageAfterAPassedDescriptorIsMapped(CoreLibrary& core, const fs::path& drive,
                                         const fs::path& file, bool receiverRunsOn) {
    int sockets[2];
    int result[2];
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0 || pipe(result) != 0) {
        return {{"error", "no file, socket or pipe"}};
    }
    const pid_t giver = fork();
    if (giver == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        prctl(PR_SET_DUMPABLE, 0);
        close(result[1]);
        // Asked for it through the socket.
        char asked = 0;
        if (read(sockets[0], &asked, 1) == 1) {
            sendDescriptor(sockets[0], fd);
        }
        close(fd);
        for (;;) {
            pause();
        }
    }
    close(fd);
    const pid_t monitorSide = fork();
    if (monitorSide == 0) {
        const auto answer = [&](const json& value) {
            const std::string text = value.dump();
            [[maybe_unused]] const ssize_t written = write(result[1], text.data(), text.size());
            _exit(0);
        };
        constexpr uid_t kNobody = 65534;
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
             setresuid(kNobody, kNobody, kNobody) != 0)) {
            answer({{"error", "cannot drop privilege"}});
        }
        // A change of user makes the process unreadable to that user; the receiver must not
        // be.
        prctl(PR_SET_DUMPABLE, 1);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int mapped[2];
        if (pipe(mapped) != 0) {
            answer({{"error", "no pipe"}});
        }
        const pid_t receiver = fork();
        if (receiver == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            int passed = -1;
            while ((passed = receiveDescriptor(sockets[1], !receiverRunsOn)) < 0) {
                usleep(5000);
            }
            if (mmap(nullptr, 4096, PROT_READ, MAP_SHARED, passed, 0) != MAP_FAILED) {
                close(passed);
                sendByte(mapped[1]);
            }
            for (;;) {
                receiverRunsOn ? usleep(5000) : pause();
            }
        }
        json usage;
        try {
            MonitorUnderTest monitor(core, kSteadyConfiguration);
            monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive)})));
            // Long enough for a receiver that runs on to be taken to.
            for (int round = 0; round < 6; ++round) {
                if (!idle(monitor.usage("disk4"))) {
                    answer({{"error", "busy before"}});
                }
            }
            sendByte(sockets[1]);
            usage = awaitByte(mapped[0]) ? monitor.usage("disk4") : json{{"error", "not mapped"}};
        } catch (const std::exception& error) {
            usage = {{"error", error.what()}};
        }
        if (receiver > 0) {
            kill(receiver, SIGKILL);
        }
        answer(usage);
    }
    close(result[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t length = 0; (length = read(result[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, std::size_t(length));
    }
    for (const pid_t child : {monitorSide, giver}) {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
    }
    for (const int end : {sockets[0], sockets[1], result[0]}) {
        close(end);
    }
    return json::parse(text, nullptr, false);
}

// A drive held only by a mapping whose descriptor came from a process the monitor cannot
// read is in use at the next snapshot, whether the receiver sleeps or runs on.
TEST(ActivityMonitorEvidence, AMappingOfADescriptorPassedByAnUnreadableProcessShowsAtOnce) {
    CoreLibrary core;
    TemporaryFolder base;
    // Readable by the unprivileged user the monitor's side may run as.
    fs::permissions(base.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    const fs::path drive = base.path() / "Drive";
    fs::create_directories(drive);
    writeFile(drive / "pages.db", std::string(8192, 'x'));
    for (const bool receiverRunsOn : {false, true}) {
        const json usage =
            usageAfterAPassedDescriptorIsMapped(core, drive, drive / "pages.db", receiverRunsOn);
        EXPECT_FALSE(usage.contains("error")) << usage.dump();
        EXPECT_EQ(usage.value("open_file_usage", -1), 1) << receiverRunsOn;
        EXPECT_TRUE(busy(usage)) << receiverRunsOn;
    }
}

// Opens inside another file system mounted in the drive reach no watch: there mappings
// are read at every snapshot.
TEST(ActivityMonitorEvidence, AMappingInsideAFileSystemMountedInTheDriveShowsAtOnce) {
    CoreLibrary core;
    TemporaryFolder base;
    const fs::path drive = base.path() / "Drive";
    const fs::path nested = drive / "nested";
    fs::create_directories(nested);
    if (mount("tmpfs", nested.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs privilege";
    }
    const std::unique_ptr<const char, void (*)(const char*)> unmount(
        nested.c_str(), [](const char* path) { umount2(path, MNT_DETACH); });
    writeFile(nested / "mapped.db", "pages");
    MonitorUnderTest monitor(core, configurationJson(20000, 0, 10000, 30000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive)})));
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(idle(monitor.usage("disk4")));
    }
    MappingHolder holder(nested / "mapped.db", {});
    EXPECT_EQ(monitor.usage("disk4")["open_file_usage"], 1);
}

// One file by two names: the process that reached it from inside the drive holds the
// drive, whichever process was read first.
TEST(ActivityMonitorEvidence, AMappedFileCountsByThePathItWasMappedBy) {
    CoreLibrary core;
    TemporaryFolder base;
    const fs::path drive = base.path() / "Drive";
    fs::create_directories(drive);
    writeFile(base.path() / "outside.db", "pages");
    fs::create_hard_link(base.path() / "outside.db", drive / "inside.db");
    MonitorUnderTest monitor(core, configurationJson(20000, 0, 10000, 30000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive)})));

    // Started first, so usually read first.
    MappingHolder outside(base.path() / "outside.db", {});
    EXPECT_TRUE(idle(monitor.usage("disk4")));
    MappingHolder inside(drive / "inside.db", {});
    EXPECT_EQ(monitor.usage("disk4")["open_file_usage"], 1);
}

TEST(ActivityMonitorEvidence, ChangesShowWithinTheFileEventWindowOnly) {
    CoreLibrary core;
    TemporaryFolder drive;
    fs::create_directories(drive.path() / "deep" / "deeper");
    MonitorUnderTest monitor(core, configurationJson(20000, 1000, 10000, 30000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));
    EXPECT_TRUE(idle(monitor.usage("disk4")));

    // Existing subdirectories are watched too.
    writeFile(drive.path() / "deep" / "deeper" / "new.txt", "hello");
    json usage = monitor.waitForUsage("disk4", busy, std::chrono::seconds(2));
    EXPECT_EQ(usage["fsevents_activity"], true);
    EXPECT_EQ(usage["dominant_attention_reason"], "FSEVENTS_ACTIVITY");
    EXPECT_EQ(usage["open_file_usage"], 0);

    usage = monitor.waitForUsage("disk4", idle, std::chrono::seconds(3));
    EXPECT_EQ(usage["fsevents_activity"], false);
    EXPECT_TRUE(idle(usage));

    // A directory made after the update is picked up: a write inside it shows.
    fs::create_directory(drive.path() / "later");
    EXPECT_TRUE(idle(monitor.waitForUsage("disk4", idle, std::chrono::seconds(3))));
    writeFile(drive.path() / "later" / "inside.txt", "x");
    EXPECT_EQ(monitor.waitForUsage("disk4", busy, std::chrono::seconds(2))["fsevents_activity"],
              true);
}

TEST(ActivityMonitorEvidence, DriveThatAppearsLaterIsWatchedFromTheNextUpdate) {
    CoreLibrary core;
    TemporaryFolder base;
    const fs::path drive = base.path() / "Late";
    MonitorUnderTest monitor(core, configurationJson(20000, 1000, 10000, 30000));
    const std::string update = volumeSetJson("standard", json::array({volume("disk4", drive)}));
    monitor.update(update);
    EXPECT_TRUE(idle(monitor.usage("disk4")));

    fs::create_directory(drive);
    monitor.update(update);
    writeFile(drive / "arrived.txt", "x");
    EXPECT_EQ(monitor.waitForUsage("disk4", busy, std::chrono::seconds(2))["fsevents_activity"],
              true);
}

// The unmount takes the drive's folder away and the mount makes a new one: neither is
// another process at work on the drive.
TEST(ActivityMonitorEvidence, UnmountAndRemountAtTheSamePlaceAreNotChanges) {
    CoreLibrary core;
    TemporaryFolder base;
    const fs::path drive = base.path() / "Alpha";
    fs::create_directory(drive);
    MonitorUnderTest monitor(core, configurationJson(20000, 20000, 10000, 30000));
    const std::string update = volumeSetJson("standard", json::array({volume("disk2s1", drive)}));
    monitor.update(update);
    EXPECT_TRUE(idle(monitor.usage("disk2s1")));

    fs::remove(drive);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    monitor.update(update);
    EXPECT_TRUE(idle(monitor.usage("disk2s1"))) << "unmounted";
    fs::create_directory(drive);
    monitor.update(update);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(idle(monitor.usage("disk2s1"))) << "remounted";

    writeFile(drive / "new.txt", "x");
    EXPECT_EQ(monitor.waitForUsage("disk2s1", busy, std::chrono::seconds(2))["fsevents_activity"],
              true);
}

// Context switches of every thread of this process but the caller's.
std::uint64_t otherThreadsSwitches() {
    std::uint64_t total = 0;
    const std::string self = std::to_string(gettid());
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == self) {
            continue;
        }
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                total += std::stoull(line.substr(line.find(':') + 1));
            }
        }
    }
    return total;
}

// Opens are watched (they tell whether mappings need reading) but are no change, and a
// program reading file after file does not wake the worker for each.
TEST(ActivityMonitorEvidence, ReadingFilesIsNotAChange) {
    CoreLibrary core;
    TemporaryFolder drive;
    writeFile(drive.path() / "read-me.txt", "content");
    MonitorUnderTest monitor(core, configurationJson(20000, 2000, 10000, 30000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));
    monitor.snapshot();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const std::uint64_t before = otherThreadsSwitches();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int reads = 0;
    while (std::chrono::steady_clock::now() < end) {
        std::ifstream(drive.path() / "read-me.txt").get();
        ++reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_LT(otherThreadsSwitches() - before, 30u) << reads << " reads";
    EXPECT_EQ(monitor.usage("disk4")["fsevents_activity"], false);
}

TEST(ActivityMonitorEvidence, FreeSpaceChurnOnAMountedFileSystemShowsWithinItsWindow) {
    TmpfsDrive drive;
    if (!drive.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs privilege";
    }
    CoreLibrary core;
    // File events switched off (zero window) so free-space churn is the only signal.
    MonitorUnderTest monitor(core, configurationJson(1000, 0, 10000, 5000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk7", drive.path())})));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const json before = monitor.snapshot();
    const json sample = before["debug_statfs_by_drive_id"]["disk7"];
    ASSERT_TRUE(sample.is_object());
    EXPECT_GT(sample["block_size"].get<std::uint64_t>(), 0u);
    EXPECT_EQ(sample["free_bytes"], sample["blocks_free"].get<std::uint64_t>() *
                                        sample["block_size"].get<std::uint64_t>());
    EXPECT_EQ(sample["used_bytes"].get<std::uint64_t>() + sample["free_bytes"].get<std::uint64_t>(),
              sample["blocks_total"].get<std::uint64_t>() *
                  sample["block_size"].get<std::uint64_t>());
    EXPECT_EQ(before["usage_snapshots_by_drive_id"]["disk7"]["statfs_activity"], false);

    writeFile(drive.path() / "blob.bin", std::string(256 * 1024, 'x'));
    json usage = monitor.waitForUsage("disk7", busy, std::chrono::seconds(2));
    EXPECT_EQ(usage["statfs_activity"], true);
    EXPECT_EQ(usage["dominant_attention_reason"], "STATFS_ACTIVITY");

    usage = monitor.waitForUsage("disk7", idle, std::chrono::seconds(3));
    EXPECT_EQ(usage["statfs_activity"], false);
}

// A plain folder's free-space counters are its whole file system's, so sampling them
// would only wake the worker for nothing.
TEST(ActivityMonitorEvidence, WithoutAFileSystemOfItsOwnTheWorkerSleepsBetweenCalls) {
    CoreLibrary core;
    TemporaryFolder drive;
    // A short free-space window: a burst would sample every 50 ms.
    MonitorUnderTest monitor(core, configurationJson(500, 20000, 10000, 30000));
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));
    monitor.snapshot();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint64_t before = otherThreadsSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(otherThreadsSwitches() - before, 5u);
}

// A drive of its own is sampled between calls for a while after it came and while its
// free space moves; once quiet, polling it again does not keep the worker sampling.
TEST(ActivityMonitorEvidence, AQuietDriveIsSampledBetweenCallsOnlyWhileItsFreeSpaceMoves) {
    TmpfsDrive drive;
    if (!drive.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs privilege";
    }
    CoreLibrary core;
    // Samples every 50 ms during a burst of 300 ms; file events off.
    MonitorUnderTest monitor(core, configurationJson(500, 0, 10000, 300));
    const std::string set = volumeSetJson("standard", json::array({volume("disk7", drive.path())}));
    const auto switchesOver = [](std::chrono::milliseconds period) {
        const std::uint64_t before = otherThreadsSwitches();
        std::this_thread::sleep_for(period);
        return otherThreadsSwitches() - before;
    };
    monitor.update(set);
    EXPECT_GE(switchesOver(std::chrono::milliseconds(250)), 3u) << "a new drive is sampled";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    // Polled again and again with nothing moving: the worker sleeps.
    monitor.update(set);
    monitor.snapshot();
    EXPECT_LT(switchesOver(std::chrono::milliseconds(600)), 3u);

    writeFile(drive.path() / "blob.bin", std::string(256 * 1024, 'x'));
    monitor.update(set);
    EXPECT_EQ(monitor.snapshot()["usage_snapshots_by_drive_id"]["disk7"]["statfs_activity"],
              true);
    EXPECT_GE(switchesOver(std::chrono::milliseconds(250)), 3u) << "moving free space is sampled";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LT(switchesOver(std::chrono::milliseconds(600)), 3u) << "and not once it stopped";
}

TEST(ActivityMonitorEvidence, ViewersAreRecognisedByNameOrPromotedIdentity) {
    CoreLibrary core;
    TemporaryFolder drive;
    TemporaryFolder tools;
    writeFile(drive.path() / "clip.mp4", "frames");
    // A program whose process name is that of a known player.
    fs::copy_file("/bin/sleep", tools.path() / "mpv");
    MonitorUnderTest monitor(core, configurationJson(20000, 20000, 1000, 30000));
    monitor.update(volumeSetJson("enhanced", json::array({volume("disk4", drive.path())})));

    {
        ChildProcess player(
            "exec 3<\"$1\"; exec \"$2\" 30",
            {"sh", (drive.path() / "clip.mp4").string(), (tools.path() / "mpv").string()});
        const json usage = monitor.waitForUsage(
            "disk4", [](const json& u) { return u.value("viewer_assist_activity", false); });
        EXPECT_EQ(usage["viewer_assist_activity"], true);
        EXPECT_EQ(usage["dominant_attention_reason"], "OPEN_FILE_USAGE");
        EXPECT_EQ(monitor.snapshot()["observed_targeted_assist_identities"],
                  json::parse(R"([{"identity":"mpv","display_name":"mpv"}])"));
    }
    // The viewer's touch lingers for the viewer window, then goes.
    const json after = monitor.waitForUsage("disk4", idle, std::chrono::seconds(3));
    EXPECT_TRUE(idle(after));
    EXPECT_EQ(monitor.snapshot()["observed_targeted_assist_identities"], json::array());

    // A shell started with a file on the drive as its argument: only a promoted "sh"
    // makes it a viewer, and only while adaptive learning is on and in enhanced mode.
    const json promoted = json::parse(R"([{"identity":" SH ","display_name":"Shell"}])");
    ChildProcess shell("sleep 30; :", {(drive.path() / "clip.mp4").string()});
    struct Case {
        const char* mode;
        bool adaptive;
        bool viewer;
    };
    for (const Case& c : {Case{"enhanced", false, false}, Case{"standard", true, false},
                          Case{"enhanced", true, true}}) {
        monitor.update(volumeSetJson(c.mode, json::array({volume("disk4", drive.path())}),
                                     c.adaptive, promoted));
        const json usage = monitor.waitForUsage(
            "disk4", [&](const json& u) { return u["viewer_assist_activity"] == c.viewer; },
            std::chrono::seconds(c.viewer ? 5 : 1));
        EXPECT_EQ(usage["viewer_assist_activity"], c.viewer)
            << c.mode << " adaptive " << c.adaptive;
        if (c.viewer) {
            EXPECT_EQ(usage["dominant_attention_reason"], "VIEWER_ASSIST_ACTIVITY");
            EXPECT_EQ(usage["open_file_usage"], 0);
            EXPECT_EQ(monitor.snapshot()["observed_targeted_assist_identities"],
                      json::parse(R"([{"identity":" SH ","display_name":"Shell"}])"));
        }
    }
}

// The process name comes from the path a program was started by, the executable link
// from the file itself: started through a link of another name, a viewer is still known
// by its executable, and a promoted identity may name the executable or its file name.
TEST(ActivityMonitorEvidence, ViewersAreRecognisedByTheirExecutableWhateverTheirName) {
    CoreLibrary core;
    TemporaryFolder drive;
    TemporaryFolder tools;
    const fs::path document = drive.path() / "page.pdf";
    writeFile(document, "pages");
    fs::copy_file("/bin/sleep", tools.path() / "zathura");
    fs::copy_file("/bin/sleep", tools.path() / "renderer");
    fs::create_symlink(tools.path() / "zathura", tools.path() / "reader");
    fs::create_symlink(tools.path() / "renderer", tools.path() / "preview");
    const json byPath = {
        {{"identity", (tools.path() / "renderer").string()}, {"display_name", "Renderer"}}};
    const json byFileName = {{{"identity", "Renderer"}, {"display_name", "Renderer"}}};

    struct Case {
        const char* name;
        const char* started;
        json promoted;
        json observed;
    };
    const Case cases[] = {
        {"built-in viewer by its executable", "reader", json::array(),
         json::parse(R"([{"identity":"zathura","display_name":"zathura"}])")},
        {"promoted executable path", "preview", byPath, byPath},
        {"promoted executable file name", "preview", byFileName, byFileName},
        {"no viewer by executable or name", "preview", json::array(), json::array()},
    };
    for (const Case& c : cases) {
        MonitorUnderTest monitor(core, kSteadyConfiguration);
        monitor.update(volumeSetJson("enhanced", json::array({volume("disk4", drive.path())}), true,
                                     c.promoted));
        ChildProcess holder("exec 3<\"$1\"; exec \"$2\" 30",
                            {"sh", document.string(), (tools.path() / c.started).string()});
        const bool viewer = !c.observed.empty();
        // The shell holds the file before it becomes the program: wait for the program.
        const json usage = monitor.waitForUsage(
            "disk4",
            [&](const json& u) {
                return u["open_file_usage"] == 1 && u["viewer_assist_activity"] == viewer;
            },
            std::chrono::seconds(viewer ? 5 : 1));
        EXPECT_EQ(usage["open_file_usage"], 1) << c.name;
        EXPECT_EQ(usage["viewer_assist_activity"], viewer) << c.name;
        EXPECT_EQ(monitor.snapshot()["observed_targeted_assist_identities"], c.observed) << c.name;
    }
}

// Process names are kept between snapshots: a program seen under its own name that then
// starts a player through a link of the player's name is judged by the new name.
TEST(ActivityMonitorEvidence, AProcessThatStartsAnotherProgramIsJudgedByItsNewName) {
    CoreLibrary core;
    TemporaryFolder drive;
    TemporaryFolder tools;
    const fs::path document = drive.path() / "clip.mp4";
    writeFile(document, "frames");
    fs::copy_file(fs::canonical("/bin/sh"), tools.path() / "launcher");
    fs::copy_file("/bin/sleep", tools.path() / "player");
    fs::create_symlink(tools.path() / "player", tools.path() / "mpv");
    const fs::path go = tools.path() / "go";
    ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    monitor.update(volumeSetJson("enhanced", json::array({volume("disk4", drive.path())})));

    ChildProcess child(
        R"(exec "$1" -c 'exec 3<"$1"; read line <"$2"; exec "$3" 30' x "$2" "$3" "$4")",
        {"sh", (tools.path() / "launcher").string(), document.string(), go.string(),
         (tools.path() / "mpv").string()});
    const json before =
        monitor.waitForUsage("disk4", [](const json& u) { return u["open_file_usage"] == 1; });
    EXPECT_EQ(before["viewer_assist_activity"], false);
    std::ofstream(go) << "go" << std::endl;
    const json after = monitor.waitForUsage(
        "disk4", [](const json& u) { return u.value("viewer_assist_activity", false); });
    EXPECT_EQ(after["viewer_assist_activity"], true);
    EXPECT_EQ(after["open_file_usage"], 1);
}

TEST(ActivityMonitorEvidence, CoreOnlyUpdateReportsNoUsage) {
    CoreLibrary core;
    TemporaryFolder drive;
    MonitorUnderTest monitor(core, kSteadyConfiguration);
    monitor.update(volumeSetJson("core_only", json::array({volume("disk4", drive.path())})));
    ChildProcess shell("cd \"$1\" && exec sleep 30", {"sh", drive.path().string()});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const json snapshot = monitor.snapshot();
    EXPECT_EQ(snapshot["usage_snapshots_by_drive_id"]["disk4"],
              json::parse(R"({"open_file_usage":0,"cwd_usage":0,"statfs_activity":false,
                              "fsevents_activity":false,"viewer_assist_activity":false,
                              "eject_failure_risk_score":0.0,"is_busy":false})"));
    EXPECT_EQ(snapshot["debug_statfs_by_drive_id"], json::object());
}

TEST(ActivityMonitorEvidence, UpdatesAndSnapshotsFromSeveralThreads) {
    CoreLibrary core;
    TemporaryFolder drive;
    fs::create_directory(drive.path() / "a");
    MonitorUnderTest monitor(core, configurationJson(100, 100, 100, 200));
    monitor.update(volumeSetJson("enhanced", json::array({volume("disk4", drive.path())})));
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::thread updater([&] {
        for (int round = 0; round < 100; ++round) {
            const json volumes = round % 2 ? json::array({volume("disk4", drive.path())})
                                           : json::array({volume("disk4", drive.path() / "a"),
                                                          volume("disk5", drive.path())});
            const std::string text = volumeSetJson("enhanced", volumes);
            if (!core.monitorUpdate(monitor.handle(), text.c_str())) {
                ++failures;
            }
        }
        stop = true;
    });
    std::thread writer([&] {
        for (int index = 0; !stop; ++index) {
            writeFile(drive.path() / "a" / ("f" + std::to_string(index % 5)), "x");
        }
    });
    while (!stop) {
        char* text = core.monitorSnapshot(monitor.handle());
        if (!text) {
            ++failures;
        } else {
            EXPECT_TRUE(json::parse(text)["usage_snapshots_by_drive_id"].contains("disk4"));
            core.freeString(text);
        }
    }
    updater.join();
    writer.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
} // namespace berthkeep::coretest

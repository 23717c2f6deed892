#include "ActivityMonitorTestSupport.hpp"

#include <gtest/gtest.h>

namespace berthkeep::coretest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A short file-event window and long others: only what the test writes shows.
const std::string kEventConfiguration = configurationJson(20000, 300, 10000, 30000);

bool changed(const json& usage) {
    return usage.value("fsevents_activity", false);
}

bool quiet(const json& usage) {
    return !usage.value("fsevents_activity", true);
}

// fanout + fanout² folders below root.
void makeTree(const fs::path& root, int fanout) {
    for (int outer = 0; outer < fanout; ++outer) {
        for (int inner = 0; inner < fanout; ++inner) {
            fs::create_directories(root / std::to_string(outer) / std::to_string(inner));
        }
    }
}

// Waits for the drive to be quiet, writes a file in the folder and says whether the
// change showed on the drive.
bool changeShows(MonitorUnderTest& monitor, const std::string& driveID, const fs::path& folder) {
    monitor.waitForUsage(driveID, quiet, 2s);
    writeFile(folder / "touched.txt", "x");
    return changed(monitor.waitForUsage(driveID, changed, 2s));
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string updateLoggingWhatItSays(MonitorUnderTest& monitor, const json& volumes, int times = 1) {
    testing::internal::CaptureStderr();
    for (int round = 0; round < times; ++round) {
        monitor.update(volumeSetJson("standard", volumes));
    }
    return testing::internal::GetCapturedStderr();
}

// Thousands of folders come and go much faster in memory than on a disk.
fs::path memoryBackedBase() {
    std::error_code error;
    return fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

TEST(ActivityMonitorWatches, SpentBudgetLeavesWatchedDrivesAloneAndGoesToWaitingDrivesWhenFreed) {
    CoreLibrary core;
    TemporaryFolder base(memoryBackedBase());
    // Three large trees take 1024 folders each (the most one drive gets), the fourth
    // what is left of the 4096; the small drive listed first is watched whole, the one
    // listed last not at all.
    const fs::path first = base.path() / "first";
    const fs::path last = base.path() / "last";
    fs::create_directories(first / "inner");
    fs::create_directories(last / "inner");
    json volumes = json::array({volume("first", first)});
    for (int index = 0; index < 4; ++index) {
        const fs::path large = base.path() / ("large" + std::to_string(index));
        makeTree(large, 32);
        volumes.push_back(volume("large" + std::to_string(index), large));
    }
    volumes.push_back(volume("last", last));

    MonitorUnderTest monitor(core, kEventConfiguration);
    // Updates with nothing changed neither repeat the news nor disturb the watches.
    std::string log = updateLoggingWhatItSays(monitor, volumes, 5);
    for (const char* drive : {"large0", "large1", "large2", "large3", "last"}) {
        EXPECT_EQ(occurrences(log, std::string("drive ") + drive + " ("), 1u) << drive << "\n"
                                                                              << log;
    }
    EXPECT_EQ(occurrences(log, "drive first ("), 0u) << log;
    EXPECT_EQ(occurrences(log, "only 1024 folders are watched"), 3u) << log;
    EXPECT_EQ(occurrences(log, "only 0 folders are watched"), 1u) << log;

    EXPECT_TRUE(changeShows(monitor, "first", first / "inner"));
    writeFile(last / "inner" / "unseen.txt", "x");
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(quiet(monitor.usage("last")));

    // Letting a large drive go makes room: the waiting drive is watched from this update
    // on, and every drive's changes still land on that drive, though positions moved.
    volumes.erase(1);
    log = updateLoggingWhatItSays(monitor, volumes);
    EXPECT_EQ(occurrences(log, "every folder is watched for changes again"), 1u) << log;
    EXPECT_EQ(occurrences(log, "drive last ("), 1u) << log;
    monitor.waitForUsage("first", quiet, 2s);
    EXPECT_TRUE(changeShows(monitor, "last", last / "inner"));
    EXPECT_TRUE(quiet(monitor.usage("first")));
    EXPECT_TRUE(changeShows(monitor, "first", first / "inner"));
    EXPECT_TRUE(changeShows(monitor, "large3", base.path() / "large3"));
}

TEST(ActivityMonitorWatches, FileSystemMountedOverAWatchedFolderIsWatchedFromTheNextUpdate) {
    TmpfsDrive drive(TmpfsDrive::Start::unmounted);
    CoreLibrary core;
    MonitorUnderTest monitor(core, kEventConfiguration);
    const json volumes = json::array({volume("disk7", drive.path())});
    monitor.update(volumeSetJson("standard", volumes));
    if (!drive.mountNow()) {
        GTEST_SKIP() << "mounting a tmpfs needs privilege";
    }
    monitor.update(volumeSetJson("standard", volumes));
    EXPECT_TRUE(changeShows(monitor, "disk7", drive.path()));
}

} // namespace
} // namespace berthkeep::coretest

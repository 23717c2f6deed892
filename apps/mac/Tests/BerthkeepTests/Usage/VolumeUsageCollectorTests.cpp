#include "Berthkeep/Usage/VolumeUsageCollector.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Berthkeep/Drive/UnavailableDriveUsageProvider.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"
#include "BerthkeepRustBridge/RustDriveUsageProvider.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Records what it was told and answers with a scripted map.
class RecordingUsageSource final : public DriveUsageProviding {
public:
    void updateManagedVolumes(const std::vector<DetectedDrive>& drives,
                              ActivityDetectionMode mode) override {
        std::lock_guard guard(m_mutex);
        updates.push_back(drives);
        modes.push_back(mode);
        if (failUpdate) {
            throw SourceError("update refused");
        }
    }
    std::map<std::string, DriveUsageSnapshot> usageSnapshotsByDriveID() override {
        std::lock_guard guard(m_mutex);
        ++snapshotCalls;
        return reply;
    }

    std::vector<std::vector<DetectedDrive>> updates;
    std::vector<ActivityDetectionMode> modes;
    int snapshotCalls = 0;
    bool failUpdate = false;
    std::map<std::string, DriveUsageSnapshot> reply;

private:
    std::mutex m_mutex;
};

DetectedDrive drive(const std::string& id, bool mounted,
                    DetectedDrive::Scope scope = DetectedDrive::Scope::managed) {
    std::optional<QUrl> url;
    if (mounted) {
        url = QUrl::fromLocalFile(QString::fromStdString("/media/" + id + "/"));
    }
    return DetectedDrive(id, id, url, scope, true, id + "s1");
}

DriveUsageSnapshot busy(std::int64_t openFiles) {
    DriveUsageSnapshot snapshot;
    snapshot.openFileUsage = openFiles;
    snapshot.isBusy = true;
    return snapshot;
}

class VolumeUsageCollectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        BerthkeepStartupAudit::setOutputsForTesting(
            BerthkeepStartupAudit::Outputs{m_audit, nullptr, "test", false});
    }
    void TearDown() override {
        BerthkeepStartupAudit::setOutputsForTesting(std::nullopt);
        BerthkeepRustBridgeRegistry::resetForTesting();
    }

    VolumeUsageCollector collectorOver(std::shared_ptr<DriveUsageProviding> source) {
        return VolumeUsageCollector([source, calls = m_factoryCalls] {
            ++*calls;
            return source;
        });
    }

    std::shared_ptr<CaptureUnifiedLog> m_audit = std::make_shared<CaptureUnifiedLog>();
    std::shared_ptr<std::atomic<int>> m_factoryCalls = std::make_shared<std::atomic<int>>(0);
};

TEST_F(VolumeUsageCollectorTest, CoreOnlyReturnsNothingAndWritesItsFaultLine) {
    VolumeUsageCollector collector(
        [calls = m_factoryCalls]() -> std::shared_ptr<DriveUsageProviding> {
            ++*calls;
            throw std::logic_error("the factory must not run in core-only mode");
        });
    EXPECT_TRUE(collector.snapshot({drive("a", true)}, ActivityDetectionMode::coreOnly).empty());
    EXPECT_TRUE(collector.snapshot({}, ActivityDetectionMode::coreOnly).empty());
    EXPECT_EQ(*m_factoryCalls, 0);

    const auto entries = m_audit->entries();
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.type, UnifiedLogType::fault);
        EXPECT_NE(entry.message.find("Attempted to start drive usage collection while activity "
                                     "detection is disabled"),
                  std::string::npos);
        EXPECT_NE(entry.message.find("component=VolumeUsageCollector"), std::string::npos);
        EXPECT_NE(entry.message.find("phase=initial_refresh"), std::string::npos);
    }
}

TEST_F(VolumeUsageCollectorTest, SendsMountedManagedDrivesAndKeepsOnlyTheirSnapshots) {
    auto source = std::make_shared<RecordingUsageSource>();
    source->reply = {{"A", busy(1)}, {"B", busy(2)}, {"C", busy(3)}, {"Z", busy(4)}};
    auto collector = collectorOver(source);
    const auto a = drive("A", true);
    const auto result =
        collector.snapshot({a, drive("B", true, DetectedDrive::Scope::excluded), drive("C", false)},
                           ActivityDetectionMode::enhanced);

    ASSERT_EQ(source->updates.size(), 1u);
    EXPECT_EQ(source->updates[0], std::vector<DetectedDrive>{a});
    EXPECT_EQ(source->modes[0], ActivityDetectionMode::enhanced);
    EXPECT_EQ(result, (std::map<std::string, DriveUsageSnapshot>{{"A", busy(1)}}));
    EXPECT_TRUE(m_audit->entries().empty());
}

TEST_F(VolumeUsageCollectorTest, NoDrivesStillAsksTheSource) {
    auto source = std::make_shared<RecordingUsageSource>();
    source->reply = {{"A", busy(1)}};
    auto collector = collectorOver(source);
    EXPECT_TRUE(collector.snapshot({}, ActivityDetectionMode::standard).empty());
    ASSERT_EQ(source->updates.size(), 1u);
    EXPECT_TRUE(source->updates[0].empty());
    EXPECT_EQ(source->snapshotCalls, 1);
}

TEST_F(VolumeUsageCollectorTest, FailedUpdateSkipsTheSnapshotAndPassesTheErrorOn) {
    auto source = std::make_shared<RecordingUsageSource>();
    source->failUpdate = true;
    auto collector = collectorOver(source);
    EXPECT_THROW(collector.snapshot({drive("A", true)}, ActivityDetectionMode::standard),
                 SourceError);
    EXPECT_EQ(source->snapshotCalls, 0);
}

TEST_F(VolumeUsageCollectorTest, CopiesAndThreadsShareOneSourceMadeOnce) {
    auto source = std::make_shared<RecordingUsageSource>();
    auto collector = collectorOver(source);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([copy = collector]() mutable {
            copy.snapshot({drive("A", true)}, ActivityDetectionMode::standard);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(*m_factoryCalls, 1);
    EXPECT_EQ(source->updates.size(), 8u);
}

TEST_F(VolumeUsageCollectorTest, UnavailableSourceFailsEveryCollectionWithItsError) {
    auto collector = collectorOver(std::make_shared<UnavailableDriveUsageProvider>(
        std::make_exception_ptr(SourceError("no library"))));
    for (int i = 0; i < 2; ++i) {
        try {
            collector.snapshot({drive("A", true)}, ActivityDetectionMode::standard);
            ADD_FAILURE() << "expected the stored error";
        } catch (const SourceError& error) {
            EXPECT_STREQ(error.what(), "no library");
        }
    }
    EXPECT_EQ(*m_factoryCalls, 1);
}

TEST_F(VolumeUsageCollectorTest, DefaultFactoryAsksTheRegistryWhenItRuns) {
    BerthkeepRustBridgeRegistry::resetForTesting();
    VolumeUsageCollector unregistered;
    EXPECT_THROW(unregistered.snapshot({}, ActivityDetectionMode::standard),
                 BerthkeepRustBridgeUnavailableError);

    // Registered after the collector was built: still the one used.
    VolumeUsageCollector collector;
    auto source = std::make_shared<RecordingUsageSource>();
    BerthkeepRustBridgeRegistry::registerFactories(
        nullptr, [source] { return source; }, nullptr);
    collector.snapshot({drive("A", true)}, ActivityDetectionMode::standard);
    EXPECT_EQ(source->updates.size(), 1u);
}

#ifdef BERTHKEEP_USAGE_CORE_LIBRARY_PATH
// The collector over the activity-monitor bridge and the built core library: a
// folder stands in for the volume, and this process holds a file open in it.
TEST_F(VolumeUsageCollectorTest, EnhancedModeReportsTheRealMonitorByDriveID) {
    QTemporaryDir volume;
    QTemporaryDir support;
    const auto store = std::make_shared<FileTargetedAssistLearningStore>(
        BerthkeepRuntimeIdentity::testBundleIdentifier, support.path().toStdString());
    VolumeUsageCollector collector([store]() -> std::shared_ptr<DriveUsageProviding> {
        return std::make_shared<RustDriveUsageProvider>(BERTHKEEP_USAGE_CORE_LIBRARY_PATH, store,
                                                        [] { return true; });
    });
    const DetectedDrive managed("disk7", "Seven", QUrl::fromLocalFile(volume.path() + "/"),
                                DetectedDrive::Scope::managed, true, std::string("disk7s1"));
    const DetectedDrive excluded("disk8", "Eight", QUrl::fromLocalFile(volume.path()),
                                 DetectedDrive::Scope::excluded, true);

    std::ofstream held(QDir(volume.path()).filePath("held.txt").toStdString());
    ASSERT_TRUE(held.is_open());
    std::map<std::string, DriveUsageSnapshot> result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        result = collector.snapshot({managed, excluded}, ActivityDetectionMode::enhanced);
        if (result.count("disk7") && result.at("disk7").isBusy) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(result.size(), 1u);
    ASSERT_EQ(result.count("disk7"), 1u);
    EXPECT_TRUE(result.at("disk7").isBusy);
    EXPECT_GE(result.at("disk7").openFileUsage, 1);

    // Core-only never reaches the monitor.
    EXPECT_TRUE(collector.snapshot({managed}, ActivityDetectionMode::coreOnly).empty());
}

#endif

} // namespace
} // namespace berthkeep

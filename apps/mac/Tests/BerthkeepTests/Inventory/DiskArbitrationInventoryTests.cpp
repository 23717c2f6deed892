#include "InventoryTestSupport.hpp"

#include <QUuid>

#include <thread>
#include <utility>

#include "Berthkeep/Inventory/InventoryChangeCoalescer.hpp"
#include "Berthkeep/Inventory/LiveDiskArbitrationProvider.hpp"
#include "Berthkeep/Inventory/LiveDriveInventoryMonitor.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {
namespace {

using inventorytest::FakeDiskArbitrationService;
using inventorytest::spinFor;
using inventorytest::spinUntil;

DiskDescriptionValues stickValues(const std::string& name = "STICK") {
    DiskDescriptionValues values;
    values.deviceInternal = false;
    values.deviceProtocol = "USB";
    values.mediaRemovable = true;
    values.mediaLeaf = true;
    values.volumeName = name;
    values.volumeUUID = QUuid("{6f1d2c3b-aaaa-4bbb-8ccc-0123456789ab}");
    values.volumePath = QUrl::fromLocalFile("/Volumes/" + QString::fromStdString(name) + "/");
    return values;
}

TEST(DiskArbitrationDiskDescriptionTest, ConvertsTheServiceValues) {
    const auto description = DiskArbitrationDiskDescription::make(stickValues());
    EXPECT_EQ(description.volumeUUIDString,
              std::optional<std::string>("6F1D2C3B-AAAA-4BBB-8CCC-0123456789AB"));
    EXPECT_EQ(description.deviceProtocol, std::optional<std::string>("USB"));
    EXPECT_EQ(description.mediaRemovable, true);
    EXPECT_EQ(description.volumePath, QUrl::fromLocalFile("/Volumes/STICK/"));
    EXPECT_EQ(description.mediaWhole, std::nullopt);
    EXPECT_EQ(DiskArbitrationDiskDescription::make({}), DiskArbitrationDiskDescription{});
}

class LiveDiskArbitrationProviderTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeDiskArbitrationService> m_service =
        std::make_shared<FakeDiskArbitrationService>();
    std::shared_ptr<LiveDiskArbitrationProvider> m_provider =
        std::make_shared<LiveDiskArbitrationProvider>(m_service);
};

TEST_F(LiveDiskArbitrationProviderTest, LooksUpOnceAndThenAnswersFromTheCache) {
    m_service->descriptions["disk4s1"] = stickValues();
    const auto first = m_provider->description("disk4s1");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->volumeName, std::optional<std::string>("STICK"));
    EXPECT_EQ(m_service->sessionsCreated, 1);

    m_service->descriptions["disk4s1"] = stickValues("RENAMED");
    EXPECT_EQ(m_provider->description("disk4s1"), first) << "a hit does not ask the service again";
    EXPECT_EQ(m_service->sessionsCreated, 1);
    EXPECT_EQ(m_provider->cachedDescriptionsByBSDName().size(), 1u);

    EXPECT_EQ(m_provider->description("disk9"), std::nullopt);
    EXPECT_EQ(m_provider->cachedDescriptionsByBSDName().count("disk9"), 0u);
    m_service->failSessionCreation = true;
    EXPECT_EQ(m_provider->description("disk8"), std::nullopt);
}

// An event for the name arrives while an on-demand lookup asks the service
// (the lookup has read the older description by then): what the event left
// stands, and the lookup answers with it.
TEST_F(LiveDiskArbitrationProviderTest, AnEventDuringALookupOutranksTheLookupsAnswer) {
    using Event = std::function<void(LiveDiskArbitrationProvider&, DiskArbitrationSession&)>;
    const auto cacheRenamed = [](LiveDiskArbitrationProvider& provider,
                                 DiskArbitrationSession& session) {
        provider.cacheDescription(
            FakeDiskArbitrationService::disk("disk4s1", stickValues("RENAMED")), session);
    };
    struct Case {
        const char* label;
        Event event;
        std::optional<std::string> cachedName; // none: no entry
        std::optional<std::string> answeredName;
    };
    const std::vector<Case> cases{
        {"nothing in between", nullptr, "STICK", "STICK"},
        {"appeared or changed", cacheRenamed, "RENAMED", "RENAMED"},
        {"disappeared",
         [](LiveDiskArbitrationProvider& provider, DiskArbitrationSession&) {
             provider.removeDescription("disk4s1");
         },
         std::nullopt, "STICK"},
        {"changed, then disappeared",
         [cacheRenamed](LiveDiskArbitrationProvider& provider, DiskArbitrationSession& session) {
             cacheRenamed(provider, session);
             provider.removeDescription("disk4s1");
         },
         std::nullopt, "STICK"},
        {"another disk's event",
         [](LiveDiskArbitrationProvider& provider, DiskArbitrationSession& session) {
             provider.cacheDescription(FakeDiskArbitrationService::disk("disk5s1", stickValues()),
                                       session);
         },
         "STICK", "STICK"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        auto service = std::make_shared<FakeDiskArbitrationService>();
        auto provider = std::make_shared<LiveDiskArbitrationProvider>(service);
        service->descriptions["disk4s1"] = stickValues();
        // Runs once, inside the lookup's copy and before it reads its values; the
        // event's own copy reads the disk it is handed.
        bool fired = false;
        service->onCopyDescription = [&](const DiskArbitrationDisk&) {
            if (std::exchange(fired, true)) {
                return;
            }
            if (testCase.event) {
                const auto saved = service->descriptions;
                service->descriptions.clear();
                testCase.event(*provider, *service->lastSession);
                service->descriptions = saved;
            }
        };
        const auto answer = provider->description("disk4s1");
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->volumeName, testCase.answeredName);
        const auto cache = provider->cachedDescriptionsByBSDName();
        const auto entry = cache.find("disk4s1");
        EXPECT_EQ(entry == cache.end() ? std::nullopt : entry->second.volumeName,
                  testCase.cachedName);
    }
}

TEST_F(LiveDiskArbitrationProviderTest, ALookupAfterTheRaceCachesAsUsual) {
    m_service->descriptions["disk4s1"] = stickValues();
    m_service->onCopyDescription = [this](const DiskArbitrationDisk& disk) {
        m_provider->removeDescription(*disk.bsdName);
    };
    EXPECT_TRUE(m_provider->description("disk4s1").has_value());
    EXPECT_TRUE(m_provider->cachedDescriptionsByBSDName().empty());
    m_service->onCopyDescription = nullptr;
    EXPECT_TRUE(m_provider->description("disk4s1").has_value());
    EXPECT_EQ(m_provider->cachedDescriptionsByBSDName().count("disk4s1"), 1u);
}

TEST(LiveDiskArbitrationProviderSharedTest, TheSharedInstanceIsMadeOverTheServiceGivenFirst) {
    EXPECT_THROW(LiveDiskArbitrationProvider::shared(), std::logic_error);
    const auto first = std::make_shared<FakeDiskArbitrationService>();
    EXPECT_TRUE(LiveDiskArbitrationProvider::configureShared(first));
    EXPECT_FALSE(LiveDiskArbitrationProvider::configureShared(
        std::make_shared<FakeDiskArbitrationService>()));
    const auto shared = LiveDiskArbitrationProvider::shared();
    EXPECT_EQ(shared, LiveDiskArbitrationProvider::shared());
    EXPECT_EQ(shared->service(), first);
}

class LiveDriveInventoryMonitorTest : public LiveDiskArbitrationProviderTest {
protected:
    FakeDiskArbitrationService::Session& session() { return *m_service->lastSession; }
    void fireAppeared(const std::string& bsdName) {
        session().fire(session().appeared,
                       FakeDiskArbitrationService::disk(bsdName, stickValues(bsdName)));
    }
};

TEST_F(LiveDriveInventoryMonitorTest, ABurstOfEventsRunsTheActionOnce) {
    LiveDriveInventoryMonitor monitor(m_provider);
    int runs = 0;
    monitor.start([&runs] { ++runs; });
    ASSERT_TRUE(monitor.isStarted());
    ASSERT_TRUE(session().scheduled);
    for (int index = 0; index < 10; ++index) {
        fireAppeared("disk" + std::to_string(index + 4));
    }
    EXPECT_EQ(runs, 0) << "never from inside the callback";
    EXPECT_EQ(m_provider->cachedDescriptionsByBSDName().size(), 10u);
    ASSERT_TRUE(spinUntil([&] { return runs == 1; }));
    spinFor(100);
    EXPECT_EQ(runs, 1);

    // A later event makes a second run.
    session().fire(session().changed,
                   FakeDiskArbitrationService::disk("disk4", stickValues("NEW")));
    ASSERT_TRUE(spinUntil([&] { return runs == 2; }));
    EXPECT_EQ(m_provider->cachedDescriptionsByBSDName().at("disk4").volumeName,
              std::optional<std::string>("NEW"));
}

TEST_F(LiveDriveInventoryMonitorTest, NothingRunsAfterStop) {
    LiveDriveInventoryMonitor monitor(m_provider);
    int runs = 0;
    monitor.start([&runs] { ++runs; });
    fireAppeared("disk4");
    monitor.stop();
    EXPECT_FALSE(monitor.isStarted());
    spinFor(150);
    EXPECT_EQ(runs, 0);

    // Stopped after the coalescer's hop started but before the action's turn.
    monitor.start([&runs] { ++runs; });
    fireAppeared("disk5");
    QCoreApplication::processEvents(); // runs the hop, which queues the action
    monitor.stop();
    spinFor(150);
    EXPECT_EQ(runs, 0);
}

TEST_F(LiveDriveInventoryMonitorTest, DisappearanceDropsTheEntryEvenWithoutAnAction) {
    LiveDriveInventoryMonitor monitor(m_provider);
    monitor.start(nullptr);
    fireAppeared("disk4s1");
    ASSERT_EQ(m_provider->cachedDescriptionsByBSDName().count("disk4s1"), 1u);
    session().fire(session().disappeared, FakeDiskArbitrationService::disk("disk4s1"));
    EXPECT_TRUE(m_provider->cachedDescriptionsByBSDName().empty());
    // A disk without a BSD name (a network volume) changes nothing.
    session().fire(session().appeared,
                   DiskArbitrationDisk{"network:/Volumes/Share", std::nullopt, stickValues()});
    EXPECT_TRUE(m_provider->cachedDescriptionsByBSDName().empty());
}

TEST_F(LiveDriveInventoryMonitorTest, StartIsIdempotentAndRetriesAfterAFailedSession) {
    LiveDriveInventoryMonitor monitor(m_provider);
    m_service->failSessionCreation = true;
    monitor.start([] {});
    EXPECT_FALSE(monitor.isStarted());
    m_service->failSessionCreation = false;

    int firstRuns = 0;
    int secondRuns = 0;
    monitor.start([&firstRuns] { ++firstRuns; });
    ASSERT_TRUE(monitor.isStarted());
    const int sessions = m_service->sessionsCreated;
    monitor.start([&secondRuns] { ++secondRuns; });
    EXPECT_EQ(m_service->sessionsCreated, sessions);
    fireAppeared("disk4");
    ASSERT_TRUE(spinUntil([&] { return firstRuns == 1; }));
    EXPECT_EQ(secondRuns, 0) << "the first action is kept";
}

TEST_F(LiveDriveInventoryMonitorTest, WritesTheAuditLinesOfItsEvents) {
    inventorytest::AuditCapture audit(true);
    LiveDriveInventoryMonitor monitor(m_provider);
    monitor.start(nullptr);
    fireAppeared("disk4");
    session().fire(session().disappeared, FakeDiskArbitrationService::disk("disk4"));
    const auto entries = audit.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_NE(entries[0].message.find("Starting Disk Arbitration inventory monitor"),
              std::string::npos);
    EXPECT_NE(entries[0].message.find("app_launch"), std::string::npos);
    EXPECT_NE(entries[1].message.find("handleDiskAppearedEvent"), std::string::npos);
    EXPECT_NE(entries[2].message.find("Received Disk Arbitration disappearance callback"),
              std::string::npos);
    EXPECT_NE(entries[2].message.find("background_work"), std::string::npos);
    EXPECT_NE(entries[2].message.find("n/a"), std::string::npos);
}

TEST(InventoryChangeCoalescerTest, AnEventAfterTheHopStartedSchedulesAnother) {
    auto coalescer = InventoryChangeCoalescer::make();
    int runs = 0;
    coalescer->schedule([&runs] { ++runs; });
    coalescer->schedule([&runs] { runs += 100; }); // folded into the pending hop
    EXPECT_TRUE(coalescer->hasPendingWork());
    QCoreApplication::processEvents(); // the hop starts and queues the action
    EXPECT_FALSE(coalescer->hasPendingWork());
    coalescer->schedule([&runs] { ++runs; });
    ASSERT_TRUE(spinUntil([&] { return runs == 2; }));
    spinFor(50);
    EXPECT_EQ(runs, 2);
}

// The monitor over the simulated machine's disk service: disks already present
// arrive as one burst, later changes as another.
class SimulatedInventoryMonitorTest : public inventorytest::SimulatedMachineTest {};

TEST_F(SimulatedInventoryMonitorTest, SimulatedEventsKeepTheCacheAndReachTheActionOncePerBurst) {
    stateFile().write(makeSampleWorld(mountRoot()));
    auto service =
        std::make_shared<SimulatedDiskArbitration>(stateFile(), std::chrono::milliseconds(100));
    auto provider = std::make_shared<LiveDiskArbitrationProvider>(service);
    LiveDriveInventoryMonitor monitor(provider);
    int runs = 0;
    monitor.start([&runs] { ++runs; });
    ASSERT_TRUE(spinUntil([&] { return runs == 1; }));
    spinFor(300);
    EXPECT_EQ(runs, 1) << "the disks already present arrive in one burst";
    EXPECT_EQ(provider->cachedDescriptionsByBSDName().count("disk0"), 1u);
    EXPECT_EQ(provider->cachedDescriptionsByBSDName().at("disk2s1").volumeName,
              std::optional<std::string>("USB STICK"));

    stateFile().update([](SimulatedWorld& world) {
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("SECOND"));
        return true;
    });
    ASSERT_TRUE(spinUntil([&] { return runs == 2; }));
    spinFor(300);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(provider->cachedDescriptionsByBSDName().count("disk3s1"), 1u);

    stateFile().update([](SimulatedWorld& world) { return detachDevice(world, "disk3"); });
    // The cache changes in the callback, the action two loop turns later: wait
    // for both, or stop() below could drop the action still on its way.
    ASSERT_TRUE(spinUntil([&] {
        return provider->cachedDescriptionsByBSDName().count("disk3s1") == 0 && runs == 3;
    }));

    monitor.stop();
    stateFile().update([](SimulatedWorld& world) { return detachDevice(world, "disk2"); });
    spinFor(400);
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(provider->cachedDescriptionsByBSDName().count("disk2s1"), 1u)
        << "no events while stopped";
}

TEST_F(SimulatedInventoryMonitorTest, LookupsFromWorkerThreadsShareOneCache) {
    stateFile().write(makeSampleWorld(mountRoot()));
    auto provider = std::make_shared<LiveDiskArbitrationProvider>(
        std::make_shared<SimulatedDiskArbitration>(stateFile()));
    const std::vector<std::string> names{"disk0", "disk0s1", "disk1", "disk2", "disk2s1", "disk42"};
    std::vector<std::thread> workers;
    std::atomic<int> found{0};
    for (int worker = 0; worker < 4; ++worker) {
        workers.emplace_back([&] {
            for (const auto& name : names) {
                if (provider->description(name)) {
                    ++found;
                }
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(found.load(), 4 * 5);
    const auto cache = provider->cachedDescriptionsByBSDName();
    EXPECT_EQ(cache.size(), 5u);
    EXPECT_EQ(cache.at("disk2s1").mediaRemovable, true);
    EXPECT_EQ(cache.count("disk42"), 0u);
}

} // namespace
} // namespace berthkeep

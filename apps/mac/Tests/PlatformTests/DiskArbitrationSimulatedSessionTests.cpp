#include "SimulatedMachineTestSupport.hpp"

#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

#include <QThread>

#include <map>

namespace berthkeep {
namespace {

using testing::spinUntil;

// Records every callback with the thread it came on.
struct EventLog {
    std::vector<std::string> appeared;
    std::vector<std::string> changed;
    std::vector<std::string> disappeared;
    std::vector<DiskArbitrationDisk> changedDisks;
    bool allOnMainThread = true;

    void attach(DiskArbitrationSession& session) {
        session.registerDiskAppearedCallback(
            [this](const DiskArbitrationDisk& disk) { add(appeared, disk); });
        session.registerDiskDescriptionChangedCallback([this](const DiskArbitrationDisk& disk) {
            add(changed, disk);
            changedDisks.push_back(disk);
        });
        session.registerDiskDisappearedCallback(
            [this](const DiskArbitrationDisk& disk) { add(disappeared, disk); });
    }
    void add(std::vector<std::string>& list, const DiskArbitrationDisk& disk) {
        allOnMainThread =
            allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        list.push_back(disk.identity);
    }
    static bool has(const std::vector<std::string>& list, const std::string& identity) {
        return std::find(list.begin(), list.end(), identity) != list.end();
    }
};

class DiskArbitrationSimulatedSession : public testing::SimulatedMachineFixture {
protected:
    void SetUp() override {
        SimulatedMachineFixture::SetUp();
        stateFile().write(
            makeSampleWorld(mountRoot())); // disk0..disk2 and their volumes: 8 disks in all
        m_service =
            std::make_unique<SimulatedDiskArbitration>(stateFile(), std::chrono::milliseconds(100));
    }
    SimulatedDiskArbitration& service() { return *m_service; }

private:
    std::unique_ptr<SimulatedDiskArbitration> m_service;
};

TEST_F(DiskArbitrationSimulatedSession, SchedulingReportsPresentDisksOnTheLoop) {
    auto session = service().createSession();
    ASSERT_TRUE(session);
    EventLog log;
    log.attach(*session);
    session->scheduleWithMainLoop();
    EXPECT_TRUE(log.appeared.empty()); // not from within the scheduling call
    ASSERT_TRUE(spinUntil([&] { return log.appeared.size() == 8; }));
    EXPECT_TRUE(EventLog::has(log.appeared, "disk2s1"));
    EXPECT_TRUE(EventLog::has(log.appeared, "disk0"));
    EXPECT_TRUE(log.allOnMainThread);
    // Nothing more while nothing changes.
    spinUntil([] { return false; }, 300);
    EXPECT_EQ(log.appeared.size(), 8u);
    EXPECT_TRUE(log.changed.empty());
}

TEST_F(DiskArbitrationSimulatedSession, ChangesOfTheWorldArriveAsEvents) {
    auto session = service().createSession();
    EventLog log;
    log.attach(*session);
    session->scheduleWithMainLoop();
    ASSERT_TRUE(spinUntil([&] { return log.appeared.size() == 8; }));

    std::string share;
    stateFile().update([&](SimulatedWorld& world) {
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("SECOND"));
        share = attachPreset(world, SimulatedDrivePreset::networkVolume);
        return true;
    });
    ASSERT_TRUE(spinUntil([&] { return log.appeared.size() == 11; }));
    EXPECT_TRUE(EventLog::has(log.appeared, "disk3"));
    EXPECT_TRUE(EventLog::has(log.appeared, "disk3s1"));
    EXPECT_TRUE(EventLog::has(log.appeared, "network:" + share));

    stateFile().update(
        [](SimulatedWorld& world) { return unmountVolume(world, "disk2s1").exitStatus == 0; });
    ASSERT_TRUE(spinUntil([&] { return log.changed.size() == 1; }));
    EXPECT_EQ(log.changed.front(), "disk2s1");
    EXPECT_FALSE(log.changedDisks.front().lastKnownDescription.volumePath.has_value());

    stateFile().update(
        [](SimulatedWorld& world) { return ejectDisk(world, "disk3").exitStatus == 0; });
    ASSERT_TRUE(spinUntil([&] { return log.disappeared.size() == 2; }));
    EXPECT_TRUE(EventLog::has(log.disappeared, "disk3"));
    EXPECT_TRUE(EventLog::has(log.disappeared, "disk3s1"));
    EXPECT_TRUE(log.allOnMainThread);
}

TEST_F(DiskArbitrationSimulatedSession, DisappearedDiskStillAnswersWithWhatWasKnown) {
    auto session = service().createSession();
    std::map<std::string, std::optional<DiskDescriptionValues>> gone;
    session->registerDiskDisappearedCallback([&](const DiskArbitrationDisk& disk) {
        gone[disk.bsdName.value_or("")] = session->copyDescription(disk);
    });
    int appeared = 0;
    session->registerDiskAppearedCallback([&](const DiskArbitrationDisk&) { ++appeared; });
    session->scheduleWithMainLoop();
    ASSERT_TRUE(spinUntil([&] { return appeared == 8; }));
    stateFile().update([](SimulatedWorld& world) { return detachDevice(world, "disk2"); });
    ASSERT_TRUE(spinUntil([&] { return gone.size() == 2; }));
    ASSERT_TRUE(gone.count("disk2s1"));
    ASSERT_TRUE(gone["disk2s1"].has_value());
    EXPECT_EQ(gone["disk2s1"]->volumeName, std::optional<std::string>("USB STICK"));
}

TEST_F(DiskArbitrationSimulatedSession, NothingIsDeliveredWhileUnscheduledOrUnregistered) {
    auto session = service().createSession();
    EventLog log;
    log.attach(*session);
    spinUntil([] { return false; }, 300);
    EXPECT_TRUE(log.appeared.empty()); // never scheduled

    session->scheduleWithMainLoop();
    ASSERT_TRUE(spinUntil([&] { return log.appeared.size() == 8; }));
    session->unscheduleFromMainLoop();
    stateFile().update([](SimulatedWorld& world) { return detachDevice(world, "disk2"); });
    spinUntil([] { return false; }, 400);
    EXPECT_TRUE(log.disappeared.empty());

    // Scheduling again reports the present disks afresh, as the service does.
    session->scheduleWithMainLoop();
    ASSERT_TRUE(spinUntil([&] { return log.appeared.size() == 14; }));

    auto other = service().createSession();
    int calls = 0;
    const auto registration =
        other->registerDiskAppearedCallback([&](const DiskArbitrationDisk&) { ++calls; });
    other->unregisterCallback(registration);
    other->scheduleWithMainLoop();
    spinUntil([] { return false; }, 300);
    EXPECT_EQ(calls, 0);
}

TEST_F(DiskArbitrationSimulatedSession, UnschedulingFromInsideACallbackStopsDelivery) {
    auto session = service().createSession();
    int calls = 0;
    session->registerDiskAppearedCallback([&](const DiskArbitrationDisk&) {
        ++calls;
        session->unscheduleFromMainLoop();
    });
    session->scheduleWithMainLoop();
    spinUntil([] { return false; }, 300);
    EXPECT_EQ(calls, 1);
}

TEST_F(DiskArbitrationSimulatedSession, DisksByBSDNameWithoutScheduling) {
    auto session = service().createSession();
    const auto disk = session->createDiskFromBSDName("disk2s1");
    ASSERT_TRUE(disk.has_value());
    EXPECT_EQ(DiskArbitrationSession::bsdNameOfDisk(*disk), std::optional<std::string>("disk2s1"));
    const auto description = session->copyDescription(*disk);
    ASSERT_TRUE(description.has_value());
    EXPECT_EQ(description->mediaRemovable, true);
    ASSERT_TRUE(description->volumePath.has_value());
    EXPECT_EQ(description->volumePath->toLocalFile().toStdString(), mountRoot() + "/USB STICK/");
    EXPECT_TRUE(session->createDiskFromBSDName("/dev/disk2").has_value());
    EXPECT_FALSE(session->createDiskFromBSDName("disk42").has_value());
}

TEST_F(DiskArbitrationSimulatedSession, SessionCreationCanBeMadeToFail) {
    service().setSessionCreationFails(true);
    EXPECT_EQ(service().createSession(), nullptr);
    service().setSessionCreationFails(false);
    EXPECT_NE(service().createSession(), nullptr);
    EXPECT_EQ(service().sessionsCreated(), 1);
}

} // namespace
} // namespace berthkeep

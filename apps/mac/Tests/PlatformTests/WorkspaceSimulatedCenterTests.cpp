#include "SimulatedMachineTestSupport.hpp"

#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"
#include "platform/Workspace/SimulatedWorkspaceNotificationCenter.hpp"

#include <QThread>

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using testing::spinUntil;
using Name = WorkspaceNotificationName;

class WorkspaceSimulatedCenter : public testing::SimulatedMachineFixture {
protected:
    void SetUp() override {
        SimulatedMachineFixture::SetUp();
        stateFile().write(makeSampleWorld(mountRoot(), false)); // USB STICK on disk2s1
        m_center = std::make_unique<SimulatedWorkspaceNotificationCenter>(stateFile(), 50ms);
        for (Name name :
             {Name::didMount, Name::willUnmount, Name::didUnmount, Name::didRenameVolume}) {
            m_center->addObserver(name, [this](const WorkspaceVolumeNotification& notification) {
                onMainThread = onMainThread &&
                               QThread::currentThread() == QCoreApplication::instance()->thread();
                received.push_back(notification);
            });
        }
    }
    SimulatedWorkspaceNotificationCenter& center() { return *m_center; }
    std::string stickPath() const { return mountRoot() + "/USB STICK"; }

    std::vector<WorkspaceVolumeNotification> received;
    bool onMainThread = true;

private:
    std::unique_ptr<SimulatedWorkspaceNotificationCenter> m_center;
};

TEST_F(WorkspaceSimulatedCenter, ChangesOfTheMountedVolumesArriveInOrder) {
    // The volumes already mounted are not news.
    spinUntil([] { return false; }, 200);
    EXPECT_TRUE(received.empty());

    struct Row {
        const char* what;
        std::function<void(SimulatedWorld&)> change;
        std::vector<WorkspaceVolumeNotification> expected;
    };
    const std::string stick = stickPath();
    const std::vector<Row> rows = {
        {"unmount",
         [](SimulatedWorld& world) { unmountVolume(world, "disk2s1"); },
         {{Name::willUnmount, stick, "USB STICK", {}, {}},
          {Name::didUnmount, stick, "USB STICK", {}, {}}}},
        {"mount",
         [](SimulatedWorld& world) { mountVolume(world, "disk2s1"); },
         {{Name::didMount, stick, "USB STICK", {}, {}}}},
        {"pulled out",
         [](SimulatedWorld& world) { detachDevice(world, "disk2"); },
         {{Name::willUnmount, stick, "USB STICK", {}, {}},
          {Name::didUnmount, stick, "USB STICK", {}, {}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        received.clear();
        stateFile().update([&](SimulatedWorld& world) {
            row.change(world);
            return true;
        });
        ASSERT_TRUE(spinUntil([&] { return received.size() >= row.expected.size(); }));
        spinUntil([] { return false; }, 150);
        EXPECT_EQ(received, row.expected);
    }
    EXPECT_TRUE(onMainThread);
}

TEST_F(WorkspaceSimulatedCenter, RenameFromTheControlToolMovesTheMountPath) {
    const auto run = runTool("berthkeep-sim", {"rename", "disk2s1", "Travel"});
    ASSERT_EQ(run.exitCode, 0) << run.standardError;
    ASSERT_TRUE(spinUntil([&] { return !received.empty(); }));
    spinUntil([] { return false; }, 150);
    const WorkspaceVolumeNotification expected{Name::didRenameVolume, mountRoot() + "/Travel",
                                               "Travel", stickPath(), "USB STICK"};
    EXPECT_EQ(received, std::vector<WorkspaceVolumeNotification>{expected});
    EXPECT_EQ(*stateFile().read().findVolume("disk2s1")->mountPath, mountRoot() + "/Travel");

    // An unknown volume or a nameless one is refused and changes nothing.
    EXPECT_EQ(runTool("berthkeep-sim", {"rename", "disk9s1", "X"}).exitCode, 1);
    EXPECT_EQ(runTool("berthkeep-sim", {"rename", "disk2s1", ""}).exitCode, 1);
    EXPECT_EQ(*stateFile().read().findVolume("disk2s1")->volumeName, "Travel");
}

TEST_F(WorkspaceSimulatedCenter, RemovedObserversHearNothing) {
    std::vector<Name> late;
    const auto token = center().addObserver(
        Name::didMount, [&](const WorkspaceVolumeNotification& n) { late.push_back(n.name); });
    center().removeObserver(token);
    center().removeObserver(token); // twice is harmless
    stateFile().update([](SimulatedWorld& world) {
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Second"));
        return true;
    });
    ASSERT_TRUE(spinUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received[0].name, Name::didMount);
    EXPECT_TRUE(late.empty());
}

} // namespace
} // namespace berthkeep

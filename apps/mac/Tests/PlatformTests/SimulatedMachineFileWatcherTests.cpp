#include "SimulatedMachineTestSupport.hpp"

#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedFileAccess.hpp"
#include "platform/SimulatedMachine/SimulatedFileWatcher.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

#include <QDir>

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using testing::spinUntil;

class SimulatedMachineFileWatcher : public testing::SimulatedMachineFixture {
protected:
    void SetUp() override {
        SimulatedMachineFixture::SetUp();
        stateFile().write(makeSampleWorld(mountRoot(), false));
    }

    // Lets the loop run for a while, safety checks included.
    static void idle() {
        spinUntil([] { return false; }, 250);
    }
};

TEST_F(SimulatedMachineFileWatcher, CallsOnlyWhenTheFileItselfChanged) {
    int calls = 0;
    SimulatedFileWatcher watcher(QString::fromStdString(statePath()), 20ms, [&] { ++calls; });
    ASSERT_TRUE(spinUntil([&] { return calls == 1; })) << "what is there at the start";
    idle();
    EXPECT_EQ(calls, 1) << "the checks read nothing new";

    // Its neighbours in the folder, and a rewrite of the same bytes.
    replaceSimulatedFile(statePath() + ".power", "{}");
    stateFile().write(stateFile().read());
    idle();
    EXPECT_EQ(calls, 1);

    stateFile().update(
        [](SimulatedWorld& world) { return ejectDisk(world, "disk2").exitStatus == 0; });
    ASSERT_TRUE(spinUntil([&] { return calls == 2; }));
    idle();
    EXPECT_EQ(calls, 2);
}

TEST_F(SimulatedMachineFileWatcher, CheckFindsAChangeTheWatchesLost) {
    int calls = 0;
    SimulatedFileWatcher watcher(QString::fromStdString(statePath()), 50ms, [&] { ++calls; });
    ASSERT_TRUE(spinUntil([&] { return calls == 1; }));
    // The folder goes, and with it both watches; it is made again.
    const SimulatedWorld world = stateFile().read();
    const QString folder = QString::fromStdString(statePath()).section('/', 0, -2);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    idle();
    const int afterRemoval = calls;
    stateFile().write(world);
    ASSERT_TRUE(spinUntil([&] { return calls == afterRemoval + 1; }));
    stateFile().update([](SimulatedWorld& world) {
        world.mountRoot += "/elsewhere";
        return true;
    });
    EXPECT_TRUE(spinUntil([&] { return calls == afterRemoval + 2; })) << "watched again";
}

} // namespace
} // namespace berthkeep

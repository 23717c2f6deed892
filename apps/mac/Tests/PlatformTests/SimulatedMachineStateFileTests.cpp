#include "Berthkeep/Domain/BoundedJson.hpp"
#include "DeepJson.hpp"
#include "SimulatedMachineTestSupport.hpp"

#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

#include <QFile>
#include <QtGlobal>

#include <thread>

namespace berthkeep {
namespace {

using testing::SimulatedMachineFixture;

SimulatedWorld everyKindOfWorld(const std::string& mountRoot) {
    SimulatedWorld world = makeSampleWorld(mountRoot);
    for (auto preset : allSimulatedDrivePresets()) {
        if (preset != SimulatedDrivePreset::internalDisk) {
            attachPreset(world, preset);
        }
    }
    world.disks.back().volumes.front().omittedResourceKeys = {"volumeIsEjectable"};
    world.disks.back().volumes.front().resourceValuesFail = true;
    ScriptedBehaviour behaviour;
    behaviour.verb = "eject";
    behaviour.device = "disk2";
    behaviour.exitStatus = 1;
    behaviour.standardError = "busy";
    behaviour.delayMilliseconds = 20;
    behaviour.remainingUses = 2;
    world.behaviours.push_back(behaviour);
    ScriptedBehaviour hang;
    hang.tool = "hdiutil";
    hang.verb = "info";
    hang.hang = true;
    hang.ignoreTerminate = true;
    hang.readyFile = "/tmp/hanging";
    world.behaviours.push_back(hang);
    world.wakeCount = 3;
    return world;
}

TEST(SimulatedMachineStateFile, RoundTripKeepsEveryField) {
    const SimulatedWorld world = everyKindOfWorld("/Volumes");
    const SimulatedWorld reread = parseSimulatedWorld(serializeSimulatedWorld(world));
    EXPECT_EQ(reread, world);
}

TEST(SimulatedMachineStateFile, MinimalFileTakesDefaults) {
    const SimulatedWorld world = parseSimulatedWorld(R"({"disks":[{"bsdName":"disk4"}]})");
    EXPECT_EQ(world.mountRoot, "/Volumes");
    ASSERT_EQ(world.disks.size(), 1u);
    EXPECT_FALSE(world.disks[0].internal);
    EXPECT_TRUE(world.disks[0].volumes.empty());
    EXPECT_TRUE(world.behaviours.empty());
}

TEST(SimulatedMachineStateFile, MalformedInputIsRejectedWithTheOffendingField) {
    const std::string nestedTooDeep =
        test::withNestedMember(R"({"disks":[]})", kMaximumJsonNestingDepth);
    struct Case {
        const char* json;
        const char* expectedInMessage;
    };
    const Case cases[] = {
        {"", "not valid JSON"},
        {"{\"disks\": [", "not valid JSON"},
        {nestedTooDeep.c_str(), "nested deeper than 256 levels"},
        {"[]", "expected an object"},
        {"{\"version\": 2}", "unsupported version"},
        {"{\"version\": \"1\"}", "expected an integer"},
        {"{\"mountRoot\": \"Volumes\"}", "absolute path"},
        {"{\"disks\": {}}", "disks: expected an array"},
        {"{\"disks\": [42]}", "disks[0]: expected an object"},
        {"{\"disks\": [{}]}", "missing \"bsdName\""},
        {"{\"disks\": [{\"bsdName\": \"sda\"}]}", "not a disk identifier"},
        {"{\"disks\": [{\"bsdName\": \"disk4\", \"internal\": \"no\"}]}",
         "disks[0].internal: expected true or false"},
        {"{\"disks\": [{\"bsdName\": \"disk4\", \"sizeBytes\": -1}]}", "non-negative"},
        {"{\"disks\": [{\"bsdName\": \"disk4\", \"volumes\": [{\"bsdName\": \"disk4s1\", "
         "\"mounted\": true}]}]}",
         "mounted volume without"},
        {"{\"disks\": [{\"bsdName\": \"disk4\", \"volumes\": [{\"bsdName\": \"disk4s1\", "
         "\"volumeName\": 7}]}]}",
         "disks[0].volumes[0].volumeName: expected a string"},
        {"{\"disks\": [{\"bsdName\": \"disk4\"}, {\"bsdName\": \"disk4\"}]}",
         "duplicate device identifier"},
        {"{\"networkVolumes\": [{\"name\": \"Shared\"}]}", "missing \"mountPath\""},
        {"{\"behaviours\": [{\"verb\": \"eject\", \"tool\": \"mount\"}]}",
         "expected \"diskutil\" or \"hdiutil\""},
        {"{\"behaviours\": [{\"verb\": \"eject\", \"delayMilliseconds\": -5}]}",
         "must not be negative"},
        {"{\"behaviours\": [{\"verb\": \"eject\", \"exitStatus\": 99999999999}]}", "out of range"},
        {"{\"behaviours\": [{}]}", "missing \"verb\""},
        {"{\"wakeCount\": -1}", "wakeCount: expected a non-negative integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            parseSimulatedWorld(c.json);
            ADD_FAILURE() << "accepted";
        } catch (const SimulatedStateError& error) {
            EXPECT_NE(std::string(error.what()).find(c.expectedInMessage), std::string::npos)
                << error.what();
        }
    }
}

class SimulatedMachineStateFileOnDisk : public SimulatedMachineFixture {};

TEST_F(SimulatedMachineStateFileOnDisk, MissingFileIsAnEmptyWorld) {
    const SimulatedWorld world = stateFile().read();
    EXPECT_TRUE(world.disks.empty());
    EXPECT_TRUE(world.networkVolumes.empty());
}

TEST_F(SimulatedMachineStateFileOnDisk, UnreadableFileIsAnError) {
    stateFile().write(SimulatedWorld{});
    QFile file(QString::fromStdString(statePath()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{ not json");
    file.close();
    EXPECT_THROW(stateFile().read(), SimulatedStateError);
    // A failed read leaves the file as it was: nothing is written over it.
    EXPECT_THROW(stateFile().update([](SimulatedWorld&) { return true; }), SimulatedStateError);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("{ not json"));
}

TEST_F(SimulatedMachineStateFileOnDisk, UpdateWritesOnlyWhenTheChangeSaysSo) {
    const SimulatedWorld world = everyKindOfWorld(mountRoot());
    stateFile().write(world);
    EXPECT_EQ(stateFile().read(), world);
    EXPECT_FALSE(stateFile().update([](SimulatedWorld& w) {
        w.disks.clear();
        return false;
    }));
    EXPECT_EQ(stateFile().read(), world);
}

TEST_F(SimulatedMachineStateFileOnDisk, ConcurrentUpdatesAreNotLost) {
    stateFile().write(SimulatedWorld{});
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([path = statePath()] {
            const SimulatedStateFile file(path);
            for (int i = 0; i < 15; ++i) {
                file.update([](SimulatedWorld& world) {
                    SimulatedNetworkVolume share;
                    share.name = "share";
                    share.mountPath = world.mountPathFor("share");
                    world.networkVolumes.push_back(share);
                    return true;
                });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(stateFile().read().networkVolumes.size(), 90u);
}

TEST(SimulatedMachineStateFile, DefaultPathFollowsTheEnvironment) {
    const QByteArray saved = qgetenv("BERTHKEEP_SIM_STATE");
    qputenv("BERTHKEEP_SIM_STATE", "/tmp/elsewhere/state.json");
    EXPECT_EQ(SimulatedStateFile::defaultPath(), "/tmp/elsewhere/state.json");
    qunsetenv("BERTHKEEP_SIM_STATE");
    const std::string fallback = SimulatedStateFile::defaultPath();
    EXPECT_NE(fallback.find("/berthkeep-sim/state.json"), std::string::npos) << fallback;
    if (!saved.isNull()) {
        qputenv("BERTHKEEP_SIM_STATE", saved);
    }
}

} // namespace
} // namespace berthkeep

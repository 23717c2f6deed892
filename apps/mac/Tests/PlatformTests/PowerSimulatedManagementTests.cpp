#include "Berthkeep/Domain/BoundedJson.hpp"
#include "DeepJson.hpp"
#include "SimulatedMachineTestSupport.hpp"

#include "platform/Power/SimulatedSystemPowerManagement.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

#include <QThread>

#include <sys/wait.h>
#include <unistd.h>

#include <regex>

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using testing::spinUntil;

// One registered program in this process: what it received, and how it answers.
struct Program {
    enum class Answer { none, ownID, otherID };

    SimulatedSystemPowerManagement* power = nullptr;
    SystemPowerConnection root = 0;
    SystemPowerNotificationPort port = 0;
    SystemPowerNotifier notifier = 0;
    Answer answer = Answer::ownID;
    std::vector<std::pair<std::uint32_t, std::intptr_t>> received;
    bool onMainThread = true;

    void registerWith(SimulatedSystemPowerManagement& management) {
        power = &management;
        root = management.registerForSystemPower(this, &port, &Program::callback, &notifier);
        ASSERT_NE(root, 0u);
        ASSERT_TRUE(management.addNotificationPortToMainLoop(port));
    }
    void deregister() {
        power->removeNotificationPortFromMainLoop(port);
        power->deregisterForSystemPower(&notifier);
        power->destroyNotificationPort(port);
        power->closeService(root);
    }
    static void callback(void* refcon, std::uint32_t, std::uint32_t type, void* argument) {
        auto* self = static_cast<Program*>(refcon);
        const auto id = reinterpret_cast<std::intptr_t>(argument);
        self->onMainThread = self->onMainThread &&
                             QThread::currentThread() == QCoreApplication::instance()->thread();
        self->received.emplace_back(type, id);
        if (type == SystemPowerMessageType::systemHasPoweredOn || self->answer == Answer::none) {
            return;
        }
        self->power->allowPowerChange(self->root, self->answer == Answer::ownID ? id : id + 1000);
    }
};

class PowerSimulatedManagement : public testing::SimulatedMachineFixture {
protected:
    void SetUp() override {
        SimulatedMachineFixture::SetUp();
        stateFile().write(makeSampleWorld(mountRoot(), false));
        m_power = std::make_unique<SimulatedSystemPowerManagement>(stateFile(), 50ms, 50ms, 400ms);
    }
    SimulatedSystemPowerManagement& power() { return *m_power; }
    SimulatedPowerFile powerFile() const { return SimulatedPowerFile(stateFile()); }

    ToolRun runToolSpinning(const QStringList& arguments) const {
        return runToolWith(QStringLiteral("berthkeep-sim"), arguments, toolEnvironment(), true);
    }

private:
    std::unique_ptr<SimulatedSystemPowerManagement> m_power;
};

std::int64_t elapsedOf(const std::string& line) {
    std::smatch match;
    const bool found = std::regex_search(line, match, std::regex("\"elapsed_ms\":(\\d+)\\}"));
    return found ? std::stoll(match[1]) : -1;
}

TEST_F(PowerSimulatedManagement, ToolWaitsForTheAnswersOfAProgramInAnotherProcess) {
    struct Row {
        const char* message;
        Program::Answer answer;
        const char* wait;
        int exitCode;
        const char* line; // up to the elapsed time
        std::uint32_t type;
    };
    const Row rows[] = {
        {"can-sleep", Program::Answer::ownID, "5", 0,
         R"({"message":"can-sleep","acknowledged":true,"allowed":true,"elapsed_ms":)",
         SystemPowerMessageType::canSystemSleep},
        {"will-sleep", Program::Answer::ownID, "5", 0,
         R"({"message":"will-sleep","acknowledged":true,"elapsed_ms":)",
         SystemPowerMessageType::systemWillSleep},
        // Acknowledging another change's id releases nothing.
        {"will-sleep", Program::Answer::otherID, "0.5", 1,
         R"({"message":"will-sleep","acknowledged":false,"elapsed_ms":)",
         SystemPowerMessageType::systemWillSleep},
        {"can-sleep", Program::Answer::none, "0.3", 1,
         R"({"message":"can-sleep","acknowledged":false,"allowed":false,"elapsed_ms":)",
         SystemPowerMessageType::canSystemSleep},
        // Nothing acknowledges a wake: taking delivery is the answer.
        {"has-powered-on", Program::Answer::none, "5", 0,
         R"({"message":"has-powered-on","acknowledged":true,"elapsed_ms":)",
         SystemPowerMessageType::systemHasPoweredOn},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.message) + " waiting " + row.wait);
        Program program;
        program.answer = row.answer;
        program.registerWith(power());
        const auto run = runToolSpinning({"power", row.message, "--wait", row.wait});
        ASSERT_TRUE(run.finished) << run.standardError;
        EXPECT_EQ(run.exitCode, row.exitCode) << run.standardError;
        EXPECT_EQ(run.standardOutput.rfind(row.line, 0), 0u) << run.standardOutput;
        EXPECT_GE(elapsedOf(run.standardOutput), 0) << run.standardOutput;
        EXPECT_EQ(std::count(run.standardOutput.begin(), run.standardOutput.end(), '\n'), 1);
        ASSERT_EQ(program.received.size(), 1u);
        EXPECT_EQ(program.received[0].first, row.type);
        EXPECT_TRUE(program.onMainThread);

        const auto record = powerFile().read();
        const auto* sent = record.findMessage(program.received[0].second);
        ASSERT_NE(sent, nullptr);
        if (row.answer != Program::Answer::none &&
            row.type != SystemPowerMessageType::systemHasPoweredOn) {
            ASSERT_FALSE(record.acknowledgements.empty());
            const auto& last = record.acknowledgements.back();
            EXPECT_EQ(last.pid, static_cast<int>(::getpid()));
            EXPECT_EQ(last.released, row.answer == Program::Answer::ownID);
        }
        program.deregister();
    }
    EXPECT_TRUE(powerFile().read().registrations.empty());
}

TEST_F(PowerSimulatedManagement, WillSleepNobodyAcknowledgesIsGivenUpByTheMachine) {
    Program silent;
    silent.answer = Program::Answer::none;
    silent.registerWith(power());
    auto environment = toolEnvironment();
    environment.insert(SimulatedPowerFile::giveUpEnvironmentVariable, QStringLiteral("300"));
    const auto run = runToolWith(QStringLiteral("berthkeep-sim"),
                                 {"power", "will-sleep", "--wait", "20"}, environment, true);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    const auto elapsed = elapsedOf(run.standardOutput);
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 2000);

    // An answer after the give-up is recorded but releases nothing.
    ASSERT_EQ(silent.received.size(), 1u);
    const auto id = silent.received[0].second;
    EXPECT_EQ(power().allowPowerChange(silent.root, id), SystemPowerResult::success);
    const auto record = powerFile().read();
    EXPECT_TRUE(record.findMessage(id)->givenUp(SimulatedPowerFile::nowMs()));
    ASSERT_EQ(record.acknowledgements.size(), 1u);
    EXPECT_FALSE(record.acknowledgements[0].released);
}

TEST_F(PowerSimulatedManagement, ProgramsThatEndedOrDeregisteredAreNotWaitedFor) {
    // One child reaped, one ended but not yet reaped (a zombie still answers kill()).
    const pid_t reaped = ::fork();
    if (reaped == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(reaped, nullptr, 0), reaped);
    const pid_t zombie = ::fork();
    if (zombie == 0) {
        ::_exit(0);
    }
    ASSERT_TRUE(spinUntil([&] { return !SimulatedPowerFile::isProgramRunning(zombie); }, 5000));
    powerFile().registerProgram(static_cast<int>(reaped));
    powerFile().registerProgram(static_cast<int>(zombie));
    Program leaving;
    leaving.registerWith(power());
    leaving.deregister();

    const auto run = runToolSpinning({"power", "will-sleep", "--wait", "5"});
    EXPECT_EQ(run.exitCode, 0) << run.standardOutput;
    EXPECT_TRUE(leaving.received.empty());
    EXPECT_TRUE(powerFile().read().registrations.empty());
    ::waitpid(zombie, nullptr, 0);
}

TEST_F(PowerSimulatedManagement, WakeBringsBackEveryParkedDiskUnmounted) {
    stateFile().update([](SimulatedWorld& world) {
        attachPreset(world, SimulatedDrivePreset::apfsDisk, std::string("Backup"), std::nullopt);
        attachPreset(world, SimulatedDrivePreset::diskImage, std::nullopt, std::nullopt);
        return true;
    });
    const SimulatedWorld before = stateFile().read();
    // Ejected before the machine hears of sleep ("Eject & Sleep"), and during it.
    const auto eject = [this](std::vector<const char*> devices) {
        stateFile().update([&devices](SimulatedWorld& world) {
            for (const char* device : devices) {
                EXPECT_EQ(ejectDisk(world, device).exitStatus, 0) << device;
            }
            return true;
        });
    };
    eject({"disk2"});
    ASSERT_EQ(runTool("berthkeep-sim", {"power", "will-sleep"}).exitCode, 0);
    eject({"disk3", "disk5"});
    ASSERT_EQ(runTool("berthkeep-sim", {"power", "has-powered-on"}).exitCode, 0);

    const SimulatedWorld after = stateFile().read();
    for (const auto& disk : before.disks) {
        SCOPED_TRACE(disk.bsdName);
        const SimulatedDisk* back = after.findDisk(disk.bsdName);
        if (before.physicalDiskOf(disk)->isDiskImage()) {
            EXPECT_EQ(back, nullptr);
            continue;
        }
        ASSERT_NE(back, nullptr);
        const bool ejected = disk.bsdName != "disk0" && disk.bsdName != "disk1";
        for (const auto& volume : back->volumes) {
            EXPECT_EQ(volume.mounted, ejected ? false : before.findVolume(volume.bsdName)->mounted);
        }
    }
    // Back in place, and no longer also waiting to be replugged; the image stays
    // parked.
    for (const auto& parked : after.parkedDisks) {
        EXPECT_EQ(after.findDisk(parked.bsdName), nullptr) << parked.bsdName;
    }
    ASSERT_EQ(after.parkedDisks.size(), 1u);
    EXPECT_EQ(after.parkedDisks[0].bsdName, "disk5");
    // Pulled out, not parked: the next wake does not bring it back.
    stateFile().update([](SimulatedWorld& world) { return detachDevice(world, "disk2"); });
    ASSERT_EQ(runTool("berthkeep-sim", {"power", "has-powered-on"}).exitCode, 0);
    EXPECT_EQ(stateFile().read().findDisk("disk2"), nullptr);
}

TEST_F(PowerSimulatedManagement, EjectUnderWayAtWakeUnmountsButLeavesTheDiskAttached) {
    ASSERT_TRUE(stateFile().read().findVolume("disk2s1")->mounted);
    ASSERT_EQ(runTool("berthkeep-sim",
                      {"script", "eject", "--device", "disk2", "--delay", "2000", "--times", "1"})
                  .exitCode,
              0);
    QProcess eject;
    eject.setProcessEnvironment(toolEnvironment());
    eject.start(toolPath(QStringLiteral("diskutil")), {"eject", "disk2"});
    ASSERT_TRUE(eject.waitForStarted(5000));
    ASSERT_TRUE(spinUntil([this] { return stateFile().read().behaviours.empty(); },
                          testing::toolAnswerTimeoutMs));
    // The wake must land within the delay: sent from here, not from a tool that
    // a loaded machine may take longer than that to start.
    powerFile().send(SimulatedPowerMessage::hasPoweredOn);
    ASSERT_TRUE(eject.waitForFinished(testing::toolAnswerTimeoutMs));
    EXPECT_EQ(eject.exitCode(), 0) << eject.readAllStandardError().toStdString();

    SimulatedWorld after = stateFile().read();
    const SimulatedDisk* disk = after.findDisk("disk2");
    ASSERT_NE(disk, nullptr);
    for (const auto& volume : disk->volumes) {
        EXPECT_FALSE(volume.mounted) << volume.bsdName;
    }
    EXPECT_TRUE(after.parkedDisks.empty());
    // Begun after the wake, an eject parks the disk as ever.
    ASSERT_EQ(runTool("diskutil", {"mount", "disk2s1"}).exitCode, 0);
    ASSERT_EQ(runTool("diskutil", {"eject", "disk2"}).exitCode, 0);
    after = stateFile().read();
    EXPECT_EQ(after.findDisk("disk2"), nullptr);
    ASSERT_EQ(after.parkedDisks.size(), 1u);
    EXPECT_EQ(after.parkedDisks[0].bsdName, "disk2");
}

TEST_F(PowerSimulatedManagement, SleepCommandRunsTheWholeCycle) {
    Program program;
    program.registerWith(power());
    const auto run = runToolSpinning({"sleep", "--pause", "50"});
    EXPECT_EQ(run.exitCode, 0) << run.standardError;
    EXPECT_TRUE(std::regex_match(
        run.standardOutput,
        std::regex(R"(\{"message":"will-sleep","acknowledged":true,"elapsed_ms":\d+\}\n)"
                   R"(\{"message":"has-powered-on","acknowledged":true,"elapsed_ms":\d+\}\n)")))
        << run.standardOutput;
    ASSERT_EQ(program.received.size(), 2u);
    EXPECT_EQ(program.received[0].first, SystemPowerMessageType::systemWillSleep);
    EXPECT_EQ(program.received[1].first, SystemPowerMessageType::systemHasPoweredOn);
    program.deregister();
}

TEST_F(PowerSimulatedManagement, SleepRequestRunsTheCycleOrReportsWhyNot) {
    Program program;
    program.registerWith(power());
    power().setSleepRequestResult(SystemPowerResult::error);
    auto connection = power().findPowerManagement();
    EXPECT_EQ(power().sleepSystem(connection), SystemPowerResult::error);
    EXPECT_EQ(power().closeService(connection), SystemPowerResult::success);
    EXPECT_EQ(power().sleepCyclesStarted(), 0);

    power().setSleepRequestResult(SystemPowerResult::success);
    connection = power().findPowerManagement();
    EXPECT_EQ(power().sleepSystem(connection), SystemPowerResult::success);
    power().closeService(connection);
    ASSERT_TRUE(spinUntil([&] { return program.received.size() == 2; }, 5000));
    power().waitForSleepCycle();
    EXPECT_EQ(program.received[1].first, SystemPowerMessageType::systemHasPoweredOn);
    const auto record = powerFile().read(); // findMessage points into it
    const auto& willSleep = *record.findMessage(program.received[0].second);
    EXPECT_TRUE(willSleep.completedAtMs.has_value());
    EXPECT_FALSE(willSleep.givenUp(SimulatedPowerFile::nowMs()));

    power().setPowerManagementUnavailable(true);
    EXPECT_EQ(power().findPowerManagement(), 0u);
    program.deregister();
    EXPECT_EQ(power().openConnections(), 0);
}

TEST_F(PowerSimulatedManagement, BadPowerCommandsPrintUsage) {
    const std::vector<QStringList> cases = {
        {"power"},
        {"power", "will-wake"},
        {"power", "will-sleep", "--wait"},
        {"power", "will-sleep", "--wait", "soon"},
        {"power", "will-sleep", "--wait", "-1"},
        {"power", "will-sleep", "can-sleep"},
        {"sleep", "--pause", "x"},
        {"sleep", "extra"},
        {"rename", "disk2s1"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const auto run = runTool("berthkeep-sim", arguments);
        EXPECT_EQ(run.exitCode, 64);
        EXPECT_NE(run.standardError.find("Usage:"), std::string::npos);
    }
    EXPECT_TRUE(powerFile().read().messages.empty());
}

TEST(SimulatedPowerRecordFormat, RoundTripsAndRejectsMalformedFiles) {
    SimulatedPowerRecord record;
    record.registrations.push_back({7, 1234});
    SimulatedPowerDelivery message;
    message.notificationID = 3;
    message.giveUpAtMs = 30010;
    message.sentAtMs = 10;
    message.recipients = {7};
    record.messages.push_back(message);
    record.acknowledge(7, 1234, 3, 20);
    EXPECT_EQ(parseSimulatedPowerRecord(serializeSimulatedPowerRecord(record)), record);
    EXPECT_THROW(parseSimulatedPowerRecord(test::withNestedMember(
                     serializeSimulatedPowerRecord(record), kMaximumJsonNestingDepth)),
                 SimulatedStateError);

    for (
        const char* text : {
            "",
            "[]",
            "{}",
            R"({"version":2})",
            R"({"version":1,"nextRegistration":-1,"nextNotificationID":1,"registrations":[],"messages":[],"acknowledgements":[]})",
            R"({"version":1,"nextRegistration":1,"nextNotificationID":1,"registrations":[{"id":1}],"messages":[],"acknowledgements":[]})",
            R"({"version":1,"nextRegistration":1,"nextNotificationID":1,"registrations":[],"messages":[{"notificationID":1,"message":"nap","sentAtMs":0,"recipients":[],"delivered":[],"acknowledged":[],"departed":[]}],"acknowledgements":[]})",
            R"({"version":1,"nextRegistration":1,"nextNotificationID":1,"registrations":[],"messages":[],"acknowledgements":[{"registration":1,"pid":1,"notificationID":1,"atMs":0,"released":"yes"}]})",
        }) {
        SCOPED_TRACE(text);
        EXPECT_THROW(parseSimulatedPowerRecord(text), SimulatedStateError);
    }
}

TEST(SimulatedPowerRecordAnswers, AnAcknowledgementReleasesOnlyItsOwnPendingChange) {
    SimulatedPowerRecord record;
    record.registrations = {{1, 10}, {2, 20}};
    for (std::int64_t id : {1, 2}) {
        SimulatedPowerDelivery message;
        message.notificationID = id;
        message.sentAtMs = 0;
        message.giveUpAtMs = 1000;
        message.recipients = {1, 2};
        record.messages.push_back(message);
    }
    struct Step {
        std::uint64_t registration;
        std::int64_t notificationID;
        std::int64_t atMs;
        bool released;
    };
    for (const Step& step : {
             Step{1, 2, 100, true},                          // its own answer to the newer change
             Step{1, 2, 110, false},                         // a repeat
             Step{1, 99, 120, false},                        // an id that was never sent
             Step{3, 1, 130, false},                         // a program the change was not sent to
             Step{2, 2, 140, true}, Step{2, 1, 2000, false}, // after the give-up
         }) {
        EXPECT_EQ(record.acknowledge(step.registration, 0, step.notificationID, step.atMs),
                  step.released)
            << step.registration << " acknowledging " << step.notificationID;
    }
    EXPECT_EQ(record.findMessage(2)->completedAtMs, 140);
    EXPECT_FALSE(record.findMessage(2)->givenUp(5000));
    EXPECT_FALSE(record.findMessage(1)->completedAtMs.has_value());
    EXPECT_TRUE(record.findMessage(1)->givenUp(5000));
    // Both still owe an answer; once both depart the change is complete, but late.
    record.forget(1, 2500);
    EXPECT_FALSE(record.findMessage(1)->completedAtMs.has_value());
    record.forget(2, 3000);
    EXPECT_EQ(record.findMessage(1)->completedAtMs, 3000);
    EXPECT_TRUE(record.findMessage(1)->givenUp(5000));
    EXPECT_EQ(record.acknowledgements.size(), 6u);
}

} // namespace
} // namespace berthkeep

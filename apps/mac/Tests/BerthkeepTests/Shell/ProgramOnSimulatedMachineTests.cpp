#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

#include "../Inventory/InventoryTestSupport.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

class ProgramOnSimulatedMachine : public inventorytest::SimulatedMachineTest {};

// The built program, as scripts start it: offscreen, on a machine of its own,
// with its preferences in a folder of the test's. It shows the machine's drive
// and ends cleanly on either signal.
TEST_F(ProgramOnSimulatedMachine, StartsAndEndsCleanlyOnTermAndInt) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Travel Stick"));
    stateFile().write(world);
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());

    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        environment.insert("XDG_CACHE_HOME", home.filePath("cache"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(BERTHKEEP_PROGRAM_PATH), {});
        ASSERT_TRUE(program.waitForStarted(5000));

        // Its log lines go to standard error; the drive shows in a usage probe.
        QByteArray log;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!log.contains("Travel Stick") && std::chrono::steady_clock::now() < deadline) {
            program.waitForReadyRead(500);
            log += program.readAllStandardError();
        }
        EXPECT_TRUE(log.contains("Travel Stick")) << log.toStdString();

        ::kill(static_cast<pid_t>(program.processId()), signal);
        EXPECT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }
}

} // namespace
} // namespace berthkeep

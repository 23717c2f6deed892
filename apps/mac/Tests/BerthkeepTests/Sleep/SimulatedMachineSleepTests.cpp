#include "Berthkeep/Sleep/LiveSystemSleepRequester.hpp"
#include "Berthkeep/Sleep/SystemPowerMonitor.hpp"

#include "../Inventory/InventoryServiceTestSupport.hpp"
#include "../Inventory/InventoryTestSupport.hpp"
#include "platform/Power/SimulatedSystemPowerManagement.hpp"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

using inventorytest::spinUntil;

// A monitor registered on a simulated machine of its own, over the live
// registrar; its will-sleep handler acknowledges at once unless told not to.
class SimulatedMachineSleep : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        power = std::make_shared<SimulatedSystemPowerManagement>(stateFile(), 50ms, 50ms, 500ms);
        monitor = std::make_unique<SystemPowerMonitor>(
            BerthkeepLogger(std::make_shared<inventorytest::CapturingLogSink>()),
            [this](SystemPowerMonitor::Acknowledge acknowledge) {
                events.push_back("will-sleep");
                if (acknowledgeWillSleep) {
                    acknowledge();
                }
            },
            [this] { events.push_back("wake"); }, SystemPowerMonitor::liveRegistrar(power));
        ASSERT_TRUE(monitor->isRegistered());
    }

    SimulatedStateFile stateFile() const {
        return SimulatedStateFile(m_folder.filePath("sim/state.json").toStdString());
    }

    // The control tool as a child process, while this loop keeps delivering.
    std::pair<int, std::string> runPowerTool(const QStringList& arguments) {
        QProcess process;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("BERTHKEEP_SIM_STATE", QString::fromStdString(stateFile().path()));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BERTHKEEP_SIM_BIN_DIR "/berthkeep-sim"), arguments);
        const bool ended =
            process.waitForStarted(5000) &&
            spinUntil([&] { return process.state() == QProcess::NotRunning; }, 10000);
        if (!ended) {
            process.kill();
            process.waitForFinished(5000);
            return {-1, {}};
        }
        return {process.exitCode(), process.readAllStandardOutput().toStdString()};
    }

    std::shared_ptr<SimulatedSystemPowerManagement> power;
    std::unique_ptr<SystemPowerMonitor> monitor;
    std::vector<std::string> events;
    bool acknowledgeWillSleep = true;

private:
    QTemporaryDir m_folder;
};

TEST_F(SimulatedMachineSleep, TheMachineHearsTheMonitorsAnswers) {
    struct Row {
        const char* message;
        bool acknowledge;
        int exitCode;
        const char* answer;
        std::vector<std::string> events;
    };
    const Row rows[] = {
        {"can-sleep", false, 0, R"("acknowledged":true,"allowed":true)", {}},
        {"will-sleep", true, 0, R"("acknowledged":true)", {"will-sleep"}},
        {"will-sleep", false, 1, R"("acknowledged":false)", {"will-sleep"}},
        {"has-powered-on", false, 0, R"("acknowledged":true)", {"wake"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.message) + (row.acknowledge ? " acknowledged" : ""));
        events.clear();
        acknowledgeWillSleep = row.acknowledge;
        const auto [exitCode, output] = runPowerTool({"power", row.message, "--wait", "1"});
        EXPECT_EQ(exitCode, row.exitCode);
        EXPECT_NE(output.find(row.answer), std::string::npos) << output;
        EXPECT_EQ(events, row.events);
    }

    monitor.reset();
    EXPECT_TRUE(SimulatedPowerFile(stateFile()).read().registrations.empty());
    EXPECT_EQ(power->openConnections(), 0);
}

TEST_F(SimulatedMachineSleep, SleepRequestRunsTheSleepCycleOrSaysWhyNot) {
    using Error = LiveSystemSleepRequester::RequestError;
    LiveSystemSleepRequester requester(power);

    power->setPowerManagementUnavailable(true);
    try {
        requester.requestSleep();
        ADD_FAILURE() << "accepted without power management";
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::powerManagementUnavailable());
    }

    power->setPowerManagementUnavailable(false);
    power->setSleepRequestResult(SystemPowerResult::notOpen);
    try {
        requester.requestSleep();
        ADD_FAILURE() << "accepted a refused request";
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::requestFailed(SystemPowerResult::notOpen));
        EXPECT_FALSE(error == Error::requestFailed(SystemPowerResult::error));
        // The code stays out of the text; the case is its number.
        EXPECT_EQ(error.localizedDescription().find(std::to_string(SystemPowerResult::notOpen)),
                  std::string::npos);
        EXPECT_NE(error.localizedDescription().find("error 0."), std::string::npos);
    }
    EXPECT_EQ(power->openConnections(), 1); // only the monitor's: the request's was closed

    power->setSleepRequestResult(SystemPowerResult::success);
    requester.requestSleep();
    ASSERT_TRUE(spinUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"will-sleep", "wake"}));
    power->waitForSleepCycle();
    const auto record = SimulatedPowerFile(stateFile()).read();
    ASSERT_EQ(record.acknowledgements.size(), 1u);
    EXPECT_TRUE(record.acknowledgements[0].released);
}

} // namespace
} // namespace berthkeep

#include "Berthkeep/Shell/BerthkeepLiveShellState.hpp"

#include <gtest/gtest.h>

#include <QDir>

#include "../Inventory/InventoryTestSupport.hpp"
#include "../Store/StoreFixture.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/LoginItems/SimulatedLoginItemService.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using Shell = BerthkeepLiveShellState;

TEST(BerthkeepLiveShellState, BuildsEachServiceOnceInOrderAndHandsThemToTheStore) {
    storetest::StoreFixture fixture;
    std::vector<std::string> steps;
    std::optional<Shell::StoreInputs> received;
    const auto step = [&steps](const char* name, auto value) {
        return [&steps, name, value](auto&&...) {
            steps.push_back(name);
            return value;
        };
    };
    Shell::Builders builders;
    builders.defaults = step("defaults", std::shared_ptr<UserDefaults>(fixture.defaults));
    builders.core = step("core", std::shared_ptr<BerthkeepCoreHandling>(fixture.core));
    builders.transientActionStatusPresenter = step(
        "status panel", std::shared_ptr<TransientActionStatusPresenting>(fixture.statusPresenter));
    builders.inventoryProvider =
        step("inventory", std::shared_ptr<DriveInventoryProviding>(fixture.inventory));
    builders.inventoryMonitor =
        step("monitor", std::shared_ptr<DriveInventoryMonitoring>(fixture.monitor));
    builders.usageCollector = step("usage", std::shared_ptr<DriveUsageCollecting>(fixture.usage));
    builders.ejector = step("ejector", std::shared_ptr<DriveEjecting>(fixture.ejector));
    builders.fullMonitoringPromptPresenter =
        step("prompt", std::shared_ptr<FullMonitoringPromptPresenting>(fixture.promptPresenter));
    builders.logger = step("logger", BerthkeepLogger(fixture.sink));
    builders.store = [&](Shell::StoreInputs inputs) {
        steps.push_back("store");
        received = inputs;
        fixture.timing = inputs.timing;
        return fixture.make();
    };
    builders.foregroundPresentationCoordinator = [&] {
        steps.push_back("foreground");
    };
    int checks = 0;
    int shown = 0;
    builders.settingsWindowController = [&](BerthkeepStore&, bool updateCheckAvailable,
                                            std::function<void()> onCheckForUpdates) {
        steps.push_back("settings");
        EXPECT_FALSE(updateCheckAvailable);
        onCheckForUpdates();
        return Shell::ShowSettings([&] { ++shown; });
    };

    Shell shell(nullptr, builders, false, [&] { ++checks; });

    EXPECT_EQ(steps, (std::vector<std::string>{"defaults", "core", "status panel", "inventory",
                                               "monitor", "usage", "ejector", "prompt", "logger",
                                               "defaults", "store", "foreground", "settings"}));
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->core, fixture.core);
    EXPECT_EQ(received->transientActionStatusPresenter, fixture.statusPresenter);
    EXPECT_EQ(received->inventoryProvider, fixture.inventory);
    EXPECT_EQ(received->inventoryMonitor, fixture.monitor);
    EXPECT_EQ(received->usageCollector, fixture.usage);
    EXPECT_EQ(received->ejector, fixture.ejector);
    EXPECT_EQ(received->fullMonitoringPromptPresenter, fixture.promptPresenter);
    EXPECT_EQ(received->defaults, fixture.defaults);
    EXPECT_EQ(received->logger.sink, fixture.sink);
    EXPECT_EQ(checks, 1);
    ASSERT_NE(shell.store(), nullptr);
    shell.showSettings()();
    EXPECT_EQ(shown, 1);

    const BerthkeepStore::Timing& timing = shell.store()->timing();
    const std::pair<Clock::Duration, Clock::Duration> durations[] = {
        {timing.postEjectRefreshDelay, 300ms},      {timing.postWakeRemountDelay, 2s},
        {timing.manualMountRetryDelay, 800ms},      {timing.wakeRemountRetryDelay, 2s},
        {timing.wakeRemountFailureSettleDelay, 1s}, {timing.wakeNotificationDeliveryDelay, 1s},
        {timing.groupedVolumeRefreshDelay, 1s},     {timing.sleepEjectSettleDelay, 250ms},
        {timing.sleepTriggeredEjectTimeout, 15s},   {timing.powerChangeAcknowledgeTimeout, 25s},
        {timing.usagePollingInterval, 3s},          {timing.idleUsagePollingInterval, 10s},
    };
    for (const auto& [actual, expected] : durations) {
        EXPECT_EQ(actual, expected);
    }
    EXPECT_EQ(timing.manualMountMaxAttempts, 2);
    EXPECT_EQ(timing.wakeRemountMaxAttempts, 3);
}

class BerthkeepLiveShellStateOnSimulatedMachine : public inventorytest::SimulatedMachineTest {};

// The live builders over a machine of the test's own, with the build's stand-in
// tools found beside the bundle folder.
TEST_F(BerthkeepLiveShellStateOnSimulatedMachine, TheLiveStoreListsTheMachinesDrives) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    attachPreset(world, SimulatedDrivePreset::internalDisk);
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Travel Stick"));
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Backup"));
    stateFile().write(world);

    const InMemoryAppBundle bundle(
        {}, QDir::cleanPath(BERTHKEEP_SIM_BIN_DIR "/../Berthkeep.app").toStdString());
    auto platform = std::make_shared<BerthkeepLivePlatform>(
        BerthkeepLivePlatform::simulatedMachine(stateFile(), bundle));
    EXPECT_EQ(platform->diskUtilityPath, inventorytest::standInPath("diskutil"));
    EXPECT_EQ(platform->volumesFolder, VolumesFolder(mountRoot()));
    platform->loginItems = std::make_shared<SimulatedLoginItemService>();

    auto builders = Shell::liveBuilders(platform);
    const auto defaults = std::make_shared<InMemoryUserDefaults>();
    builders.defaults = [defaults] {
        return defaults;
    };
    Shell shell(platform, builders, false);

    ASSERT_TRUE(test::processEventsUntil(
        [&shell] { return shell.store()->detectedDrives().size() == 2; }, 20s));
    std::vector<std::string> names;
    for (const DetectedDrive& drive : shell.store()->detectedDrives()) {
        names.push_back(drive.name());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Backup", "Travel Stick"}));
}

} // namespace
} // namespace berthkeep

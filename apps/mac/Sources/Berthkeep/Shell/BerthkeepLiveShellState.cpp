#include "Berthkeep/Shell/BerthkeepLiveShellState.hpp"

#include "Berthkeep/Actions/LiveEjectDiskUtilityRunner.hpp"
#include "Berthkeep/Actions/WorkspaceDriveEjector.hpp"
#include "Berthkeep/Actions/WorkspaceDriveRemounter.hpp"
#include "Berthkeep/Core/BerthkeepCoreFactory.hpp"
#include "Berthkeep/Inventory/LiveDiskArbitrationProvider.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/LiveDriveInventoryMonitor.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "Berthkeep/MenuBar/TransientActionStatusPanelPresenter.hpp"
#include "Berthkeep/Settings/FullMonitoringPromptPanelPresenter.hpp"
#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"
#include "Berthkeep/Shell/LaunchAtLoginManager.hpp"
#include "Berthkeep/Shell/LiveBerthkeepNotificationManager.hpp"
#include "Berthkeep/Shell/SettingsWindowController.hpp"
#include "Berthkeep/Sleep/LiveSystemSleepRequester.hpp"
#include "Berthkeep/Usage/VolumeUsageCollector.hpp"
#include "BerthkeepShared/BerthkeepProcessInfo.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/Activation/DesktopApplicationActivation.hpp"

namespace berthkeep {

namespace {

using namespace std::chrono_literals;

// The fresh `diskutil info` readings the drive actions check their drive with,
// bounded as the inventory's own.
std::shared_ptr<AttachedDriveCheck> attachedDriveCheck(const BerthkeepLivePlatform& platform) {
    return std::make_shared<AttachedDriveCheck>(
        std::make_shared<LiveDiskUtilityRunner>(platform.diskUtilityPath, 5000ms, 250ms));
}

} // namespace

BerthkeepStore::Timing BerthkeepLiveShellState::liveTiming() {
    BerthkeepStore::Timing timing;
    timing.postEjectRefreshDelay = 300ms;
    timing.postWakeRemountDelay = 2s;
    timing.manualMountRetryDelay = 800ms;
    timing.manualMountMaxAttempts = 2;
    timing.wakeRemountRetryDelay = 2s;
    timing.wakeRemountMaxAttempts = 3;
    timing.wakeRemountFailureSettleDelay = 1s;
    timing.wakeNotificationDeliveryDelay = 1s;
    timing.groupedVolumeRefreshDelay = 1s;
    timing.sleepEjectSettleDelay = 250ms;
    timing.sleepTriggeredEjectTimeout = 15s;
    timing.powerChangeAcknowledgeTimeout = 25s;
    timing.usagePollingInterval = 3s;
    timing.idleUsagePollingInterval = 10s;
    timing.planUsageProbeLimit = 3s;
    return timing;
}

BerthkeepLiveShellState::Builders
BerthkeepLiveShellState::liveBuilders(std::shared_ptr<BerthkeepLivePlatform> platform) {
    BerthkeepStartupAudit::setVolumesFolder(platform->volumesFolder);

    Builders builders;
    builders.defaults = [] {
        return UserDefaults::standard();
    };
    builders.core = [](const UserDefaults& defaults) {
        return BerthkeepCoreFactory::makeLive(BerthkeepProcessInfo::current(), defaults);
    };
    builders.transientActionStatusPresenter =
        []() -> std::shared_ptr<TransientActionStatusPresenting> {
        return std::make_shared<TransientActionStatusPanelPresenter>();
    };
    builders.inventoryProvider = [platform]() -> std::shared_ptr<DriveInventoryProviding> {
        // The first shell state of the process makes the shared provider; a
        // later one shares it.
        LiveDiskArbitrationProvider::configureShared(platform->diskArbitration);
        return std::make_shared<MountedVolumeInventoryService>(
            std::make_shared<LiveDiskUtilityRunner>(platform->diskUtilityPath, 5000ms, 250ms),
            std::make_shared<LiveDiskImageRegistry>(platform->diskImageUtilityPath),
            LiveDiskArbitrationProvider::shared(), platform->mountedVolumes,
            platform->volumesFolder);
    };
    builders.inventoryMonitor = [] {
        return std::make_shared<LiveDriveInventoryMonitor>(LiveDiskArbitrationProvider::shared());
    };
    builders.usageCollector = [] {
        return std::make_shared<VolumeUsageCollector>();
    };
    builders.ejector = [platform] {
        return std::make_shared<WorkspaceDriveEjector>(
            std::make_shared<LiveEjectDiskUtilityRunner>(platform->diskUtilityPath),
            platform->volumeUnmounting, attachedDriveCheck(*platform));
    };
    builders.fullMonitoringPromptPresenter =
        []() -> std::shared_ptr<FullMonitoringPromptPresenting> {
        return std::make_shared<FullMonitoringPromptPanelPresenter>(
            std::make_shared<DesktopApplicationActivation>());
    };
    builders.logger = [] {
        return BerthkeepLogger::live(BerthkeepRuntimeIdentity::currentBundleIdentifier());
    };
    builders.store = [platform](StoreInputs inputs) {
        auto launchAtLogin = std::make_shared<LaunchAtLoginManager>(
            inputs.logger, LaunchAtLoginManager::RuntimeContext::live(), platform->loginItems);
        return std::make_unique<BerthkeepStore>(
            inputs.inventoryProvider, inputs.inventoryMonitor, inputs.usageCollector,
            inputs.ejector,
            std::make_shared<WorkspaceDriveRemounter>(attachedDriveCheck(*platform),
                                                      platform->diskUtilityPath),
            inputs.core, std::make_shared<LiveBerthkeepNotificationManager>(),
            inputs.transientActionStatusPresenter,
            std::make_shared<LiveSystemSleepRequester>(platform->powerManagement),
            inputs.fullMonitoringPromptPresenter, nullptr, inputs.logger, inputs.defaults, true,
            true, true, inputs.timing,
            BerthkeepStore::Platform{std::move(launchAtLogin), LiveClock::shared(), nullptr,
                                     platform->urlOpener, platform->workspace,
                                     platform->powerManagement});
    };
    builders.foregroundPresentationCoordinator = [] {
        BerthkeepForegroundPresentationCoordinator::shared();
    };
    builders.settingsWindowController = [](BerthkeepStore& store, bool isUpdateCheckAvailable,
                                           std::function<void()> onCheckForUpdates) {
        // The window is made on the first show() and kept with the shell.
        auto controller = std::make_shared<SettingsWindowController>(
            store, BerthkeepForegroundPresentationCoordinator::shared(), isUpdateCheckAvailable,
            std::move(onCheckForUpdates));
        return ShowSettings([controller] { controller->show(); });
    };
    return builders;
}

BerthkeepLiveShellState::BerthkeepLiveShellState(std::shared_ptr<BerthkeepLivePlatform> platform,
                                                 Builders builders, bool isUpdateCheckAvailable,
                                                 std::function<void()> onCheckForUpdates)
    : m_platform(std::move(platform)) {
    // Braced initialisation runs the steps left to right, in build order.
    StoreInputs inputs{builders.core(*builders.defaults()),
                       builders.transientActionStatusPresenter(),
                       builders.inventoryProvider(),
                       builders.inventoryMonitor(),
                       builders.usageCollector(),
                       builders.ejector(),
                       builders.fullMonitoringPromptPresenter(),
                       builders.logger(),
                       builders.defaults(),
                       liveTiming()};
    m_store = builders.store(std::move(inputs));
    builders.foregroundPresentationCoordinator();
    m_showSettings = builders.settingsWindowController(
        *m_store, isUpdateCheckAvailable,
        onCheckForUpdates ? std::move(onCheckForUpdates) : std::function<void()>([] {}));
}

BerthkeepLiveShellState::~BerthkeepLiveShellState() {
    // The store first: its observers and registrations end while the platform
    // services they were made over still exist.
    m_store.reset();
}

} // namespace berthkeep

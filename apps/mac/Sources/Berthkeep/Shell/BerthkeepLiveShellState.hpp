#pragma once

#include <functional>
#include <memory>

#include "Berthkeep/Shell/BerthkeepLivePlatform.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"

namespace berthkeep {

// The composition root: builds every live service, the store and the settings
// window once, in a fixed order, and keeps them until it goes. Each step is a
// builder so that a test can watch the order and what reaches the store; the
// live builders come from liveBuilders(). Main thread only.
//
// Destroying it takes the store down before the platform services it holds, so
// the power registration ends and the defaults are written before they go.
class BerthkeepLiveShellState {
public:
    // Everything the store's initialiser takes besides what it makes itself, in
    // build order.
    struct StoreInputs {
        std::shared_ptr<BerthkeepCoreHandling> core;
        std::shared_ptr<TransientActionStatusPresenting> transientActionStatusPresenter;
        std::shared_ptr<DriveInventoryProviding> inventoryProvider;
        std::shared_ptr<DriveInventoryMonitoring> inventoryMonitor;
        std::shared_ptr<DriveUsageCollecting> usageCollector;
        std::shared_ptr<DriveEjecting> ejector;
        std::shared_ptr<FullMonitoringPromptPresenting> fullMonitoringPromptPresenter;
        BerthkeepLogger logger;
        std::shared_ptr<UserDefaults> defaults;
        BerthkeepStore::Timing timing;
    };

    // Shows the settings window; made by the settings window step.
    using ShowSettings = std::function<void()>;

    // In build order. `defaults` runs twice: for the core, and again for the store.
    struct Builders {
        std::function<std::shared_ptr<UserDefaults>()> defaults;
        std::function<std::shared_ptr<BerthkeepCoreHandling>(const UserDefaults&)> core;
        std::function<std::shared_ptr<TransientActionStatusPresenting>()>
            transientActionStatusPresenter;
        std::function<std::shared_ptr<DriveInventoryProviding>()> inventoryProvider;
        std::function<std::shared_ptr<DriveInventoryMonitoring>()> inventoryMonitor;
        std::function<std::shared_ptr<DriveUsageCollecting>()> usageCollector;
        std::function<std::shared_ptr<DriveEjecting>()> ejector;
        std::function<std::shared_ptr<FullMonitoringPromptPresenting>()>
            fullMonitoringPromptPresenter;
        std::function<BerthkeepLogger()> logger;
        // Also makes the remounter, notification manager and sleep requester.
        std::function<std::unique_ptr<BerthkeepStore>(StoreInputs)> store;
        // Makes the shared foreground presentation coordinator on first use.
        std::function<void()> foregroundPresentationCoordinator;
        std::function<ShowSettings(BerthkeepStore&, bool isUpdateCheckAvailable,
                                   std::function<void()> onCheckForUpdates)>
            settingsWindowController;
    };

    // The store's delays and attempt counts in the live program.
    static BerthkeepStore::Timing liveTiming();
    // Also points the shared disk description provider and the start-up audit's
    // volumes folder at the platform's machine.
    static Builders liveBuilders(std::shared_ptr<BerthkeepLivePlatform> platform);

    BerthkeepLiveShellState(std::shared_ptr<BerthkeepLivePlatform> platform, Builders builders,
                            bool isUpdateCheckAvailable,
                            std::function<void()> onCheckForUpdates = {});
    ~BerthkeepLiveShellState();

    BerthkeepLiveShellState(const BerthkeepLiveShellState&) = delete;
    BerthkeepLiveShellState& operator=(const BerthkeepLiveShellState&) = delete;

    BerthkeepStore* store() const { return m_store.get(); }
    const ShowSettings& showSettings() const { return m_showSettings; }
    const std::shared_ptr<BerthkeepLivePlatform>& platform() const { return m_platform; }

private:
    std::shared_ptr<BerthkeepLivePlatform> m_platform;
    std::unique_ptr<BerthkeepStore> m_store;
    ShowSettings m_showSettings;
};

} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <algorithm>

#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "Berthkeep/Store/BerthkeepStoreFullMonitoringIntegration.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"

namespace berthkeep {

namespace {

constexpr const char* kAuditComponent = "BerthkeepStore";
constexpr const char* kSavedPreferenceNote =
    " Your saved preference will be applied when Berthkeep.app runs as a packaged app.";

} // namespace

BerthkeepStore::BerthkeepStore(
    std::shared_ptr<DriveInventoryProviding> inventoryProvider,
    std::shared_ptr<DriveInventoryMonitoring> inventoryMonitor,
    std::shared_ptr<DriveUsageCollecting> usageCollector, std::shared_ptr<DriveEjecting> ejector,
    std::shared_ptr<DriveRemounting> remounter, std::shared_ptr<BerthkeepCoreHandling> core,
    std::shared_ptr<BerthkeepNotificationManaging> notificationManager,
    std::shared_ptr<TransientActionStatusPresenting> transientActionStatusPresenter,
    std::shared_ptr<SystemSleepRequesting> systemSleepRequester,
    std::shared_ptr<FullMonitoringPromptPresenting> fullMonitoringPromptPresenter,
    std::shared_ptr<BerthkeepTelemetryController> telemetryController, BerthkeepLogger logger,
    std::shared_ptr<UserDefaults> defaults, bool observeWorkspace,
    bool performInitialAsyncInventoryRefresh, bool performInitialDriveUsageRefresh, Timing timing,
    Platform platform, QObject* parent)
    : QObject(parent)
    , m_logger(std::move(logger))
    , m_defaults(std::move(defaults))
    , m_platform(std::move(platform))
    , m_observeWorkspace(observeWorkspace) {
    if (!m_platform.clock) {
        m_platform.clock = LiveClock::shared();
    }
    if (!m_platform.executor) {
        m_platform.executor = defaultExecutor();
    }
    m_inventoryRefreshCoordinator = std::make_unique<InventoryRefreshCoordinator>(m_platform.clock);
    m_usagePollingCoordinator = std::make_unique<UsagePollingCoordinator>(m_platform.clock);
    auto integration = std::make_shared<BerthkeepStoreFullMonitoringIntegration>();
    m_fullMonitoringIntegration = integration;

    const std::string persistedMode =
        AppPreferencesStore::persistedActivityDetectionModeRawValue(*m_defaults);
    audit("init", std::nullopt, BerthkeepAuditWorkPhase::appLaunch,
          "Starting BerthkeepStore initialization",
          {{"persisted_activity_detection_mode", persistedMode}});

    m_inventoryProvider = std::move(inventoryProvider);
    m_inventoryMonitor = std::move(inventoryMonitor);
    m_usageCollector = std::move(usageCollector);
    m_ejector = std::move(ejector);
    m_remounter = std::move(remounter);
    m_core = std::move(core);
    m_notificationManager = std::move(notificationManager);
    m_transientActionStatusPresenter = std::move(transientActionStatusPresenter);
    m_systemSleepRequester = std::move(systemSleepRequester);
    m_fullMonitoringPromptPresenter = std::move(fullMonitoringPromptPresenter);

    // Shared with the Full Monitoring coordinator: shared ownership, no QObject parent.
    m_telemetryController = std::move(telemetryController);
    if (!m_telemetryController) {
        m_telemetryController = std::make_shared<BerthkeepTelemetryController>(
            m_logger, BerthkeepTelemetryConsent{false});
    }
    m_telemetryController->startPeriodicFlush();

    m_actionCoordinator = std::make_unique<BerthkeepActionCoordinator>(
        m_ejector, m_core, m_logger, timing.postEjectRefreshDelay,
        timing.sleepTriggeredEjectTimeout, m_platform.clock);
    m_preferences = std::make_unique<AppPreferencesStore>(m_defaults, m_logger,
                                                          m_platform.launchAtLoginManager);
    readPersistedState();

    m_timing = timing;
    m_timing.manualMountMaxAttempts = std::max(1, timing.manualMountMaxAttempts);
    m_timing.wakeRemountMaxAttempts = std::max(1, timing.wakeRemountMaxAttempts);

    m_sleepWake = std::make_unique<BerthkeepSleepWakeCoordinator>(
        m_logger, m_timing.groupedVolumeRefreshDelay, m_timing.powerChangeAcknowledgeTimeout,
        m_platform.clock);
    connect(m_sleepWake.get(), &BerthkeepSleepWakeCoordinator::sleepHoldCut, this,
            &BerthkeepStore::handleSleepHoldCut);

    m_fullMonitoringCoordinator = std::make_unique<FullMonitoringCoordinator>(
        *m_preferences, m_telemetryController, m_logger, m_fullMonitoringPromptPresenter,
        m_fullMonitoringIntegration);
    integration->attach(this);

    m_telemetryController->updateConsent(
        BerthkeepTelemetryConsent{m_preferences->anonymousUsageStatisticsEnabled()});
    m_preferences->performInitialLaunchAtLoginSync();

    const ActivityDetectionMode mode =
        m_fullMonitoringCoordinator->effectiveActivityDetectionMode();
    audit("init", mode, BerthkeepAuditWorkPhase::appLaunch,
          "Resolved activity detection mode during initialization");

    if (m_observeWorkspace) {
        registerWorkspaceNotifications();
        registerSystemPowerNotifications();
    }

    audit("init", mode, BerthkeepAuditWorkPhase::appLaunch,
          "Starting live drive inventory monitor");
    if (m_inventoryMonitor) {
        m_inventoryMonitor->start([store = QPointer<BerthkeepStore>(this)] {
            if (store) {
                store->handleDiskArbitrationChange();
            }
        });
    }

    refreshInventorySynchronously();
    startLaunchTasks(performInitialAsyncInventoryRefresh, performInitialDriveUsageRefresh);

    // The relay: views that watch only the store still see every preference change.
    connect(m_preferences.get(), &AppPreferencesStore::objectWillChange, this,
            &BerthkeepStore::objectWillChange);
}

BerthkeepStore::~BerthkeepStore() = default;

MenubarViewState BerthkeepStore::initialState() {
    MenubarViewState state;
    state.globalState = GlobalSafetyState::noManagedDrives();
    state.utilityActions = {
        MenubarUtilityAction{MenubarUtilityAction::Kind::ejectAll, "Eject All", false},
        MenubarUtilityAction{MenubarUtilityAction::Kind::ejectAndSleep, "Eject & Sleep", false}};
    state.lastAction = LastActionSummary{LastActionSummary::Result::noneFound()};
    return state;
}

void BerthkeepStore::startLaunchTasks(bool performInitialAsyncInventoryRefresh,
                                      bool performInitialDriveUsageRefresh) {
    const QPointer<BerthkeepStore> self(this);
    startMainActorTask(
        [self, performInitialAsyncInventoryRefresh, performInitialDriveUsageRefresh] {
            return runLaunchRefresh(self, performInitialAsyncInventoryRefresh,
                                    performInitialDriveUsageRefresh);
        },
        "store launch refresh");
    audit("init", m_fullMonitoringCoordinator->effectiveActivityDetectionMode(),
          BerthkeepAuditWorkPhase::appLaunch, "Finished BerthkeepStore initialization");
    startMainActorTask([self] { return runLaunchTelemetry(self); }, "store launch telemetry");
}

QCoro::Task<void> BerthkeepStore::runLaunchRefresh(QPointer<BerthkeepStore> store,
                                                   bool performInitialAsyncInventoryRefresh,
                                                   bool performInitialDriveUsageRefresh) {
    if (performInitialAsyncInventoryRefresh) {
        if (store) {
            co_await store->refreshInventoryNow();
        }
    } else if (performInitialDriveUsageRefresh) {
        if (store) {
            co_await store->refreshDriveUsageNow();
        }
    }
    if (store) {
        co_await store->refreshNotificationAuthorizationStatus();
    }
}

QCoro::Task<void> BerthkeepStore::runLaunchTelemetry(QPointer<BerthkeepStore> store) {
    if (store) {
        const auto telemetry = store->m_telemetryController;
        co_await telemetry->recordOperational("app_started", {});
    }
    if (store) {
        const auto telemetry = store->m_telemetryController;
        co_await telemetry->recordOperational("app_version_reported", {});
    }
    if (store) {
        const auto telemetry = store->m_telemetryController;
        co_await telemetry->flushIfNeeded();
    }
}

QCoro::Task<void> BerthkeepStore::refreshNotificationAuthorizationStatus() {
    const QPointer<BerthkeepStore> self(this);
    const auto manager = m_notificationManager;
    const auto status = co_await manager->authorizationStatus();
    if (!self) {
        co_return;
    }
    emit objectWillChange();
    m_notificationsAuthorizationStatus = status;
}

void BerthkeepStore::handleDiskArbitrationChange() {
    // Drives ignored earlier are examined again after any disk event.
    if (auto* service = dynamic_cast<MountedVolumeInventoryService*>(m_inventoryProvider.get())) {
        service->ignoredCandidateCache()->removeAll();
    }
    scheduleInventoryRefresh(InventoryRefreshCoordinator::diskArbitrationChangeReason);
}

void BerthkeepStore::audit(const std::string& method,
                           const std::optional<ActivityDetectionMode>& mode,
                           BerthkeepAuditWorkPhase phase, const std::string& message,
                           const BerthkeepLogMetadata& metadata) {
    BerthkeepStartupAudit::debug(kAuditComponent, method, mode, phase, message, std::nullopt,
                                 metadata);
}

// Read-through preferences.

bool BerthkeepStore::notificationsEnabled() const {
    return m_preferences->notificationsEnabled();
}

bool BerthkeepStore::anonymousUsageStatisticsEnabled() const {
    return m_preferences->anonymousUsageStatisticsEnabled();
}

bool BerthkeepStore::adaptiveTargetedAssistEnabled() const {
    return m_preferences->adaptiveTargetedAssistEnabled();
}

bool BerthkeepStore::fullMonitoringEnabled() const {
    return m_fullMonitoringCoordinator->wantsFullMonitoring();
}

bool BerthkeepStore::launchAtLoginEnabled() const {
    return m_preferences->launchAtLoginEnabled();
}

const std::set<std::string>& BerthkeepStore::excludedDriveIDs() const {
    return m_preferences->excludedDriveIDs();
}

const FullMonitoringCapability& BerthkeepStore::fullMonitoringCapability() const {
    return m_preferences->fullMonitoringCapability();
}

FullMonitoringStatus BerthkeepStore::fullMonitoringStatus() const {
    const FullMonitoringStatus status = m_fullMonitoringCoordinator->fullMonitoringStatus();
    // Until a probe has answered, "setup required" is only the stored guess.
    if (status == FullMonitoringStatus::setupRequired &&
        m_fullMonitoringCoordinator->wantsFullMonitoring() &&
        !m_hasCompletedInitialAsyncUsageRefresh) {
        return FullMonitoringStatus::checking;
    }
    return status;
}

bool BerthkeepStore::launchAtLoginIsAvailable() const {
    return m_preferences->launchAtLoginManager().isAvailable();
}

std::optional<std::string> BerthkeepStore::launchAtLoginAvailabilityMessage() const {
    auto reason = m_preferences->launchAtLoginManager().unavailableReason();
    if (reason && launchAtLoginEnabled()) {
        *reason += kSavedPreferenceNote;
    }
    return reason;
}

std::string BerthkeepStore::telemetryText(bool value) {
    return value ? "true" : "false";
}

std::string BerthkeepStore::telemetryText(BerthkeepNotificationAuthorizationStatus status) {
    switch (status) {
    case BerthkeepNotificationAuthorizationStatus::notDetermined:
        return "not_determined";
    case BerthkeepNotificationAuthorizationStatus::denied:
        return "denied";
    case BerthkeepNotificationAuthorizationStatus::authorized:
        return "authorized";
    }
    return "not_determined";
}

namespace {

QCoro::Task<void>
recordAnonymousImprovement(std::shared_ptr<BerthkeepTelemetryController> controller,
                           std::string name, BerthkeepTelemetryPayload payload) {
    co_await controller->recordAnonymousImprovement(std::move(name), std::move(payload));
}

} // namespace

void BerthkeepStore::recordAnonymousTelemetry(const std::string& name,
                                              BerthkeepTelemetryPayload payload) {
    startMainActorTask(
        [controller = m_telemetryController, name, payload = std::move(payload)] {
            return recordAnonymousImprovement(controller, name, payload);
        },
        "store telemetry");
}

// Drives derived from the inventory.

std::vector<DetectedDrive> BerthkeepStore::managedDrives() const {
    std::vector<DetectedDrive> managed;
    std::copy_if(
        m_detectedDrives.begin(), m_detectedDrives.end(), std::back_inserter(managed),
        [](const DetectedDrive& drive) { return drive.scope() == DetectedDrive::Scope::managed; });
    return managed;
}

std::vector<DetectedDrive> BerthkeepStore::mountedManagedDrives() const {
    std::vector<DetectedDrive> mounted;
    for (const DetectedDrive& drive : managedDrives()) {
        if (drive.isMounted()) {
            mounted.push_back(drive);
        }
    }
    return mounted;
}

std::vector<std::string> BerthkeepStore::mountedManagedDriveIDs() const {
    std::vector<std::string> ids;
    for (const DetectedDrive& drive : mountedManagedDrives()) {
        ids.push_back(drive.id());
    }
    return ids;
}

std::vector<DetectedDrive> BerthkeepStore::drives(const std::vector<std::string>& ids) const {
    std::vector<DetectedDrive> matching;
    for (const std::string& id : ids) {
        const auto found =
            std::find_if(m_detectedDrives.begin(), m_detectedDrives.end(),
                         [&id](const DetectedDrive& drive) { return drive.id() == id; });
        if (found != m_detectedDrives.end()) {
            matching.push_back(*found);
        }
    }
    return matching;
}

bool BerthkeepStore::isCurrentlyMounted(const std::string& driveID) const {
    return std::any_of(m_detectedDrives.begin(), m_detectedDrives.end(),
                       [&driveID](const DetectedDrive& drive) {
                           return drive.id() == driveID && drive.isMounted();
                       });
}

bool BerthkeepStore::isExcluded(const std::string& driveID) const {
    return excludedDriveIDs().contains(driveID);
}

// What the action coordinator writes through the context.

void BerthkeepStore::setLastObservedTrigger(std::optional<TriggerReason> trigger) {
    emit objectWillChange();
    m_lastObservedTrigger = trigger;
}

void BerthkeepStore::setLastActionSummary(std::optional<LastActionSummary> summary) {
    m_lastActionSummary = std::move(summary);
}

void BerthkeepStore::setPendingSleepFailureNotification(
    std::optional<PendingSleepFailureNotification> pending) {
    m_pendingSleepFailureNotification = std::move(pending);
}

void BerthkeepStore::recordLastAction(LastActionSummary summary, std::uint64_t reportNumber) {
    if (reportNumber < m_reports.lastAction) {
        return;
    }
    m_reports.lastAction = reportNumber;
    setLastActionSummary(std::move(summary));
    persistLastActionSummary();
}

void BerthkeepStore::recordSleepFailureNotice(
    std::optional<PendingSleepFailureNotification> pending, std::uint64_t reportNumber) {
    if (reportNumber < m_reports.sleepFailureNotice) {
        return;
    }
    m_reports.sleepFailureNotice = reportNumber;
    setPendingSleepFailureNotification(std::move(pending));
    persistPendingSleepFailureNotification();
}

std::size_t BerthkeepStore::recordDrivesSleepingMounted() {
    std::set<std::string> sleeping;
    for (const DetectedDrive& drive : managedDrives()) {
        if (drive.isMounted() || isBeingMounted(drive.id())) {
            sleeping.insert(drive.id());
        }
    }
    // Down by its own command, whatever the last snapshot still says: the
    // running attempt's, or any eject whose refresh is still to be read.
    for (const DetectedDrive& drive : m_ejectAttempt.successfulTargets()) {
        sleeping.erase(drive.id());
    }
    for (const std::string& id : m_ejectAttempt.ejectReturnedDriveIDs()) {
        sleeping.erase(id);
    }
    if (sleeping.empty()) {
        return 0;
    }
    // Newer than every attempt under way: their closes leave this notice.
    recordSleepFailureNotice(
        PendingSleepFailureNotification{static_cast<std::int64_t>(sleeping.size())},
        takeReportNumber());
    return sleeping.size();
}

} // namespace berthkeep

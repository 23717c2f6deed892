#pragma once

#include <QObject>
#include <QPointer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QCoroTask>

#include "Berthkeep/Actions/BerthkeepActionContext.hpp"
#include "Berthkeep/Actions/BerthkeepActionCoordinator.hpp"
#include "Berthkeep/Actions/DriveEjecting.hpp"
#include "Berthkeep/Actions/DriveRemounting.hpp"
#include "Berthkeep/Actions/RemountTarget.hpp"
#include "Berthkeep/Actions/SystemSleepRequesting.hpp"
#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"
#include "Berthkeep/Domain/DriveAction.hpp"
#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"
#include "Berthkeep/Domain/FullMonitoringCapability.hpp"
#include "Berthkeep/Domain/FullMonitoringStatus.hpp"
#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"
#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/Drive/DriveUsageCollecting.hpp"
#include "Berthkeep/Inventory/DriveInventoryMonitoring.hpp"
#include "Berthkeep/Inventory/DriveInventoryProviding.hpp"
#include "Berthkeep/Inventory/InventoryRefreshCoordinator.hpp"
#include "Berthkeep/MenuBar/TransientActionStatusPresenting.hpp"
#include "Berthkeep/Settings/AppPreferencesStore.hpp"
#include "Berthkeep/Settings/FullMonitoringCoordinator.hpp"
#include "Berthkeep/Settings/FullMonitoringPromptPresenting.hpp"
#include "Berthkeep/Shell/BerthkeepNotificationManaging.hpp"
#include "Berthkeep/Sleep/BerthkeepSleepWakeCoordinator.hpp"
#include "Berthkeep/Store/ActiveInventoryRefresh.hpp"
#include "Berthkeep/Store/BerthkeepStorePresentationSource.hpp"
#include "Berthkeep/Store/BerthkeepStoreStateBuilder.hpp"
#include "Berthkeep/Store/InventoryRefreshRequestContext.hpp"
#include "Berthkeep/Store/InventoryTelemetrySignature.hpp"
#include "Berthkeep/Usage/UsagePollingCoordinator.hpp"
#include "BerthkeepShared/BerthkeepAuditWorkPhase.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/Clock.hpp"
#include "BerthkeepShared/Completion.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryRecords.hpp"
#include "platform/Defaults/UserDefaults.hpp"
#include "platform/Power/SystemPowerManagement.hpp"
#include "platform/UrlOpening/UrlOpening.hpp"
#include "platform/Workspace/WorkspaceNotificationCenter.hpp"

namespace berthkeep {

class BerthkeepTelemetryController;

// The one owner of the application's state and of every live service. The
// constructor starts everything in a fixed order (preferences, persisted last
// action, Full Monitoring, the disk watch, a synchronous core-only inventory,
// then two launch tasks) and publishes a first rebuilt state before it returns.
// Every later change ends in rebuildCurrentState(), which publishes a new
// MenubarViewState and logs a "state.transition" when it differs.
//
// Main thread only. Tasks and callbacks the store starts hold it weakly and do
// nothing once it is gone; releasing it unregisters nothing.
class BerthkeepStore final : public QObject, public BerthkeepActionContext {
    Q_OBJECT

public:
    using Duration = Clock::Duration;

    // The delays and attempt counts of the store's flows; the defaults are the
    // live values. Attempt counts below 1 are stored as 1.
    struct Timing {
        Duration postEjectRefreshDelay = std::chrono::milliseconds(300);
        Duration postWakeRemountDelay = std::chrono::seconds(2);
        Duration manualMountRetryDelay = std::chrono::milliseconds(800);
        int manualMountMaxAttempts = 2;
        Duration wakeRemountRetryDelay = std::chrono::seconds(2);
        int wakeRemountMaxAttempts = 3;
        Duration wakeRemountFailureSettleDelay = std::chrono::seconds(1);
        Duration wakeNotificationDeliveryDelay = std::chrono::seconds(1);
        Duration groupedVolumeRefreshDelay = std::chrono::seconds(1);
        Duration sleepEjectSettleDelay = std::chrono::milliseconds(250);
        Duration sleepTriggeredEjectTimeout = std::chrono::seconds(15);
        Duration powerChangeAcknowledgeTimeout = std::chrono::seconds(25);
        Duration usagePollingInterval = std::chrono::seconds(3);
        Duration idleUsagePollingInterval = std::chrono::seconds(10);
        // How long a planned eject (a sleep's, Eject & Sleep's) waits for usage
        // probes before it plans on the latest snapshots: the ejects keep their
        // time within the hold, however slow a probe is.
        Duration planUsageProbeLimit = std::chrono::seconds(3);
    };

    // What the store's own collaborators need of the platform. The store picks
    // none of it itself: the composition root and the tests do.
    struct Platform {
        // Behind the preferences' launch-at-login switch. Required.
        std::shared_ptr<LaunchAtLoginManager> launchAtLoginManager;
        // Debounces and polling intervals. The live clock when null.
        std::shared_ptr<Clock> clock;
        // Where inventory snapshots and usage probes run. The thread pool when null.
        std::shared_ptr<Executor> executor;
        // Opens the system settings for the Full Monitoring remediation; nothing
        // opens when null.
        std::shared_ptr<UrlOpening> urlOpener = nullptr;
        // Watched only when the store observes the system; none when null.
        std::shared_ptr<WorkspaceNotificationCenter> workspaceNotificationCenter = nullptr;
        std::shared_ptr<SystemPowerManagement> powerManagement = nullptr;
    };

    // telemetryController: shared with the Full Monitoring coordinator; when null
    // the store builds the live one with consent off. inventoryMonitor may be null
    // (no disk watch then).
    BerthkeepStore(std::shared_ptr<DriveInventoryProviding> inventoryProvider,
                   std::shared_ptr<DriveInventoryMonitoring> inventoryMonitor,
                   std::shared_ptr<DriveUsageCollecting> usageCollector,
                   std::shared_ptr<DriveEjecting> ejector,
                   std::shared_ptr<DriveRemounting> remounter,
                   std::shared_ptr<BerthkeepCoreHandling> core,
                   std::shared_ptr<BerthkeepNotificationManaging> notificationManager,
                   std::shared_ptr<TransientActionStatusPresenting> transientActionStatusPresenter,
                   std::shared_ptr<SystemSleepRequesting> systemSleepRequester,
                   std::shared_ptr<FullMonitoringPromptPresenting> fullMonitoringPromptPresenter,
                   std::shared_ptr<BerthkeepTelemetryController> telemetryController,
                   BerthkeepLogger logger, std::shared_ptr<UserDefaults> defaults,
                   bool observeWorkspace, bool performInitialAsyncInventoryRefresh,
                   bool performInitialDriveUsageRefresh, Timing timing, Platform platform,
                   QObject* parent = nullptr);
    ~BerthkeepStore() override;

    BerthkeepStore(const BerthkeepStore&) = delete;
    BerthkeepStore& operator=(const BerthkeepStore&) = delete;

    static constexpr const char* lastActionSummaryKey = "berthkeep.lastActionSummary";
    static constexpr const char* pendingSleepFailureNotificationKey =
        "berthkeep.pendingSleepFailureNotification";

    // What the menu shows before the first rebuild: no managed drives, both
    // utility actions disabled, last action none found.
    static MenubarViewState initialState();

    // Published state. Each assignment emits objectWillChange() first; a new
    // current state emits currentStateChanged() after.
    const MenubarViewState& currentState() const { return m_currentState; }
    const std::vector<DetectedDrive>& detectedDrives() const { return m_detectedDrives; }
    const std::optional<TriggerReason>& lastObservedTrigger() const {
        return m_lastObservedTrigger;
    }
    BerthkeepNotificationAuthorizationStatus notificationsAuthorizationStatus() const {
        return m_notificationsAuthorizationStatus;
    }

    // Read through to the preferences and Full Monitoring, at the moment of the call.
    bool notificationsEnabled() const;
    bool anonymousUsageStatisticsEnabled() const;
    bool adaptiveTargetedAssistEnabled() const;
    bool launchAtLoginEnabled() const;
    // Whether the user wants Full Monitoring (the settings switch).
    bool fullMonitoringEnabled() const;
    const std::set<std::string>& excludedDriveIDs() const;
    const FullMonitoringCapability& fullMonitoringCapability() const;
    // The coordinator's status, except that "setup required" reads as "checking"
    // while Full Monitoring is wanted and no usage probe has finished yet.
    FullMonitoringStatus fullMonitoringStatus() const;
    bool launchAtLoginIsAvailable() const;
    // Why launch at login cannot be used, with a note that the saved preference
    // waits while it is on; nothing when it can be used.
    std::optional<std::string> launchAtLoginAvailabilityMessage() const;
    // The remediation row for the current Full Monitoring status, or none.
    std::optional<MenubarRemediationAction> remediationAction() const;

    // Drives derived from the inventory, in inventory order.
    std::vector<DetectedDrive> mountedManagedDrives() const;
    const std::map<std::string, DriveUsageSnapshot>& driveUsageSnapshotsByDriveID() const {
        return m_driveUsageSnapshotsByDriveID;
    }
    // The drives a mount runs for now.
    std::set<std::string> mountingDriveIDs() const;
    const std::optional<LastActionSummary>& lastActionSummary() const {
        return m_lastActionSummary;
    }
    const std::optional<PendingSleepFailureNotification>& pendingSleepFailureNotification() const {
        return m_pendingSleepFailureNotification;
    }
    bool hasCompletedInitialAsyncUsageRefresh() const {
        return m_hasCompletedInitialAsyncUsageRefresh;
    }

    void rebuildCurrentState() override { rebuildCurrentState(*m_core); }

    // Inventory.
    // The launch-time core-only snapshot, on the main thread; no child process.
    void refreshInventorySynchronously();
    // The one way to an asynchronous refresh: joins a running refresh of the same
    // context, waits out one of another context and then starts its own. Returns
    // after the refresh's follow-up usage probe, with the drives it applied (the
    // current ones when its snapshot was stale).
    QCoro::Task<std::vector<DetectedDrive>> refreshInventoryNow();
    // Starts refreshInventoryNow() on a task; returns at once.
    void refreshInventory();
    InventoryRefreshRequestContext currentInventoryRefreshRequestContext() const;
    // One numbered snapshot off the main thread, applied unless a newer one was
    // numbered meanwhile. Callers go through refreshInventoryNow().
    QCoro::Task<std::vector<DetectedDrive>>
    performInventoryRefreshNow(InventoryRefreshRequestContext context);
    void applyInventorySnapshot(std::vector<DetectedDrive> drives,
                                std::map<std::string, DriveUsageSnapshot> usageSnapshots);

    // Usage. One probe at a time; a request during a probe makes one more after
    // it. False when the request was folded into a running probe or superseded.
    QCoro::Task<bool> refreshDriveUsageNow();
    // Keeps only the snapshots of managed detected drives.
    void applyUsageSnapshots(std::map<std::string, DriveUsageSnapshot> snapshots);
    // Polls while Full Monitoring is active and a managed drive is mounted.
    void manageUsagePolling();
    // The busy interval while a mounted managed drive's snapshot is busy, the idle one otherwise.
    Duration currentUsagePollingInterval() const;
    // "Name:open=2,cwd=0,statfs=true,fsevents=false,viewer=false,busy=true,score=0.8",
    // one entry per snapshot in natural name order, joined with ";".
    static std::string
    renderUsageSummary(const std::map<std::string, DriveUsageSnapshot>& snapshots,
                       const std::vector<DetectedDrive>& drives);
    // Whole milliseconds from `since` to the clock's now; never below 0.
    static std::int64_t elapsedMilliseconds(Clock::TimePoint since, const Clock& clock);

    // Settings. Each setter does nothing when the value is unchanged, except
    // launch at login, which always assigns and reports only a real change.
    void setNotificationsEnabledByUser(bool enabled);
    void setAnonymousUsageStatisticsEnabledByUser(bool enabled);
    void setAdaptiveTargetedAssistEnabledByUser(bool enabled);
    void setLaunchAtLoginEnabled(bool enabled);
    // On asks through the enable prompt; off switches Full Monitoring off at once.
    void setFullMonitoringEnabledByUser(bool enabled);
    // Shown at once through the in-app core; a refresh confirms it.
    void setExcluded(bool excluded, const DetectedDrive& drive);

    // The drives a menu showed when its row was clicked: Eject All, Eject & Sleep
    // and a card's group act on none other, so a drive that came (or took a gone
    // drive's disk name) after the click is left alone. Nothing: no such limit.
    using ShownDriveIDs = std::optional<std::set<std::string>>;

    // User actions. The perform forms and simulateTrigger start a task that
    // holds the store weakly and return at once.
    void perform(MenubarUtilityAction::Kind kind, ShownDriveIDs shownDriveIDs = std::nullopt);
    void perform(DriveAction::Kind kind, const std::string& driveID);
    void perform(DriveGroupActionKind kind, const std::string& groupID,
                 ShownDriveIDs shownDriveIDs = std::nullopt);
    void simulateTrigger(TriggerReason trigger);
    // Ends the application's event loop; the program then takes its services
    // down in order.
    void quit();
    // Synchronous: shows the enable prompt, or opens the system settings.
    void perform(const MenubarRemediationAction& action);
    QCoro::Task<void> runUtilityAction(MenubarUtilityAction::Kind kind,
                                       ShownDriveIDs shownDriveIDs = std::nullopt);
    QCoro::Task<void> runDriveAction(DriveAction::Kind kind, std::string driveID);

    // The persisted last action and pending sleep-failure notice: written from
    // the fields, removed when the field is empty.
    void persistLastActionSummary();
    void persistPendingSleepFailureNotification();
    void setLastActionSummary(std::optional<LastActionSummary> summary);
    void setPendingSleepFailureNotification(std::optional<PendingSleepFailureNotification> pending);

    // BerthkeepActionContext.
    // The eject under way and what the last one left; it alone says whether an
    // action runs.
    EjectAttemptState& ejectAttempt() override { return m_ejectAttempt; }
    const EjectAttemptState& ejectAttempt() const { return m_ejectAttempt; }
    std::uint64_t wakeCount() const override { return m_sleepWake->wakeCount(); }
    void setLastObservedTrigger(std::optional<TriggerReason> trigger) override;
    std::uint64_t takeReportNumber() override { return ++m_reports.taken; }
    void recordLastAction(LastActionSummary summary, std::uint64_t reportNumber) override;
    void recordSleepFailureNotice(std::optional<PendingSleepFailureNotification> pending,
                                  std::uint64_t reportNumber) override;
    std::size_t recordDrivesSleepingMounted() override;
    std::vector<BerthkeepCoreDrive> coreDrives() const override;
    std::vector<std::string> mountedManagedDriveIDs() const override;
    std::vector<DetectedDrive> drives(const std::vector<std::string>& ids) const override;
    // True when any detected drive with that id is mounted.
    bool isCurrentlyMounted(const std::string& driveID) const override;
    bool isExcluded(const std::string& driveID) const override;
    bool isMountHoldingSleep() const override;
    bool isSleepHeld() const override;
    bool isBeingMounted(const std::string& driveID) const override;
    TransientActionStatusPresenting& transientActionStatusPresenter() override {
        return *m_transientActionStatusPresenter;
    }
    const std::shared_ptr<BerthkeepTelemetryController>& telemetryController() const override {
        return m_telemetryController;
    }
    QObject* contextObject() override { return this; }

    // Ejecting (BerthkeepStore+Eject.cpp).
    std::vector<EjectTargetGroup>
    ejectTargetGroups(const std::vector<DetectedDrive>& drives) const override;
    std::string currentGlobalStateHeaderCopy() const override;
    WakeRemountQueue& wakeRemountQueue() override { return m_sleepWake->wakeRemountQueue(); }
    const WakeRemountQueue& wakeRemountQueue() const { return m_sleepWake->wakeRemountQueue(); }
    void triggerWakeRemountCatchUpIfNeeded() override;
    QCoro::Task<void> refreshInventoryAfterEjectAttempt(bool needsSettlement) override;
    // The planned road of the coordinator, for the sleep triggers and Eject & Sleep.
    QCoro::Task<void> runPlannedTrigger(TriggerReason trigger,
                                        ShownDriveIDs shownDriveIDs = std::nullopt,
                                        std::set<std::string> followMounts = {});
    // The menu's per-drive eject: a managed, mounted drive not already worked on,
    // and no attempt running.
    QCoro::Task<void> ejectDrive(std::string driveID);
    // The menu's per-group eject: the group's managed, mounted drives.
    QCoro::Task<void> ejectDriveGroup(std::string groupID,
                                      ShownDriveIDs shownDriveIDs = std::nullopt);

    // Mounting (BerthkeepStore+Remount.cpp).
    QCoro::Task<void> mountDrive(std::string driveID);
    QCoro::Task<void> mountDriveGroup(std::string groupID,
                                      ShownDriveIDs shownDriveIDs = std::nullopt);
    struct RemountEventNames {
        std::string started;
        std::string succeeded;
        std::string failed;
        std::string retrying;
        std::string notAttached;
    };
    // Mounts the targets, retrying what is still unmounted after each attempt as
    // the refreshed inventory shows it; returns what is still not mounted. Each
    // attempt first finds every target's drive in the inventory and mounts it
    // under the BSD names it has now; a target whose drive is not attached is
    // not tried and comes back with the rest. Never throws; a cancelled token
    // ends it early with what was left.
    // The wake's mounts: only drives still queued are mounted, and the engine
    // names the drives its last attempt found not attached.
    struct WakeMounts {
        std::set<std::string> notAttachedAtLastAttempt;
        // Left at the last attempt to another mount of the drive still running.
        std::set<std::string> leftToAnotherMountAtLastAttempt;
    };
    // What a run hands back: the drives still down that it did not mount, each
    // in one list.
    struct RemountOutcome {
        // Tried, or looked for and not attached: these could not mount.
        std::vector<RemountTarget> failed;
        // Stopped (a held sleep, a cancel) before their mount began.
        std::vector<RemountTarget> notTried;
        // The user spoke about them after the run began: theirs, not failures.
        std::vector<RemountTarget> leftAlone;
    };
    // Before each mount the engine reads the present (mayMountNow); a target
    // left out for it comes back in `leftAlone`. A manual run that a held sleep
    // stops queues what it had not begun for the wake: the user's word stands.
    QCoro::Task<RemountOutcome> remountTargets(std::vector<RemountTarget> targets, int maxAttempts,
                                               Duration retryDelay, RemountEventNames eventNames,
                                               std::optional<std::string> operationID,
                                               Duration failureSettleDelay, bool groupByDevice,
                                               std::shared_ptr<CancelToken> cancel = {},
                                               std::shared_ptr<WakeMounts> wake = nullptr);
    static std::vector<RemountGroup> remountGroups(const std::vector<RemountTarget>& targets);
    bool allowsGroupedWakeRemount(const std::string& groupID) const override;
    std::optional<RemountTarget> wakeRemountTarget(const DetectedDrive& drive,
                                                   bool allowGrouping) const override;

    // Sleep and wake (BerthkeepStore+SleepWake.cpp, +SleepWakeTargets.cpp).
    // Holds the sleep until the managed drives are ejected; returns at once.
    void handleSystemPowerWillSleep(BerthkeepSleepWakeCoordinator::Acknowledge acknowledge);
    void beginWakeRemount();
    // A grouped target whose disk shows an excluded volume is mounted on its own.
    std::vector<RemountTarget>
    sanitizedWakeRemountTargets(std::vector<RemountTarget> targets) const;
    BerthkeepSleepWakeCoordinator& sleepWake() { return *m_sleepWake; }
    const BerthkeepSleepWakeCoordinator& sleepWake() const { return *m_sleepWake; }

    // Services.
    AppPreferencesStore& preferences() { return *m_preferences; }
    const AppPreferencesStore& preferences() const { return *m_preferences; }
    FullMonitoringCoordinator& fullMonitoringCoordinator() { return *m_fullMonitoringCoordinator; }
    const FullMonitoringCoordinator& fullMonitoringCoordinator() const {
        return *m_fullMonitoringCoordinator;
    }
    BerthkeepActionCoordinator& actionCoordinator() { return *m_actionCoordinator; }
    const Timing& timing() const { return m_timing; }

signals:
    // Before any published value or preference changes.
    void objectWillChange();
    void currentStateChanged();

private:
    // Telemetry payload texts: "true" / "false"; "not_determined", "denied", "authorized".
    static std::string telemetryText(bool value);
    static std::string telemetryText(BerthkeepNotificationAuthorizationStatus status);
    // Records an anonymous-improvement event on a main-thread task that holds the
    // telemetry controller, not the store, so it runs even after the store is gone.
    void recordAnonymousTelemetry(const std::string& name, BerthkeepTelemetryPayload payload);

    // Drives derived from the inventory, in inventory order.
    std::vector<DetectedDrive> managedDrives() const;

    // The state pipeline: blocked presentation or the core's evaluation, then the
    // builder; publishes the result (always notifying) and logs a change.
    void rebuildCurrentState(BerthkeepCoreHandling& core);

    // Inventory. The snapshot runs synchronously on the caller's thread.
    static std::vector<DetectedDrive>
    inventorySnapshot(DriveInventoryProviding& provider,
                      const std::set<std::string>& excludedDriveIDs, ActivityDetectionMode mode,
                      BerthkeepAuditWorkPhase phase, DriveInventoryRefreshStage stage,
                      bool allowMountedVolumeAccess);
    // Debounced through the inventory refresh coordinator.
    void scheduleInventoryRefresh(const std::string& reason);
    // Shows an exclusion at once, before the confirming refresh.
    void applyExcludedScopeLocally(bool excluded, const std::string& driveID);

    // Settings and notifications.
    QCoro::Task<void> refreshNotificationAuthorizationStatus();
    // Asks only while nobody has decided; publishes and logs the status.
    QCoro::Task<void> requestNotificationAuthorizationWithTelemetryIfNeeded();
    static QCoro::Task<void> announceNotificationsToggle(QPointer<BerthkeepStore> store,
                                                         bool enabled);
    // Opens the system settings, or tells the user why they did not open.
    void openSystemSettings();

    // User actions.
    QCoro::Task<void> runDriveGroupAction(DriveGroupActionKind kind, std::string groupID,
                                          ShownDriveIDs shownDriveIDs = std::nullopt);
    // Both refuse silently while an action runs or no managed drive (of those
    // shown) is mounted.
    QCoro::Task<void> runEjectAll(ShownDriveIDs shownDriveIDs = std::nullopt);
    // Sleeps only after its own eject ran; a pending sleep-failure notice is
    // delivered instead of sleeping. When a sleep comes meanwhile (the system's
    // own, held or not yet answered), that sleep is the one that follows: nothing
    // more is asked and every drive taken down stays queued for its wake.
    QCoro::Task<void> runEjectAndSleep(ShownDriveIDs shownDriveIDs = std::nullopt);
    // Probes usage (when the request was folded into a running probe, it waits
    // for that one and probes once more), within planUsageProbeLimit, then runs
    // the planned eject. False when another action made the eject skip, or when
    // Eject & Sleep's moment passed before its eject began: a sleep and its wake
    // came meanwhile.
    QCoro::Task<bool> runTrigger(TriggerReason trigger, ShownDriveIDs shownDriveIDs = std::nullopt);
    // The usage probe a plan is made on, waited for planUsageProbeLimit at most
    // (a probe still running then goes on, and the plan takes the latest
    // snapshots); false when the store went away.
    QCoro::Task<bool> probeDriveUsageForPlan();
    // Waits for the running usage probe, if any, to end, until `deadline`.
    // False when the store went away.
    QCoro::Task<bool> waitForUsageProbe(Clock::TimePoint deadline);
    QCoro::Task<void> deliverPendingSleepFailureNotificationIfNeeded();
    // Each runs its action when the store is still there, and nothing once it is gone.
    static QCoro::Task<void> runGroup(QPointer<BerthkeepStore> store, DriveGroupActionKind kind,
                                      std::string groupID, ShownDriveIDs shown);
    static QCoro::Task<void> runSimulatedTrigger(QPointer<BerthkeepStore> store,
                                                 TriggerReason trigger);

    // Ejecting.
    QCoro::Task<void> ejectExplicitDrive(DetectedDrive drive);

    // Mounting.
    // The panel, the retried mounts and the result panel of a manual mount;
    // `targetName` names a single drive in the result.
    QCoro::Task<void> runManualMount(std::vector<RemountTarget> targets, std::string progressDetail,
                                     std::optional<std::string> targetName);
    static BerthkeepLogMetadata remountLogMetadata(
        const std::optional<std::string>& operationID, const std::optional<std::string>& driveID,
        const std::optional<std::string>& driveName, const std::optional<std::string>& bsdName,
        std::optional<std::size_t> attempt, std::optional<std::size_t> groupDriveCount,
        const std::optional<std::string>& groupBSDName, BerthkeepLogMetadata extra = {});
    // The key the group cards, the group actions and the wake remount share.
    static std::string driveGroupID(const DetectedDrive& drive);
    bool visibleExcludedSiblingExists(const std::string& groupID) const;
    // Volume mode for a drive whose disk also holds an excluded volume, else device.
    DriveEjectMode ejectMode(const DetectedDrive& drive) const;
    // Whether the target's drive, found again in the inventory, is mounted.
    bool isTargetMounted(const RemountTarget& target) const;
    // Whether the user still wants the target mounted: its drive, found by who
    // it is, is not excluded as it is listed now, the user has not spoken about
    // it since the run numbered `begunAt` began, and, for the wake's mounts
    // (`onlyQueued`), it is still queued.
    bool mayMountNow(const RemountTarget& target, bool onlyQueued,
                     std::optional<std::uint64_t> begunAt) const;
    // The user's word, numbered `word`, on these drives: they leave the wake
    // remount queue, and work begun before it queues them no more.
    void forgetWakeRemount(const std::vector<DetectedDrive>& drives, const char* reason,
                           std::uint64_t word);
    // Eject All, Eject & Sleep and a card's group eject speak for every managed
    // drive they cover (`covered`), up or down: it leaves the wake queue. Returns
    // those of them being mounted now, which the eject takes once that ends.
    // Eject & Sleep, a sleep trigger, keeps what is queued (`keepsQueued`) for
    // the wake of the sleep it asks for.
    std::set<std::string> speakForEject(const std::function<bool(const DetectedDrive&)>& covered,
                                        const char* reason, bool keepsQueued = false);
    struct RemountVerdict {
        // Empty when every target of the group is mounted.
        std::vector<RemountTarget> unresolved;
        std::string error;
    };
    QCoro::Task<RemountVerdict> evaluateRemountAttempt(RemountGroup group,
                                                       Duration failureSettleDelay,
                                                       std::string fallbackError,
                                                       std::shared_ptr<CancelToken> cancel);
    // Counted: two mounts of one drive (a cancelled wake remount's still in the
    // tool, say) keep it marked until both end.
    void setMounting(const std::vector<std::string>& driveIDs, bool active);
    // Mounts the queued drives that came back after the wake's attempts looked
    // for them (attached and unmounted now, away as `wasAway` says), through the
    // same wake road.
    void mountQueuedDrivesThatCameBack(const std::function<bool(const RemountTarget&)>& wasAway);
    // The same for queued drives that the wake left to another mount of theirs
    // which has ended since without mounting them.
    void mountQueuedDrivesLeftToEndedMounts(const std::set<std::string>& driveIDs);
    // Runs the wake road for the queued drives `chosen` picks that are attached,
    // unmounted and still wanted; logs `event` with `message` when there are any.
    void mountQueuedDrives(const std::function<bool(const RemountTarget&)>& chosen,
                           const char* event, const char* message);
    // Queues the drives of these targets as the sleep would have, logging it.
    void queueForTheWake(const std::vector<RemountTarget>& targets, WakeRemountQueue::QueuedBy by);
    QCoro::Task<RemountOutcome> remountAttempts(std::vector<RemountTarget> targets, int maxAttempts,
                                                Duration retryDelay, RemountEventNames eventNames,
                                                std::optional<std::string> operationID,
                                                Duration failureSettleDelay, bool groupByDevice,
                                                std::shared_ptr<CancelToken> cancel,
                                                std::shared_ptr<WakeMounts> wake,
                                                std::uint64_t begunAt);
    // Waits, polling, while an eject action runs; returns the drives it worked
    // on meanwhile. Ends early when `cancel` is cancelled.
    QCoro::Task<std::set<std::string>> waitWhileAnEjectRuns(std::shared_ptr<CancelToken> cancel);

    // Sleep and wake.
    // Waits, polling, while another action runs and this power change is still
    // held, then reads the inventory again. False when the sleep trigger
    // should not run: a wake came, a newer will-sleep took over, or the hold ran out.
    QCoro::Task<bool> waitForRunningActionBeforeSleep(std::string powerChangeID);
    // The sleep's eject for this power change: its refresh, the wait, the probe
    // and the planned eject; it ejects nothing once the sleep went ahead without
    // it (a wake, a newer will-sleep, the hold cut).
    QCoro::Task<void> runSystemSleepEject(std::string powerChangeID);
    // The system slept (the hold ran out, or the wake found it unanswered):
    // what is mounted now slept mounted.
    void handleSleepHoldCut();
    QCoro::Task<void> handleWorkspaceVolumeChange();
    // Delivers at once when the wake delay is zero, else starts one delayed delivery.
    QCoro::Task<void> schedulePendingSleepFailureNotificationIfNeeded();
    QCoro::Task<void> handleWakeEvent(std::string remountAttemptID,
                                      std::optional<std::string> clearingSleepAcknowledgerID,
                                      std::shared_ptr<CancelToken> cancel);
    QCoro::Task<void>
    recoverWakeRemountTargetsForAlreadyUnmountedDrives(std::vector<DetectedDrive> inFlight);
    void invalidateInFlightSleepAttemptAfterWake();
    QCoro::Task<void> runWakeRemount(std::string remountAttemptID,
                                     std::shared_ptr<CancelToken> cancel);
    // What the running attempt has taken off: ejected, or listed and unmounted.
    std::vector<DetectedDrive> mergedAttemptSuccessTargets() const;
    // Listed in the inventory, and not mounted: down, not pulled out.
    bool isListedUnmounted(const std::string& driveID) const;
    void preserveCompletedSleepEjectTargetsForWakeRemount();
    // Each runs its step when the store is still there, and nothing once it is gone.
    static QCoro::Task<void> runWorkspaceVolumeChange(QPointer<BerthkeepStore> store);
    static QCoro::Task<void> runSystemSleepEjectIfAlive(QPointer<BerthkeepStore> store,
                                                        std::string powerChangeID);
    static QCoro::Task<void> runWakeEventIfAlive(QPointer<BerthkeepStore> store,
                                                 std::string attemptID,
                                                 std::optional<std::string> acknowledgerID,
                                                 std::shared_ptr<CancelToken> cancel);

    std::optional<BerthkeepStorePresentationSource> blockedPresentationSource() const;
    void logStateTransitionIfNeeded(const MenubarViewState& previousState);
    void publishCurrentState(MenubarViewState state);
    void readPersistedState();
    void startLaunchTasks(bool performInitialAsyncInventoryRefresh,
                          bool performInitialDriveUsageRefresh);
    void handleDiskArbitrationChange();
    void recordInventoryTelemetryIfNeeded();
    void publishNotificationAuthorizationStatus(BerthkeepNotificationAuthorizationStatus status);
    bool mayStartUtilityAction(const ShownDriveIDs& shownDriveIDs) const;
    void logDriveUsageTransitions(const std::map<std::string, DriveUsageSnapshot>& previous,
                                  const std::map<std::string, DriveUsageSnapshot>& next) const;
    std::set<std::string> managedDriveIDs() const;
    static void audit(const std::string& method, const std::optional<ActivityDetectionMode>& mode,
                      BerthkeepAuditWorkPhase phase, const std::string& message,
                      const BerthkeepLogMetadata& metadata = {});

    static QCoro::Task<void> runLaunchRefresh(QPointer<BerthkeepStore> store,
                                              bool performInitialAsyncInventoryRefresh,
                                              bool performInitialDriveUsageRefresh);
    static QCoro::Task<void> runLaunchTelemetry(QPointer<BerthkeepStore> store);
    void registerWorkspaceNotifications();
    void registerSystemPowerNotifications();
    void scheduleVolumeReconciliationRefresh();
    BerthkeepSleepWakeCoordinator::WakeEventHandler wakeEventHandler();
    static QCoro::Task<void> runDelayedSleepFailureDelivery(QPointer<BerthkeepStore> store,
                                                            std::shared_ptr<Clock> clock,
                                                            Duration delay,
                                                            std::shared_ptr<CancelToken> token);
    static QCoro::Task<void> runDriveUsageRefresh(QPointer<BerthkeepStore> store);
    static QCoro::Task<std::vector<DetectedDrive>>
    runInventoryRefresh(QPointer<BerthkeepStore> store, std::string id,
                        InventoryRefreshRequestContext context);

    // Services handed in.
    std::shared_ptr<DriveInventoryProviding> m_inventoryProvider;
    std::shared_ptr<DriveInventoryMonitoring> m_inventoryMonitor;
    std::shared_ptr<DriveUsageCollecting> m_usageCollector;
    std::shared_ptr<DriveEjecting> m_ejector;
    std::shared_ptr<DriveRemounting> m_remounter;
    std::shared_ptr<BerthkeepCoreHandling> m_core;
    std::shared_ptr<BerthkeepNotificationManaging> m_notificationManager;
    std::shared_ptr<TransientActionStatusPresenting> m_transientActionStatusPresenter;
    std::shared_ptr<SystemSleepRequesting> m_systemSleepRequester;
    std::shared_ptr<FullMonitoringPromptPresenting> m_fullMonitoringPromptPresenter;
    std::shared_ptr<BerthkeepTelemetryController> m_telemetryController;
    BerthkeepLogger m_logger;
    std::shared_ptr<UserDefaults> m_defaults;
    Platform m_platform;
    bool m_observeWorkspace;
    Timing m_timing;

    // Collaborators the store makes.
    BerthkeepStoreStateBuilder m_stateBuilder;
    std::unique_ptr<InventoryRefreshCoordinator> m_inventoryRefreshCoordinator;
    std::unique_ptr<UsagePollingCoordinator> m_usagePollingCoordinator;
    std::shared_ptr<FullMonitoringStoreIntegration> m_fullMonitoringIntegration;
    std::unique_ptr<BerthkeepActionCoordinator> m_actionCoordinator;
    std::unique_ptr<AppPreferencesStore> m_preferences;
    std::unique_ptr<FullMonitoringCoordinator> m_fullMonitoringCoordinator;

    // Published.
    MenubarViewState m_currentState = initialState();
    std::vector<DetectedDrive> m_detectedDrives;
    std::optional<TriggerReason> m_lastObservedTrigger;
    BerthkeepNotificationAuthorizationStatus m_notificationsAuthorizationStatus =
        BerthkeepNotificationAuthorizationStatus::notDetermined;

    // Working state.
    std::map<std::string, DriveUsageSnapshot> m_driveUsageSnapshotsByDriveID;
    // How many mounts run for each drive.
    std::map<std::string, int> m_mountsInFlight;
    // Queued drives a finished wake remount left to another mount still running:
    // looked at again when that mount ends.
    std::set<std::string> m_drivesLeftToAnotherMount;
    EjectAttemptState m_ejectAttempt;
    std::optional<LastActionSummary> m_lastActionSummary;
    std::optional<PendingSleepFailureNotification> m_pendingSleepFailureNotification;
    // The last report number taken, and the numbers of the work whose report
    // each field holds now.
    struct ReportNumbers {
        std::uint64_t taken = 0;
        std::uint64_t lastAction = 0;
        std::uint64_t sleepFailureNotice = 0;
    };
    ReportNumbers m_reports;
    std::unique_ptr<BerthkeepSleepWakeCoordinator> m_sleepWake;
    std::vector<WorkspaceNotificationCenter::ObserverToken> m_workspaceObservers;
    // Present while a delayed sleep-failure delivery waits.
    std::shared_ptr<CancelToken> m_sleepFailureNotificationDeliveryTask;
    std::uint64_t m_latestInventoryRefreshRequestID = 0;
    std::optional<ActiveInventoryRefresh> m_activeInventoryRefresh;
    std::optional<InventoryTelemetrySignature> m_lastInventoryTelemetrySignature;
    std::uint64_t m_latestUsageRefreshRequestID = 0;
    // Present while a probe runs; settled when it ends.
    std::optional<Completion<void>> m_runningUsageProbe;
    bool m_pendingDriveUsageRefresh = false;
    bool m_hasCompletedInitialAsyncUsageRefresh = false;
};

} // namespace berthkeep

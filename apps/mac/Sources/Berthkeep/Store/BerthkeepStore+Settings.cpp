#include "Berthkeep/Store/BerthkeepStore.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"

namespace berthkeep {

namespace {

// Holds the controller, not the store: the opt-in and opt-out events go out
// even when the store is gone.
QCoro::Task<void> recordConsentChange(std::shared_ptr<BerthkeepTelemetryController> telemetry,
                                      bool enabled) {
    BerthkeepTelemetryPayload empty;
    if (enabled) {
        co_await telemetry->recordAnonymousImprovement("telemetry_opt_in_enabled",
                                                       std::move(empty));
    } else {
        co_await telemetry->recordFinalAnonymousImprovementBeforeOptOut("telemetry_opt_in_disabled",
                                                                        std::move(empty));
    }
    co_await telemetry->flushIfNeeded();
}

QCoro::Task<void> refreshUsage(QPointer<BerthkeepStore> store) {
    if (store) {
        co_await store->refreshDriveUsageNow();
    }
}

} // namespace

QCoro::Task<void> BerthkeepStore::announceNotificationsToggle(QPointer<BerthkeepStore> store,
                                                              bool enabled) {
    if (!store) {
        co_return;
    }
    const auto telemetry = store->telemetryController();
    BerthkeepTelemetryPayload payload{{"enabled", BerthkeepStore::telemetryText(enabled)}};
    co_await telemetry->recordAnonymousImprovement("notification_setting_toggled",
                                                   std::move(payload));
    if (enabled && store) {
        co_await store->requestNotificationAuthorizationWithTelemetryIfNeeded();
    }
}

void BerthkeepStore::setNotificationsEnabledByUser(bool enabled) {
    if (enabled == notificationsEnabled()) {
        return;
    }
    m_preferences->setNotificationsEnabled(enabled);
    startMainActorTask([store = QPointer<BerthkeepStore>(this),
                        enabled] { return announceNotificationsToggle(store, enabled); },
                       "notifications toggle");
}

void BerthkeepStore::setAnonymousUsageStatisticsEnabledByUser(bool enabled) {
    if (enabled == anonymousUsageStatisticsEnabled()) {
        return;
    }
    m_preferences->setAnonymousUsageStatisticsEnabled(enabled);
    // Consent changes first either way: the opt-in events need it on, and no
    // ordinary event may slip out after opting out.
    m_telemetryController->updateConsent(BerthkeepTelemetryConsent{enabled});
    if (enabled) {
        recordInventoryTelemetryIfNeeded();
    }
    startMainActorTask([telemetry = m_telemetryController,
                        enabled] { return recordConsentChange(telemetry, enabled); },
                       "usage statistics toggle");
}

void BerthkeepStore::setAdaptiveTargetedAssistEnabledByUser(bool enabled) {
    if (enabled == adaptiveTargetedAssistEnabled()) {
        return;
    }
    m_preferences->setAdaptiveTargetedAssistEnabled(enabled);
    rebuildCurrentState();
    recordAnonymousTelemetry("supplemental_signals_toggled", {{"enabled", telemetryText(enabled)}});
    startMainActorTask([store = QPointer<BerthkeepStore>(this)] { return refreshUsage(store); },
                       "targeted assist toggle");
}

void BerthkeepStore::setLaunchAtLoginEnabled(bool enabled) {
    const bool before = launchAtLoginEnabled();
    // Always assigned: the preference retries the login item and rolls back on failure.
    m_preferences->setLaunchAtLoginEnabled(enabled);
    const bool after = launchAtLoginEnabled();
    if (after != before) {
        recordAnonymousTelemetry("launch_at_login_toggled", {{"enabled", telemetryText(after)}});
    }
}

void BerthkeepStore::setFullMonitoringEnabledByUser(bool enabled) {
    m_fullMonitoringCoordinator->setEnabledByUser(enabled);
}

void BerthkeepStore::perform(const MenubarRemediationAction& action) {
    switch (action.kind) {
    case MenubarRemediationAction::Kind::enableFullMonitoring:
        m_fullMonitoringCoordinator->presentPrompt();
        return;
    case MenubarRemediationAction::Kind::openSystemSettings:
        openSystemSettings();
        return;
    }
}

void BerthkeepStore::openSystemSettings() {
    if (!m_platform.urlOpener || m_platform.urlOpener->openSystemSettings()) {
        return;
    }
    // A click that shows nothing would leave the user guessing.
    const std::string reason = m_platform.urlOpener->failureReason().toStdString();
    m_logger.error(BerthkeepLogCategory::settings, "settings.system_settings.open_failed",
                   "System settings could not be opened", {{"reason", reason}});
    m_transientActionStatusPresenter->present(TransientActionStatus::settingsDidNotOpen(reason));
}

void BerthkeepStore::setExcluded(bool excluded, const DetectedDrive& shown) {
    // A copy: the caller's may be an element of the drive list replaced below.
    const DetectedDrive drive = shown;
    std::set<std::string> excludedIDs = excludedDriveIDs();
    if (excluded) {
        excludedIDs.insert(drive.id());
        // The working set stays: it belongs to the action that filled it, which
        // leaves the drive alone at its next step; emptying it here would let a
        // second eject start while that one runs.
        m_ejectAttempt.forgetAttention(drive.id());
        // Never mounted again behind the user's back, not even after a sleep.
        forgetWakeRemount({drive}, "excluded", takeReportNumber());
    } else {
        excludedIDs.erase(drive.id());
    }
    m_preferences->setExcludedDriveIDs(std::move(excludedIDs));
    m_logger.notice(BerthkeepLogCategory::settings, "settings.drive_exclusion.updated",
                    "Drive automatic management updated",
                    {{"drive_id", drive.id()},
                     {"drive_name", drive.name()},
                     {"excluded", telemetryText(excluded)}});
    applyExcludedScopeLocally(excluded, drive.id());
    // The in-app core answers at once, whatever core is configured.
    SwiftBerthkeepCore inAppCore;
    rebuildCurrentState(inAppCore);
    scheduleInventoryRefresh(InventoryRefreshCoordinator::driveExclusionToggleReason);
}

QCoro::Task<void> BerthkeepStore::requestNotificationAuthorizationWithTelemetryIfNeeded() {
    const QPointer<BerthkeepStore> self(this);
    const auto manager = m_notificationManager;
    const auto telemetry = m_telemetryController;
    const auto status = co_await manager->authorizationStatus();
    if (!self) {
        co_return;
    }
    if (status != BerthkeepNotificationAuthorizationStatus::notDetermined) {
        publishNotificationAuthorizationStatus(status);
        co_return;
    }
    BerthkeepTelemetryPayload shown{{"permission", "notifications"}};
    co_await telemetry->recordAnonymousImprovement("permission_prompt_shown", std::move(shown));
    const auto result = co_await manager->requestAuthorizationIfNeeded();
    if (self) {
        publishNotificationAuthorizationStatus(result);
    }
    BerthkeepTelemetryPayload answered{{"permission", "notifications"},
                                       {"result", telemetryText(result)}};
    co_await telemetry->recordAnonymousImprovement("permission_prompt_result", std::move(answered));
}

void BerthkeepStore::publishNotificationAuthorizationStatus(
    BerthkeepNotificationAuthorizationStatus status) {
    emit objectWillChange();
    m_notificationsAuthorizationStatus = status;
    m_logger.notice(BerthkeepLogCategory::settings, "settings.notifications.authorization.updated",
                    "Notification authorization status refreshed", {{"status", toString(status)}});
}

} // namespace berthkeep

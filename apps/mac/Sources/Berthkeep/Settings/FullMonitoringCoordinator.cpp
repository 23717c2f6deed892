#include "Berthkeep/Settings/FullMonitoringCoordinator.hpp"

#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"

namespace berthkeep {

FullMonitoringCoordinator::FullMonitoringCoordinator(
    AppPreferencesStore& preferences,
    std::shared_ptr<BerthkeepTelemetryController> telemetryController, BerthkeepLogger logger,
    std::shared_ptr<FullMonitoringPromptPresenting> fullMonitoringPromptPresenter,
    std::shared_ptr<FullMonitoringStoreIntegration> integration, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_telemetryController(std::move(telemetryController))
    , m_logger(std::move(logger))
    , m_fullMonitoringPromptPresenter(std::move(fullMonitoringPromptPresenter))
    , m_integration(std::move(integration)) {}

bool FullMonitoringCoordinator::wantsFullMonitoring() const {
    return m_preferences.fullMonitoringPreference() == FullMonitoringPreference::on;
}

bool FullMonitoringCoordinator::isFullMonitoringActive() const {
    if (!wantsFullMonitoring()) {
        return false;
    }
    const auto kind = m_preferences.fullMonitoringCapability().kind();
    return kind == FullMonitoringCapability::Kind::unknown ||
           kind == FullMonitoringCapability::Kind::available;
}

ActivityDetectionMode FullMonitoringCoordinator::effectiveActivityDetectionMode() const {
    return wantsFullMonitoring() ? ActivityDetectionMode::enhanced
                                 : ActivityDetectionMode::coreOnly;
}

FullMonitoringStatus FullMonitoringCoordinator::fullMonitoringStatus() const {
    if (!wantsFullMonitoring()) {
        switch (m_preferences.fullMonitoringOnboardingState()) {
        case FullMonitoringOnboardingState::notDetermined:
            return FullMonitoringStatus::notDetermined;
        case FullMonitoringOnboardingState::deferred:
            return FullMonitoringStatus::deferred;
        case FullMonitoringOnboardingState::acknowledged:
            return FullMonitoringStatus::acknowledged;
        }
        return FullMonitoringStatus::notDetermined;
    }
    switch (m_preferences.fullMonitoringCapability().kind()) {
    case FullMonitoringCapability::Kind::unknown:
        return FullMonitoringStatus::checking;
    case FullMonitoringCapability::Kind::available:
        return FullMonitoringStatus::active;
    case FullMonitoringCapability::Kind::setupRequired:
    case FullMonitoringCapability::Kind::unavailable:
        return FullMonitoringStatus::setupRequired;
    }
    return FullMonitoringStatus::checking;
}

void FullMonitoringCoordinator::setEnabledByUser(bool enabled) {
    if (enabled) {
        presentPrompt();
        return;
    }
    setPreference(FullMonitoringPreference::off, true);
    setCapability(FullMonitoringCapability::unknown());
    if (m_integration) {
        m_integration->applyUsageSnapshots({});
    }
}

void FullMonitoringCoordinator::presentPrompt() {
    if (!m_fullMonitoringPromptPresenter) {
        return;
    }
    const QPointer<FullMonitoringCoordinator> weakSelf(this);
    m_fullMonitoringPromptPresenter->present(
        [weakSelf] {
            if (weakSelf) {
                weakSelf->continueSetup();
            }
        },
        [weakSelf] {
            if (weakSelf) {
                weakSelf->declinePrompt();
            }
        });
}

void FullMonitoringCoordinator::continueSetup() {
    if (m_fullMonitoringPromptPresenter) {
        m_fullMonitoringPromptPresenter->dismiss();
    }
    setOnboardingState(FullMonitoringOnboardingState::acknowledged);
    setCapability(FullMonitoringCapability::unknown());
    setPreference(FullMonitoringPreference::on, true);
}

void FullMonitoringCoordinator::declinePrompt() {
    if (m_fullMonitoringPromptPresenter) {
        m_fullMonitoringPromptPresenter->dismiss();
    }
    if (m_preferences.fullMonitoringOnboardingState() ==
        FullMonitoringOnboardingState::notDetermined) {
        setOnboardingState(FullMonitoringOnboardingState::deferred);
    }
}

void FullMonitoringCoordinator::setCapability(const FullMonitoringCapability& capability) {
    if (capability == m_preferences.fullMonitoringCapability()) {
        return;
    }
    m_preferences.setFullMonitoringCapability(capability);
    if (m_integration) {
        m_integration->manageUsagePolling();
        m_integration->rebuildCurrentState();
    }
}

void FullMonitoringCoordinator::setOnboardingState(FullMonitoringOnboardingState state) {
    if (state == m_preferences.fullMonitoringOnboardingState()) {
        return;
    }
    m_preferences.setFullMonitoringOnboardingState(state);
    m_logger.notice(BerthkeepLogCategory::settings, "settings.full_monitoring.onboarding.updated",
                    "Full Monitoring onboarding state changed", {{"state", toString(state)}});
    if (m_integration) {
        m_integration->rebuildCurrentState();
    }
}

void FullMonitoringCoordinator::setPreference(FullMonitoringPreference preference,
                                              bool recordTelemetry) {
    // Marked before the comparison: asking for the current value is still the
    // user's choice.
    if (recordTelemetry) {
        m_preferences.markFullMonitoringUserOverride();
    }
    if (preference == m_preferences.fullMonitoringPreference()) {
        return;
    }
    m_preferences.setFullMonitoringPreference(preference);
    if (recordTelemetry && m_telemetryController) {
        startMainActorTask(
            [controller = m_telemetryController,
             enabled = preference == FullMonitoringPreference::on] {
                return recordToggle(controller, enabled);
            },
            "full monitoring telemetry");
    }
    if (m_integration) {
        m_integration->manageUsagePolling();
        m_integration->rebuildCurrentState();
        m_integration->scheduleInventoryAndUsageRefresh();
    }
}

QCoro::Task<void>
FullMonitoringCoordinator::recordToggle(std::shared_ptr<BerthkeepTelemetryController> controller,
                                        bool enabled) {
    const BerthkeepTelemetryPayload payload{{"enabled", enabled ? "true" : "false"}};
    co_await controller->recordAnonymousImprovement("full_monitoring_toggled", payload);
    co_await controller->recordAnonymousImprovement("activity_detection_toggled", payload);
}

std::string
FullMonitoringCoordinator::telemetryDescription(const FullMonitoringCapability& capability) {
    switch (capability.kind()) {
    case FullMonitoringCapability::Kind::unknown:
        return "unknown";
    case FullMonitoringCapability::Kind::available:
        return "available";
    case FullMonitoringCapability::Kind::setupRequired:
        return "setup_required";
    case FullMonitoringCapability::Kind::unavailable:
        return "unavailable:" + capability.message().value_or("");
    }
    return "unknown";
}

} // namespace berthkeep

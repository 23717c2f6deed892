#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

#include <QCoroTask>

#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "Berthkeep/Domain/FullMonitoringCapability.hpp"
#include "Berthkeep/Domain/FullMonitoringOnboardingState.hpp"
#include "Berthkeep/Domain/FullMonitoringPreference.hpp"
#include "Berthkeep/Domain/FullMonitoringStatus.hpp"
#include "Berthkeep/Settings/AppPreferencesStore.hpp"
#include "Berthkeep/Settings/FullMonitoringPromptPresenting.hpp"
#include "Berthkeep/Settings/FullMonitoringStoreIntegration.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"

namespace berthkeep {

class BerthkeepTelemetryController;

// The Full Monitoring flow: what the preferences say about wanting it, the mode
// and status that follow, the settings switch and the enable prompt. It keeps no
// state of its own; every change goes through the three setters, which store it
// in the preferences, log it, record telemetry and tell the store. Main thread
// only.
class FullMonitoringCoordinator final : public QObject {
public:
    // preferences and integration must outlive the coordinator (the store owns
    // all three). telemetryController may be null: nothing is recorded then.
    FullMonitoringCoordinator(
        AppPreferencesStore& preferences,
        std::shared_ptr<BerthkeepTelemetryController> telemetryController, BerthkeepLogger logger,
        std::shared_ptr<FullMonitoringPromptPresenting> fullMonitoringPromptPresenter,
        std::shared_ptr<FullMonitoringStoreIntegration> integration, QObject* parent = nullptr);

    bool wantsFullMonitoring() const;
    // Wanted, and the last probe did not say setup is needed or impossible.
    bool isFullMonitoringActive() const;
    ActivityDetectionMode effectiveActivityDetectionMode() const;
    FullMonitoringStatus fullMonitoringStatus() const;

    // The settings switch: on opens the prompt (nothing changes until it is
    // answered); off turns Full Monitoring off and clears the usage evidence.
    void setEnabledByUser(bool enabled);
    void presentPrompt();
    // "Continue": dismiss, acknowledged, capability unknown, preference on.
    void continueSetup();
    // "Not Now": dismiss; a first answer defers.
    void declinePrompt();

    // Each does nothing for an equal value (setPreference still marks the user's
    // override first).
    void setCapability(const FullMonitoringCapability& capability);
    void setOnboardingState(FullMonitoringOnboardingState state);
    void setPreference(FullMonitoringPreference preference, bool recordTelemetry = true);

    // The capability for log metadata: "unknown", "available", "setup_required",
    // or "unavailable:" and the message ("" when absent).
    static std::string telemetryDescription(const FullMonitoringCapability& capability);

    const std::shared_ptr<FullMonitoringStoreIntegration>& integration() const {
        return m_integration;
    }

private:
    static QCoro::Task<void> recordToggle(std::shared_ptr<BerthkeepTelemetryController> controller,
                                          bool enabled);

    AppPreferencesStore& m_preferences;
    std::shared_ptr<BerthkeepTelemetryController> m_telemetryController;
    BerthkeepLogger m_logger;
    std::shared_ptr<FullMonitoringPromptPresenting> m_fullMonitoringPromptPresenter;
    std::shared_ptr<FullMonitoringStoreIntegration> m_integration;
};

} // namespace berthkeep

#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "Berthkeep/Domain/FullMonitoringCapability.hpp"
#include "Berthkeep/Domain/FullMonitoringOnboardingState.hpp"
#include "Berthkeep/Domain/FullMonitoringPreference.hpp"
#include "Berthkeep/Shell/LaunchAtLoginManager.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "platform/Defaults/UserDefaults.hpp"

namespace berthkeep {

// The user's choices, kept in the user defaults and published to the views.
// Main thread only.
//
// Reading at creation writes nothing (migrated values reach the defaults only
// when next assigned). Every setter except setAnonymousUsageStatisticsEnabled
// runs its change handler on every call, an equal value included: it writes the
// value at once and logs the change. Callers that must not repeat the side
// effects compare first.
//
// Signals: objectWillChange() before any published value is assigned, then the
// property's own *Changed signal once the value is in place (before its handler
// runs). The store forwards these as its own.
class AppPreferencesStore : public QObject {
    Q_OBJECT

public:
    struct Keys {
        static constexpr const char* launchAtLoginEnabled = "berthkeep.launchAtLoginEnabled";
        static constexpr const char* notificationsEnabled = "berthkeep.notificationsEnabled";
        static constexpr const char* fullMonitoringPreference =
            "berthkeep.fullMonitoringPreference";
        static constexpr const char* fullMonitoringOnboardingState =
            "berthkeep.fullMonitoringOnboardingState";
        static constexpr const char* fullMonitoringCapability =
            "berthkeep.fullMonitoringCapability";
        static constexpr const char* adaptiveTargetedAssistEnabled =
            "berthkeep.adaptiveTargetedAssistEnabled";
        static constexpr const char* anonymousUsageStatisticsEnabled =
            "berthkeep.anonymousUsageStatisticsEnabled";
        static constexpr const char* excludedDriveIDs = "berthkeep.excludedDriveIDs";
        static constexpr const char* fullMonitoringUserOverride =
            "berthkeep.fullMonitoringUserOverride";
        // Settings of older versions, read only by the migration.
        static constexpr const char* activityDetectionMode = "berthkeep.activityDetectionMode";
        static constexpr const char* fullMonitoringConsentState =
            "berthkeep.fullMonitoringConsentState";
    };

    struct FullMonitoringState {
        FullMonitoringPreference preference = FullMonitoringPreference::on;
        FullMonitoringOnboardingState onboardingState = FullMonitoringOnboardingState::acknowledged;
        FullMonitoringCapability capability = FullMonitoringCapability::unknown();

        bool operator==(const FullMonitoringState&) const = default;
    };

    // launchAtLoginManager: over the login-item service the caller chose; not
    // null (std::invalid_argument).
    AppPreferencesStore(std::shared_ptr<UserDefaults> defaults, BerthkeepLogger logger,
                        std::shared_ptr<LaunchAtLoginManager> launchAtLoginManager,
                        QObject* parent = nullptr);

    bool launchAtLoginEnabled() const { return m_launchAtLoginEnabled; }
    bool notificationsEnabled() const { return m_notificationsEnabled; }
    FullMonitoringPreference fullMonitoringPreference() const {
        return m_fullMonitoring.preference;
    }
    FullMonitoringOnboardingState fullMonitoringOnboardingState() const {
        return m_fullMonitoring.onboardingState;
    }
    const FullMonitoringCapability& fullMonitoringCapability() const {
        return m_fullMonitoring.capability;
    }
    bool adaptiveTargetedAssistEnabled() const { return m_adaptiveTargetedAssistEnabled; }
    bool anonymousUsageStatisticsEnabled() const { return m_anonymousUsageStatisticsEnabled; }
    const std::set<std::string>& excludedDriveIDs() const { return m_excludedDriveIDs; }

    // Registers or unregisters the login item first; on failure the previous
    // value is restored (once) and the failure logged.
    void setLaunchAtLoginEnabled(bool enabled);
    void setNotificationsEnabled(bool enabled);
    void setFullMonitoringPreference(FullMonitoringPreference preference);
    void setFullMonitoringOnboardingState(FullMonitoringOnboardingState state);
    void setFullMonitoringCapability(FullMonitoringCapability capability);
    void setAdaptiveTargetedAssistEnabled(bool enabled);
    void setExcludedDriveIDs(std::set<std::string> driveIDs);
    // The persisting path of the usage-statistics consent: nothing happens when
    // the value is unchanged; no log.
    void setAnonymousUsageStatisticsEnabled(bool enabled);

    // Brings the login item in line with the preference, once per launch; never
    // writes or rolls back the preference.
    void performInitialLaunchAtLoginSync();
    // Makes a stored Full Monitoring "off" stick across the migration.
    void markFullMonitoringUserOverride();

    LaunchAtLoginManager& launchAtLoginManager() { return *m_launchAtLoginManager; }
    const LaunchAtLoginManager& launchAtLoginManager() const { return *m_launchAtLoginManager; }
    const std::shared_ptr<UserDefaults>& defaults() const { return m_defaults; }

    // The string under "berthkeep.activityDetectionMode", or "".
    static std::string persistedActivityDetectionModeRawValue(const UserDefaults& defaults);
    // The Full Monitoring triple read with the migration of older settings.
    static FullMonitoringState resolvePersistedFullMonitoringState(const UserDefaults& defaults);
    // The onboarding state of an older stored consent string.
    static FullMonitoringOnboardingState
    decodeLegacyFullMonitoringConsentState(const std::optional<std::string>& stored);

signals:
    void objectWillChange();
    void launchAtLoginEnabledChanged(bool enabled);
    void notificationsEnabledChanged(bool enabled);
    void fullMonitoringPreferenceChanged(berthkeep::FullMonitoringPreference preference);
    void fullMonitoringOnboardingStateChanged(berthkeep::FullMonitoringOnboardingState state);
    void fullMonitoringCapabilityChanged();
    void adaptiveTargetedAssistEnabledChanged(bool enabled);
    void anonymousUsageStatisticsEnabledChanged(bool enabled);
    void excludedDriveIDsChanged();

private:
    // Both return true when the login item took the value.
    bool assignLaunchAtLogin(bool enabled);
    bool syncLaunchAtLogin(bool enabled, bool previous);
    static std::string text(bool value) { return value ? "true" : "false"; }

    std::shared_ptr<UserDefaults> m_defaults;
    BerthkeepLogger m_logger;
    std::shared_ptr<LaunchAtLoginManager> m_launchAtLoginManager;

    bool m_launchAtLoginEnabled = false;
    bool m_notificationsEnabled = true;
    FullMonitoringState m_fullMonitoring;
    bool m_adaptiveTargetedAssistEnabled = true;
    bool m_anonymousUsageStatisticsEnabled = false;
    std::set<std::string> m_excludedDriveIDs;

    // Set while the previous launch-at-login value is being restored, so that a
    // failing restore does not start another one.
    bool m_restoringLaunchAtLogin = false;
};

} // namespace berthkeep

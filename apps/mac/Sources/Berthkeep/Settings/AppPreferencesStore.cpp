#include "Berthkeep/Settings/AppPreferencesStore.hpp"

#include <stdexcept>
#include <vector>

#include "BerthkeepShared/BerthkeepPreferencesDefaultsKey.hpp"

namespace berthkeep {

static_assert(std::string_view(AppPreferencesStore::Keys::adaptiveTargetedAssistEnabled) ==
              std::string_view(BerthkeepPreferencesDefaultsKey::adaptiveTargetedAssistEnabled));

namespace {

// A Boolean, or a number that is exactly 0 or 1; anything else is unreadable.
std::optional<bool> storedBool(const UserDefaults& defaults, const std::string& key) {
    const auto value = defaults.object(key);
    if (!value) {
        return std::nullopt;
    }
    if (const auto boolean = value->boolean()) {
        return *boolean;
    }
    if (const auto integer = value->integer(); integer && (*integer == 0 || *integer == 1)) {
        return *integer == 1;
    }
    if (const auto real = value->real(); real && (*real == 0.0 || *real == 1.0)) {
        return *real == 1.0;
    }
    return std::nullopt;
}

std::optional<std::string> storedString(const UserDefaults& defaults, const std::string& key) {
    const auto value = defaults.object(key);
    if (!value || value->string() == nullptr) {
        return std::nullopt;
    }
    return *value->string();
}

} // namespace

AppPreferencesStore::AppPreferencesStore(std::shared_ptr<UserDefaults> defaults,
                                         BerthkeepLogger logger,
                                         std::shared_ptr<LaunchAtLoginManager> launchAtLoginManager,
                                         QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
    , m_logger(std::move(logger))
    , m_launchAtLoginManager(std::move(launchAtLoginManager)) {
    if (!m_launchAtLoginManager) {
        throw std::invalid_argument("AppPreferencesStore: no launch-at-login manager");
    }
    const auto& defaultsRef = *m_defaults;
    if (const auto value = defaultsRef.object(Keys::excludedDriveIDs)) {
        if (const auto identifiers = value->stringArrayValue()) {
            m_excludedDriveIDs = std::set<std::string>(identifiers->begin(), identifiers->end());
        }
    }
    m_notificationsEnabled = storedBool(defaultsRef, Keys::notificationsEnabled).value_or(true);
    m_fullMonitoring = resolvePersistedFullMonitoringState(defaultsRef);
    m_adaptiveTargetedAssistEnabled =
        storedBool(defaultsRef, Keys::adaptiveTargetedAssistEnabled).value_or(true);
    m_anonymousUsageStatisticsEnabled =
        storedBool(defaultsRef, Keys::anonymousUsageStatisticsEnabled).value_or(false);
    m_launchAtLoginEnabled = storedBool(defaultsRef, Keys::launchAtLoginEnabled).value_or(false);
}

void AppPreferencesStore::setLaunchAtLoginEnabled(bool enabled) {
    assignLaunchAtLogin(enabled);
}

bool AppPreferencesStore::assignLaunchAtLogin(bool enabled) {
    const bool previous = m_launchAtLoginEnabled;
    emit objectWillChange();
    m_launchAtLoginEnabled = enabled;
    emit launchAtLoginEnabledChanged(enabled);
    return syncLaunchAtLogin(enabled, previous);
}

bool AppPreferencesStore::syncLaunchAtLogin(bool enabled, bool previous) {
    std::string failure;
    try {
        if (enabled) {
            m_launchAtLoginManager->enable();
        } else {
            m_launchAtLoginManager->disable();
        }
    } catch (const std::exception& error) {
        failure = error.what();
        if (failure.empty()) {
            failure = "unknown error";
        }
    }
    if (failure.empty()) {
        m_defaults->setBool(Keys::launchAtLoginEnabled, enabled);
        m_logger.notice(BerthkeepLogCategory::settings, "settings.launch_at_login.updated",
                        "Launch at Login preference changed", {{"enabled", text(enabled)}});
        return true;
    }
    if (m_restoringLaunchAtLogin) {
        // The restore itself failed: stop here rather than flip back and forth.
        // The property keeps the restored value and nothing is written.
        m_logger.error(BerthkeepLogCategory::settings, "settings.launch_at_login.restore.failed",
                       "Failed to restore previous launch at login state",
                       {{"error", failure}, {"attempted_value", text(enabled)}});
        return false;
    }
    m_restoringLaunchAtLogin = true;
    bool restored = false;
    try {
        restored = assignLaunchAtLogin(previous);
    } catch (...) {
        m_restoringLaunchAtLogin = false;
        throw;
    }
    m_restoringLaunchAtLogin = false;
    if (restored) {
        m_logger.error(BerthkeepLogCategory::settings, "settings.launch_at_login.sync.failed",
                       "Failed to sync launch at login state, rolled back to previous value",
                       {{"error", failure},
                        {"attempted_value", text(enabled)},
                        {"rolled_back_to", text(previous)}});
    } else {
        // The login item may now match neither value; say so rather than claim a
        // roll-back.
        m_logger.error(BerthkeepLogCategory::settings, "settings.launch_at_login.sync.failed",
                       "Failed to sync launch at login state, and the previous value could not "
                       "be restored",
                       {{"error", failure},
                        {"attempted_value", text(enabled)},
                        {"restore_failed_for", text(previous)}});
    }
    return false;
}

void AppPreferencesStore::setNotificationsEnabled(bool enabled) {
    emit objectWillChange();
    m_notificationsEnabled = enabled;
    emit notificationsEnabledChanged(enabled);
    m_defaults->setBool(Keys::notificationsEnabled, enabled);
    m_logger.notice(BerthkeepLogCategory::settings, "settings.notifications.updated",
                    "Notifications preference changed", {{"enabled", text(enabled)}});
}

void AppPreferencesStore::setFullMonitoringPreference(FullMonitoringPreference preference) {
    emit objectWillChange();
    m_fullMonitoring.preference = preference;
    emit fullMonitoringPreferenceChanged(preference);
    m_defaults->setString(Keys::fullMonitoringPreference, toString(preference));
    m_logger.notice(BerthkeepLogCategory::settings, "settings.full_monitoring.preference.updated",
                    "Full Monitoring preference changed", {{"preference", toString(preference)}});
}

void AppPreferencesStore::setFullMonitoringOnboardingState(FullMonitoringOnboardingState state) {
    emit objectWillChange();
    m_fullMonitoring.onboardingState = state;
    emit fullMonitoringOnboardingStateChanged(state);
    m_defaults->setString(Keys::fullMonitoringOnboardingState, toString(state));
}

void AppPreferencesStore::setFullMonitoringCapability(FullMonitoringCapability capability) {
    emit objectWillChange();
    m_fullMonitoring.capability = std::move(capability);
    emit fullMonitoringCapabilityChanged();
    m_defaults->setString(Keys::fullMonitoringCapability,
                          m_fullMonitoring.capability.storedString());
}

void AppPreferencesStore::setAdaptiveTargetedAssistEnabled(bool enabled) {
    emit objectWillChange();
    m_adaptiveTargetedAssistEnabled = enabled;
    emit adaptiveTargetedAssistEnabledChanged(enabled);
    m_defaults->setBool(Keys::adaptiveTargetedAssistEnabled, enabled);
    m_logger.notice(BerthkeepLogCategory::settings, "settings.adaptive_targeted_assist.updated",
                    "Adaptive targeted assist preference changed", {{"enabled", text(enabled)}});
}

void AppPreferencesStore::setExcludedDriveIDs(std::set<std::string> driveIDs) {
    emit objectWillChange();
    m_excludedDriveIDs = std::move(driveIDs);
    emit excludedDriveIDsChanged();
    // std::set orders by bytes, which for UTF-8 is the order of Unicode scalar values.
    const std::vector<std::string> sorted(m_excludedDriveIDs.begin(), m_excludedDriveIDs.end());
    m_defaults->setStringArray(Keys::excludedDriveIDs, sorted);
}

void AppPreferencesStore::setAnonymousUsageStatisticsEnabled(bool enabled) {
    if (enabled == m_anonymousUsageStatisticsEnabled) {
        return;
    }
    emit objectWillChange();
    m_anonymousUsageStatisticsEnabled = enabled;
    emit anonymousUsageStatisticsEnabledChanged(enabled);
    m_defaults->setBool(Keys::anonymousUsageStatisticsEnabled, enabled);
}

void AppPreferencesStore::performInitialLaunchAtLoginSync() {
    if (const auto reason = m_launchAtLoginManager->unavailableReason()) {
        m_logger.notice(
            BerthkeepLogCategory::settings, "launch_at_login.initial_sync.skipped",
            "Skipped initial launch at login sync in unsupported runtime",
            {{"enabled_preference", text(m_launchAtLoginEnabled)}, {"reason", *reason}});
        return;
    }
    try {
        if (m_launchAtLoginEnabled) {
            m_launchAtLoginManager->enable();
        } else {
            m_launchAtLoginManager->disable();
        }
    } catch (const std::exception& error) {
        m_logger.error(BerthkeepLogCategory::settings, "launch_at_login.initial_sync.failed",
                       "Failed to sync initial launch at login state", {{"error", error.what()}});
    }
}

void AppPreferencesStore::markFullMonitoringUserOverride() {
    m_defaults->setBool(Keys::fullMonitoringUserOverride, true);
}

std::string
AppPreferencesStore::persistedActivityDetectionModeRawValue(const UserDefaults& defaults) {
    return storedString(defaults, Keys::activityDetectionMode).value_or(std::string());
}

FullMonitoringOnboardingState AppPreferencesStore::decodeLegacyFullMonitoringConsentState(
    const std::optional<std::string>& stored) {
    if (!stored) {
        return FullMonitoringOnboardingState::notDetermined;
    }
    if (const auto state = fullMonitoringOnboardingStateFromString(*stored)) {
        return *state;
    }
    if (*stored == "declined") {
        return FullMonitoringOnboardingState::deferred;
    }
    if (*stored == "enabled") {
        return FullMonitoringOnboardingState::acknowledged;
    }
    return FullMonitoringOnboardingState::notDetermined;
}

AppPreferencesStore::FullMonitoringState
AppPreferencesStore::resolvePersistedFullMonitoringState(const UserDefaults& defaults) {
    const auto storedPreference = storedString(defaults, Keys::fullMonitoringPreference);
    const auto preference =
        storedPreference ? fullMonitoringPreferenceFromString(*storedPreference) : std::nullopt;
    if (preference) {
        const auto onboarding = decodeLegacyFullMonitoringConsentState(
            storedString(defaults, Keys::fullMonitoringOnboardingState));
        const auto storedCapability = storedString(defaults, Keys::fullMonitoringCapability);
        const auto capability =
            (storedCapability ? FullMonitoringCapability::fromStoredString(*storedCapability)
                              : std::nullopt)
                .value_or(FullMonitoringCapability::unknown());
        // Only a stored Boolean counts: the override is always written as one.
        const auto storedOverride = defaults.object(Keys::fullMonitoringUserOverride);
        const bool userOverride = storedOverride && storedOverride->boolean().value_or(false);
        if (*preference == FullMonitoringPreference::off && !userOverride) {
            // An "off" the user never chose came from an older default: turn it on.
            return {FullMonitoringPreference::on, FullMonitoringOnboardingState::acknowledged,
                    FullMonitoringCapability::unknown()};
        }
        return {*preference, onboarding, capability};
    }

    const bool hasMode = defaults.object(Keys::activityDetectionMode).has_value();
    const bool hasConsent = defaults.object(Keys::fullMonitoringConsentState).has_value();
    if (!hasMode && !hasConsent) {
        return {FullMonitoringPreference::on, FullMonitoringOnboardingState::acknowledged,
                FullMonitoringCapability::unknown()};
    }
    const auto mode = storedString(defaults, Keys::activityDetectionMode);
    const bool enhancedMode = mode && (*mode == "standard" || *mode == "enhanced");
    const auto consent = storedString(defaults, Keys::fullMonitoringConsentState);
    const bool on = enhancedMode && consent && *consent == "enabled";
    return {on ? FullMonitoringPreference::on : FullMonitoringPreference::off,
            decodeLegacyFullMonitoringConsentState(consent), FullMonitoringCapability::unknown()};
}

} // namespace berthkeep

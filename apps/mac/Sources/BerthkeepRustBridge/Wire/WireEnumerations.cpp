#include "BerthkeepRustBridge/Wire/WireEnumerations.hpp"

#include <array>
#include <utility>

namespace berthkeep {

namespace {

template <typename Enum, std::size_t N>
using RawValues = std::array<std::pair<Enum, std::string_view>, N>;

constexpr RawValues<WireDriveScope, 2> kDriveScopes{{
    {WireDriveScope::managed, "managed"},
    {WireDriveScope::excluded, "excluded"},
}};

constexpr RawValues<WireAttentionReasonCode, 5> kAttentionReasonCodes{{
    {WireAttentionReasonCode::openFileUsage, "OPEN_FILE_USAGE"},
    {WireAttentionReasonCode::cwdUsage, "CWD_USAGE"},
    {WireAttentionReasonCode::statfsActivity, "STATFS_ACTIVITY"},
    {WireAttentionReasonCode::fseventsActivity, "FSEVENTS_ACTIVITY"},
    {WireAttentionReasonCode::viewerAssistActivity, "VIEWER_ASSIST_ACTIVITY"},
}};

constexpr RawValues<WireTriggerReason, 5> kTriggerReasons{{
    {WireTriggerReason::systemSleep, "system_sleep"},
    {WireTriggerReason::lidCloseSleep, "lid_close_sleep"},
    {WireTriggerReason::manualEjectAndSleep, "manual_eject_and_sleep"},
    {WireTriggerReason::manualEjectAll, "manual_eject_all"},
    {WireTriggerReason::manualRetry, "manual_retry"},
}};

constexpr RawValues<WireDriveStatus, 6> kDriveStatuses{{
    {WireDriveStatus::connected, "connected"},
    {WireDriveStatus::safe, "safe"},
    {WireDriveStatus::busy, "busy"},
    {WireDriveStatus::ejecting, "ejecting"},
    {WireDriveStatus::notMounted, "not_mounted"},
    {WireDriveStatus::excluded, "excluded"},
}};

constexpr RawValues<WireGlobalSafetyStateKind, 7> kGlobalSafetyStateKinds{{
    {WireGlobalSafetyStateKind::noManagedDrives, "no_managed_drives"},
    {WireGlobalSafetyStateKind::limitedProtection, "limited_protection"},
    {WireGlobalSafetyStateKind::fullMonitoringUnavailable, "full_monitoring_unavailable"},
    {WireGlobalSafetyStateKind::fullMonitoringVerifying, "full_monitoring_verifying"},
    {WireGlobalSafetyStateKind::safe, "safe"},
    {WireGlobalSafetyStateKind::attention, "attention"},
    {WireGlobalSafetyStateKind::working, "working"},
}};

constexpr RawValues<WirePrimaryActionKind, 2> kPrimaryActionKinds{{
    {WirePrimaryActionKind::ejectAndSleep, "eject_and_sleep"},
    {WirePrimaryActionKind::retryEject, "retry_eject"},
}};

constexpr RawValues<WireLastActionResultKind, 4> kLastActionResultKinds{{
    {WireLastActionResultKind::ejected, "ejected"},
    {WireLastActionResultKind::partialSuccess, "partial_success"},
    {WireLastActionResultKind::stillBusy, "still_busy"},
    {WireLastActionResultKind::noneFound, "none_found"},
}};

constexpr RawValues<WireActionDisposition, 2> kActionDispositions{{
    {WireActionDisposition::execute, "execute"},
    {WireActionDisposition::noTargets, "no_targets"},
}};

template <typename Enum, std::size_t N>
std::string rawValue(const RawValues<Enum, N>& table, Enum value) {
    for (const auto& [candidate, text] : table) {
        if (candidate == value) {
            return std::string(text);
        }
    }
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> fromRawValue(const RawValues<Enum, N>& table, std::string_view text) {
    for (const auto& [value, candidate] : table) {
        if (candidate == text) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace

std::string toString(WireDriveScope value) {
    return rawValue(kDriveScopes, value);
}
std::string toString(WireAttentionReasonCode value) {
    return rawValue(kAttentionReasonCodes, value);
}
std::string toString(WireTriggerReason value) {
    return rawValue(kTriggerReasons, value);
}
std::string toString(WireDriveStatus value) {
    return rawValue(kDriveStatuses, value);
}
std::string toString(WireGlobalSafetyStateKind value) {
    return rawValue(kGlobalSafetyStateKinds, value);
}
std::string toString(WirePrimaryActionKind value) {
    return rawValue(kPrimaryActionKinds, value);
}
std::string toString(WireLastActionResultKind value) {
    return rawValue(kLastActionResultKinds, value);
}
std::string toString(WireActionDisposition value) {
    return rawValue(kActionDispositions, value);
}

std::optional<WireDriveScope> wireDriveScopeFromString(std::string_view text) {
    return fromRawValue(kDriveScopes, text);
}
std::optional<WireAttentionReasonCode> wireAttentionReasonCodeFromString(std::string_view text) {
    return fromRawValue(kAttentionReasonCodes, text);
}
std::optional<WireTriggerReason> wireTriggerReasonFromString(std::string_view text) {
    return fromRawValue(kTriggerReasons, text);
}
std::optional<WireDriveStatus> wireDriveStatusFromString(std::string_view text) {
    return fromRawValue(kDriveStatuses, text);
}
std::optional<WireGlobalSafetyStateKind>
wireGlobalSafetyStateKindFromString(std::string_view text) {
    return fromRawValue(kGlobalSafetyStateKinds, text);
}
std::optional<WirePrimaryActionKind> wirePrimaryActionKindFromString(std::string_view text) {
    return fromRawValue(kPrimaryActionKinds, text);
}
std::optional<WireLastActionResultKind> wireLastActionResultKindFromString(std::string_view text) {
    return fromRawValue(kLastActionResultKinds, text);
}
std::optional<WireActionDisposition> wireActionDispositionFromString(std::string_view text) {
    return fromRawValue(kActionDispositions, text);
}

} // namespace berthkeep

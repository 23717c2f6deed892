#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// The enumerations of the core JSON wire format. Each travels as its raw value;
// reading a raw value back is exact and case-sensitive. Plain enum classes, so
// std::hash makes them usable as hash keys.

enum class WireDriveScope {
    managed,
    excluded,
};

enum class WireAttentionReasonCode {
    openFileUsage,
    cwdUsage,
    statfsActivity,
    fseventsActivity,
    viewerAssistActivity,
};

enum class WireTriggerReason {
    systemSleep,
    lidCloseSleep,
    manualEjectAndSleep,
    manualEjectAll,
    manualRetry,
};

// No mounting case: a drive that is mounting never travels.
enum class WireDriveStatus {
    connected,
    safe,
    busy,
    ejecting,
    notMounted,
    excluded,
};

enum class WireGlobalSafetyStateKind {
    noManagedDrives,
    limitedProtection,
    fullMonitoringUnavailable,
    fullMonitoringVerifying,
    safe,
    attention,
    working,
};

enum class WirePrimaryActionKind {
    ejectAndSleep,
    retryEject,
};

enum class WireLastActionResultKind {
    ejected,
    partialSuccess,
    stillBusy,
    noneFound,
};

enum class WireActionDisposition {
    execute,
    noTargets,
};

// Raw values ("managed", "OPEN_FILE_USAGE", "system_sleep", "not_mounted", ...).
std::string toString(WireDriveScope value);
std::string toString(WireAttentionReasonCode value);
std::string toString(WireTriggerReason value);
std::string toString(WireDriveStatus value);
std::string toString(WireGlobalSafetyStateKind value);
std::string toString(WirePrimaryActionKind value);
std::string toString(WireLastActionResultKind value);
std::string toString(WireActionDisposition value);

std::optional<WireDriveScope> wireDriveScopeFromString(std::string_view text);
std::optional<WireAttentionReasonCode> wireAttentionReasonCodeFromString(std::string_view text);
std::optional<WireTriggerReason> wireTriggerReasonFromString(std::string_view text);
std::optional<WireDriveStatus> wireDriveStatusFromString(std::string_view text);
std::optional<WireGlobalSafetyStateKind> wireGlobalSafetyStateKindFromString(std::string_view text);
std::optional<WirePrimaryActionKind> wirePrimaryActionKindFromString(std::string_view text);
std::optional<WireLastActionResultKind> wireLastActionResultKindFromString(std::string_view text);
std::optional<WireActionDisposition> wireActionDispositionFromString(std::string_view text);

} // namespace berthkeep

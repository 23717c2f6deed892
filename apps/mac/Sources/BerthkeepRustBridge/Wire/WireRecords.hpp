#pragma once

#include "BerthkeepRustBridge/Wire/WireEnumerations.hpp"

#include "Berthkeep/Domain/BerthkeepActionPlan.hpp"
#include "Berthkeep/Domain/BerthkeepActionPlanningInput.hpp"
#include "Berthkeep/Domain/BerthkeepActionSummaryInput.hpp"
#include "Berthkeep/Domain/BerthkeepActionSummaryOutput.hpp"
#include "Berthkeep/Domain/BerthkeepAttentionReasonCode.hpp"
#include "Berthkeep/Domain/BerthkeepCoreDriveScope.hpp"
#include "Berthkeep/Domain/BerthkeepStateEvaluationInput.hpp"
#include "Berthkeep/Domain/BerthkeepStateEvaluationOutput.hpp"
#include "Berthkeep/Domain/DriveStatus.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"
#include "Berthkeep/Domain/GlobalSafetyState.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"
#include "Berthkeep/Domain/PrimaryAction.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// The records of the core JSON wire format: one request and one response body per
// decision. Plain values compared field by field. The program builds requests with
// fromDomain() and reads responses with domainValue(); the core library goes the other
// way round. Every conversion is pure; only those noted may throw.

struct WireDrive {
    std::string id;
    std::string name;
    WireDriveScope scope = WireDriveScope::managed;
    bool isMounted = false;
    DriveUsageSnapshot usageSnapshot;

    static WireDrive fromDomain(const BerthkeepCoreDrive& drive);
    BerthkeepCoreDrive domainValue() const;

    bool operator==(const WireDrive&) const = default;
};

struct WireEvaluatedDrive {
    std::string id;
    std::string name;
    WireDriveStatus status = WireDriveStatus::safe;
    std::vector<WireAttentionReasonCode> attentionReasonCodes;

    // Throws DomainCodingError (invalidValue) for the mounting status, which has no
    // wire value.
    static WireEvaluatedDrive fromDomain(const BerthkeepEvaluatedDrive& drive);
    BerthkeepEvaluatedDrive domainValue() const;

    bool operator==(const WireEvaluatedDrive&) const = default;
};

// The overall state as a kind with every kind's payload side by side.
struct WireGlobalSafetyState {
    WireGlobalSafetyStateKind kind = WireGlobalSafetyStateKind::noManagedDrives;
    std::optional<std::string> supportingCopy;
    std::optional<std::int64_t> problemDriveCount;
    std::optional<WireTriggerReason> trigger;

    // Fills only the payload of the state's own kind.
    static WireGlobalSafetyState fromDomain(const GlobalSafetyState& state);
    // Reads only the payload of its kind; a missing payload takes the default
    // ("Some app activity may not be detected", 0, systemSleep).
    GlobalSafetyState domainValue() const;

    bool operator==(const WireGlobalSafetyState&) const = default;
};

struct WirePrimaryAction {
    WirePrimaryActionKind kind = WirePrimaryActionKind::ejectAndSleep;
    bool enabled = true;

    static WirePrimaryAction fromDomain(const PrimaryAction& action);
    // Titles never travel: they come from the shared actions. Retry is always enabled.
    PrimaryAction domainValue() const;

    bool operator==(const WirePrimaryAction&) const = default;
};

struct WireLastActionResult {
    WireLastActionResultKind kind = WireLastActionResultKind::noneFound;
    std::optional<std::int64_t> count;
    std::optional<std::int64_t> ejected;
    std::optional<std::int64_t> stillBusy;

    // Carries only the counts of its kind.
    static WireLastActionResult fromDomain(const LastActionSummary::Result& result);
    // Counts of other kinds are ignored; a missing count reads as 0.
    LastActionSummary::Result domainValue() const;

    bool operator==(const WireLastActionResult&) const = default;
};

struct WireLastActionSummary {
    WireLastActionResult result;

    static WireLastActionSummary fromDomain(const LastActionSummary& summary);
    LastActionSummary domainValue() const;

    bool operator==(const WireLastActionSummary&) const = default;
};

struct WirePendingSleepFailureNotification {
    std::int64_t failedDriveCount = 0;

    static WirePendingSleepFailureNotification
    fromDomain(const PendingSleepFailureNotification& notification);
    PendingSleepFailureNotification domainValue() const;

    bool operator==(const WirePendingSleepFailureNotification&) const = default;
};

// Request of evaluate state.
struct WireStateEvaluationInput {
    std::vector<WireDrive> drives;
    std::vector<std::string> workingDriveIds;
    std::optional<WireTriggerReason> activeTrigger;
    std::optional<WireLastActionSummary> lastAction;

    static WireStateEvaluationInput fromDomain(const BerthkeepStateEvaluationInput& input);
    BerthkeepStateEvaluationInput domainValue() const;

    bool operator==(const WireStateEvaluationInput&) const = default;
};

// Response of evaluate state.
struct WireStateEvaluationOutput {
    WireGlobalSafetyState globalState;
    std::optional<std::string> scopeNote;
    std::optional<WirePrimaryAction> primaryAction;
    std::optional<WirePrimaryAction> secondaryAction;
    std::optional<WireLastActionSummary> lastAction;
    std::vector<WireEvaluatedDrive> drives;

    // Throws DomainCodingError for a drive whose status is mounting.
    static WireStateEvaluationOutput fromDomain(const BerthkeepStateEvaluationOutput& output);
    // The answer is what the response says; nothing of the request is merged in.
    BerthkeepStateEvaluationOutput domainValue() const;

    bool operator==(const WireStateEvaluationOutput&) const = default;
};

// Request of plan action.
struct WireActionPlanningInput {
    WireTriggerReason trigger = WireTriggerReason::manualEjectAll;
    std::vector<WireDrive> drives;
    std::vector<std::string> attentionDriveIds;

    static WireActionPlanningInput fromDomain(const BerthkeepActionPlanningInput& input);
    BerthkeepActionPlanningInput domainValue() const;

    bool operator==(const WireActionPlanningInput&) const = default;
};

// Response of plan action.
struct WireActionPlan {
    WireActionDisposition disposition = WireActionDisposition::noTargets;
    std::vector<std::string> targetDriveIds;

    static WireActionPlan fromDomain(const BerthkeepActionPlan& plan);
    BerthkeepActionPlan domainValue() const;

    bool operator==(const WireActionPlan&) const = default;
};

// Request of summarize action.
struct WireActionSummaryInput {
    std::optional<WireTriggerReason> trigger;
    std::vector<std::string> attemptedDriveIds;
    std::vector<std::string> remainingManagedDriveIds;
    std::vector<std::string> confirmedSuccessfulDriveIds;

    static WireActionSummaryInput fromDomain(const BerthkeepActionSummaryInput& input);
    BerthkeepActionSummaryInput domainValue() const;

    bool operator==(const WireActionSummaryInput&) const = default;
};

// Response of summarize action.
struct WireActionSummaryOutput {
    std::vector<std::string> busyDriveIds;
    WireLastActionSummary lastAction;
    std::optional<WirePendingSleepFailureNotification> pendingSleepFailureNotification;

    static WireActionSummaryOutput fromDomain(const BerthkeepActionSummaryOutput& output);
    BerthkeepActionSummaryOutput domainValue() const;

    bool operator==(const WireActionSummaryOutput&) const = default;
};

// Case-for-case mappings between the domain and wire enumerations.
WireDriveScope toWire(BerthkeepCoreDriveScope scope);
WireAttentionReasonCode toWire(BerthkeepAttentionReasonCode code);
WireTriggerReason toWire(TriggerReason trigger);
// Throws DomainCodingError (invalidValue) for mounting.
WireDriveStatus toWire(DriveStatus status);

BerthkeepCoreDriveScope toDomain(WireDriveScope scope);
BerthkeepAttentionReasonCode toDomain(WireAttentionReasonCode code);
TriggerReason toDomain(WireTriggerReason trigger);
DriveStatus toDomain(WireDriveStatus status);

} // namespace berthkeep

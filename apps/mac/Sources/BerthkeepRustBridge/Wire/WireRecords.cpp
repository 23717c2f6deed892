#include "BerthkeepRustBridge/Wire/WireRecords.hpp"

#include "Berthkeep/Domain/DomainCodingError.hpp"

#include <utility>

namespace berthkeep {

namespace {

constexpr const char* kDefaultLimitedProtectionCopy = "Some app activity may not be detected";

template <typename To, typename From, typename Convert>
std::vector<To> mapAll(const std::vector<From>& values, Convert convert) {
    std::vector<To> result;
    result.reserve(values.size());
    for (const From& value : values) {
        result.push_back(convert(value));
    }
    return result;
}

template <typename To, typename From>
std::optional<To> fromDomainOptional(const std::optional<From>& value) {
    if (!value) {
        return std::nullopt;
    }
    return To::fromDomain(*value);
}

template <typename From>
auto domainValueOptional(const std::optional<From>& value)
    -> std::optional<decltype(value->domainValue())> {
    if (!value) {
        return std::nullopt;
    }
    return value->domainValue();
}

std::optional<WireTriggerReason> toWireOptional(const std::optional<TriggerReason>& trigger) {
    if (!trigger) {
        return std::nullopt;
    }
    return toWire(*trigger);
}

std::optional<TriggerReason> toDomainOptional(const std::optional<WireTriggerReason>& trigger) {
    if (!trigger) {
        return std::nullopt;
    }
    return toDomain(*trigger);
}

} // namespace

// Enumerations ---------------------------------------------------------------------

WireDriveScope toWire(BerthkeepCoreDriveScope scope) {
    switch (scope) {
    case BerthkeepCoreDriveScope::managed:
        return WireDriveScope::managed;
    case BerthkeepCoreDriveScope::excluded:
        return WireDriveScope::excluded;
    }
    return WireDriveScope::managed;
}

BerthkeepCoreDriveScope toDomain(WireDriveScope scope) {
    switch (scope) {
    case WireDriveScope::managed:
        return BerthkeepCoreDriveScope::managed;
    case WireDriveScope::excluded:
        return BerthkeepCoreDriveScope::excluded;
    }
    return BerthkeepCoreDriveScope::managed;
}

WireAttentionReasonCode toWire(BerthkeepAttentionReasonCode code) {
    switch (code) {
    case BerthkeepAttentionReasonCode::openFileUsage:
        return WireAttentionReasonCode::openFileUsage;
    case BerthkeepAttentionReasonCode::cwdUsage:
        return WireAttentionReasonCode::cwdUsage;
    case BerthkeepAttentionReasonCode::statfsActivity:
        return WireAttentionReasonCode::statfsActivity;
    case BerthkeepAttentionReasonCode::fseventsActivity:
        return WireAttentionReasonCode::fseventsActivity;
    case BerthkeepAttentionReasonCode::viewerAssistActivity:
        return WireAttentionReasonCode::viewerAssistActivity;
    }
    return WireAttentionReasonCode::openFileUsage;
}

BerthkeepAttentionReasonCode toDomain(WireAttentionReasonCode code) {
    switch (code) {
    case WireAttentionReasonCode::openFileUsage:
        return BerthkeepAttentionReasonCode::openFileUsage;
    case WireAttentionReasonCode::cwdUsage:
        return BerthkeepAttentionReasonCode::cwdUsage;
    case WireAttentionReasonCode::statfsActivity:
        return BerthkeepAttentionReasonCode::statfsActivity;
    case WireAttentionReasonCode::fseventsActivity:
        return BerthkeepAttentionReasonCode::fseventsActivity;
    case WireAttentionReasonCode::viewerAssistActivity:
        return BerthkeepAttentionReasonCode::viewerAssistActivity;
    }
    return BerthkeepAttentionReasonCode::openFileUsage;
}

WireTriggerReason toWire(TriggerReason trigger) {
    switch (trigger) {
    case TriggerReason::systemSleep:
        return WireTriggerReason::systemSleep;
    case TriggerReason::lidCloseSleep:
        return WireTriggerReason::lidCloseSleep;
    case TriggerReason::manualEjectAndSleep:
        return WireTriggerReason::manualEjectAndSleep;
    case TriggerReason::manualEjectAll:
        return WireTriggerReason::manualEjectAll;
    case TriggerReason::manualRetry:
        return WireTriggerReason::manualRetry;
    }
    return WireTriggerReason::systemSleep;
}

TriggerReason toDomain(WireTriggerReason trigger) {
    switch (trigger) {
    case WireTriggerReason::systemSleep:
        return TriggerReason::systemSleep;
    case WireTriggerReason::lidCloseSleep:
        return TriggerReason::lidCloseSleep;
    case WireTriggerReason::manualEjectAndSleep:
        return TriggerReason::manualEjectAndSleep;
    case WireTriggerReason::manualEjectAll:
        return TriggerReason::manualEjectAll;
    case WireTriggerReason::manualRetry:
        return TriggerReason::manualRetry;
    }
    return TriggerReason::systemSleep;
}

WireDriveStatus toWire(DriveStatus status) {
    switch (status) {
    case DriveStatus::connected:
        return WireDriveStatus::connected;
    case DriveStatus::safe:
        return WireDriveStatus::safe;
    case DriveStatus::busy:
        return WireDriveStatus::busy;
    case DriveStatus::ejecting:
        return WireDriveStatus::ejecting;
    case DriveStatus::notMounted:
        return WireDriveStatus::notMounted;
    case DriveStatus::excluded:
        return WireDriveStatus::excluded;
    case DriveStatus::mounting:
        break;
    }
    throw DomainCodingError(DomainCodingError::Kind::invalidValue,
                            "Drive status mounting has no wire value");
}

DriveStatus toDomain(WireDriveStatus status) {
    switch (status) {
    case WireDriveStatus::connected:
        return DriveStatus::connected;
    case WireDriveStatus::safe:
        return DriveStatus::safe;
    case WireDriveStatus::busy:
        return DriveStatus::busy;
    case WireDriveStatus::ejecting:
        return DriveStatus::ejecting;
    case WireDriveStatus::notMounted:
        return DriveStatus::notMounted;
    case WireDriveStatus::excluded:
        return DriveStatus::excluded;
    }
    return DriveStatus::safe;
}

// Drives ---------------------------------------------------------------------------

WireDrive WireDrive::fromDomain(const BerthkeepCoreDrive& drive) {
    return WireDrive{drive.id, drive.name, toWire(drive.scope), drive.isMounted,
                     drive.usageSnapshot};
}

BerthkeepCoreDrive WireDrive::domainValue() const {
    return BerthkeepCoreDrive{id, name, toDomain(scope), isMounted, usageSnapshot};
}

WireEvaluatedDrive WireEvaluatedDrive::fromDomain(const BerthkeepEvaluatedDrive& drive) {
    return WireEvaluatedDrive{drive.id, drive.name, toWire(drive.status),
                              mapAll<WireAttentionReasonCode>(
                                  drive.attentionReasonCodes,
                                  [](BerthkeepAttentionReasonCode code) { return toWire(code); })};
}

BerthkeepEvaluatedDrive WireEvaluatedDrive::domainValue() const {
    return BerthkeepEvaluatedDrive{
        id, name, toDomain(status),
        mapAll<BerthkeepAttentionReasonCode>(
            attentionReasonCodes, [](WireAttentionReasonCode code) { return toDomain(code); })};
}

// Global state and actions ---------------------------------------------------------

WireGlobalSafetyState WireGlobalSafetyState::fromDomain(const GlobalSafetyState& state) {
    WireGlobalSafetyState wire;
    switch (state.kind()) {
    case GlobalSafetyState::Kind::noManagedDrives:
        wire.kind = WireGlobalSafetyStateKind::noManagedDrives;
        break;
    case GlobalSafetyState::Kind::limitedProtection:
        wire.kind = WireGlobalSafetyStateKind::limitedProtection;
        wire.supportingCopy = state.supportingCopy();
        break;
    case GlobalSafetyState::Kind::fullMonitoringUnavailable:
        wire.kind = WireGlobalSafetyStateKind::fullMonitoringUnavailable;
        break;
    case GlobalSafetyState::Kind::fullMonitoringVerifying:
        wire.kind = WireGlobalSafetyStateKind::fullMonitoringVerifying;
        break;
    case GlobalSafetyState::Kind::safe:
        wire.kind = WireGlobalSafetyStateKind::safe;
        break;
    case GlobalSafetyState::Kind::attention:
        wire.kind = WireGlobalSafetyStateKind::attention;
        wire.problemDriveCount = state.problemDriveCount();
        break;
    case GlobalSafetyState::Kind::working:
        wire.kind = WireGlobalSafetyStateKind::working;
        wire.trigger = toWireOptional(state.trigger());
        break;
    }
    return wire;
}

GlobalSafetyState WireGlobalSafetyState::domainValue() const {
    switch (kind) {
    case WireGlobalSafetyStateKind::noManagedDrives:
        return GlobalSafetyState::noManagedDrives();
    case WireGlobalSafetyStateKind::limitedProtection:
        return GlobalSafetyState::limitedProtection(
            supportingCopy.value_or(kDefaultLimitedProtectionCopy));
    case WireGlobalSafetyStateKind::fullMonitoringUnavailable:
        return GlobalSafetyState::fullMonitoringUnavailable();
    case WireGlobalSafetyStateKind::fullMonitoringVerifying:
        return GlobalSafetyState::fullMonitoringVerifying();
    case WireGlobalSafetyStateKind::safe:
        return GlobalSafetyState::safe();
    case WireGlobalSafetyStateKind::attention:
        return GlobalSafetyState::attention(problemDriveCount.value_or(0));
    case WireGlobalSafetyStateKind::working:
        return GlobalSafetyState::working(
            toDomain(trigger.value_or(WireTriggerReason::systemSleep)));
    }
    return GlobalSafetyState::noManagedDrives();
}

WirePrimaryAction WirePrimaryAction::fromDomain(const PrimaryAction& action) {
    const WirePrimaryActionKind kind = action.kind == PrimaryAction::Kind::retryEject
                                           ? WirePrimaryActionKind::retryEject
                                           : WirePrimaryActionKind::ejectAndSleep;
    return WirePrimaryAction{kind, action.isEnabled};
}

PrimaryAction WirePrimaryAction::domainValue() const {
    if (kind == WirePrimaryActionKind::retryEject) {
        return PrimaryAction::retryEject();
    }
    return enabled ? PrimaryAction::ejectAndSleep() : PrimaryAction::disabledEjectAndSleep();
}

// Last action ----------------------------------------------------------------------

WireLastActionResult WireLastActionResult::fromDomain(const LastActionSummary::Result& result) {
    WireLastActionResult wire;
    switch (result.kind()) {
    case LastActionSummary::Result::Kind::ejected:
        wire.kind = WireLastActionResultKind::ejected;
        wire.count = result.ejectedCount();
        break;
    case LastActionSummary::Result::Kind::partialSuccess:
        wire.kind = WireLastActionResultKind::partialSuccess;
        wire.ejected = result.ejectedCount();
        wire.stillBusy = result.stillBusyCount();
        break;
    case LastActionSummary::Result::Kind::stillBusy:
        wire.kind = WireLastActionResultKind::stillBusy;
        wire.count = result.stillBusyCount();
        break;
    case LastActionSummary::Result::Kind::noneFound:
        wire.kind = WireLastActionResultKind::noneFound;
        break;
    }
    return wire;
}

LastActionSummary::Result WireLastActionResult::domainValue() const {
    using Result = LastActionSummary::Result;
    switch (kind) {
    case WireLastActionResultKind::ejected:
        return Result::ejected(count.value_or(0));
    case WireLastActionResultKind::partialSuccess:
        return Result::partialSuccess(ejected.value_or(0), stillBusy.value_or(0));
    case WireLastActionResultKind::stillBusy:
        return Result::stillBusy(count.value_or(0));
    case WireLastActionResultKind::noneFound:
        return Result::noneFound();
    }
    return Result::noneFound();
}

WireLastActionSummary WireLastActionSummary::fromDomain(const LastActionSummary& summary) {
    return WireLastActionSummary{WireLastActionResult::fromDomain(summary.result)};
}

LastActionSummary WireLastActionSummary::domainValue() const {
    return LastActionSummary{result.domainValue()};
}

WirePendingSleepFailureNotification WirePendingSleepFailureNotification::fromDomain(
    const PendingSleepFailureNotification& notification) {
    return WirePendingSleepFailureNotification{notification.failedDriveCount};
}

PendingSleepFailureNotification WirePendingSleepFailureNotification::domainValue() const {
    return PendingSleepFailureNotification{failedDriveCount};
}

// Evaluate state -------------------------------------------------------------------

WireStateEvaluationInput
WireStateEvaluationInput::fromDomain(const BerthkeepStateEvaluationInput& input) {
    return WireStateEvaluationInput{mapAll<WireDrive>(input.drives, &WireDrive::fromDomain),
                                    input.workingDriveIDs, toWireOptional(input.activeTrigger),
                                    fromDomainOptional<WireLastActionSummary>(input.lastAction)};
}

BerthkeepStateEvaluationInput WireStateEvaluationInput::domainValue() const {
    return BerthkeepStateEvaluationInput{
        mapAll<BerthkeepCoreDrive>(drives,
                                   [](const WireDrive& drive) { return drive.domainValue(); }),
        workingDriveIds, toDomainOptional(activeTrigger), domainValueOptional(lastAction)};
}

WireStateEvaluationOutput
WireStateEvaluationOutput::fromDomain(const BerthkeepStateEvaluationOutput& output) {
    return WireStateEvaluationOutput{
        WireGlobalSafetyState::fromDomain(output.globalState),
        output.scopeNote,
        fromDomainOptional<WirePrimaryAction>(output.primaryAction),
        fromDomainOptional<WirePrimaryAction>(output.secondaryAction),
        fromDomainOptional<WireLastActionSummary>(output.lastAction),
        mapAll<WireEvaluatedDrive>(output.drives, &WireEvaluatedDrive::fromDomain)};
}

BerthkeepStateEvaluationOutput WireStateEvaluationOutput::domainValue() const {
    return BerthkeepStateEvaluationOutput{
        globalState.domainValue(),
        scopeNote,
        domainValueOptional(primaryAction),
        domainValueOptional(secondaryAction),
        domainValueOptional(lastAction),
        mapAll<BerthkeepEvaluatedDrive>(
            drives, [](const WireEvaluatedDrive& drive) { return drive.domainValue(); })};
}

// Plan action ----------------------------------------------------------------------

WireActionPlanningInput
WireActionPlanningInput::fromDomain(const BerthkeepActionPlanningInput& input) {
    return WireActionPlanningInput{toWire(input.trigger),
                                   mapAll<WireDrive>(input.drives, &WireDrive::fromDomain),
                                   input.attentionDriveIDs};
}

BerthkeepActionPlanningInput WireActionPlanningInput::domainValue() const {
    return BerthkeepActionPlanningInput{
        toDomain(trigger),
        mapAll<BerthkeepCoreDrive>(drives,
                                   [](const WireDrive& drive) { return drive.domainValue(); }),
        attentionDriveIds};
}

WireActionPlan WireActionPlan::fromDomain(const BerthkeepActionPlan& plan) {
    const WireActionDisposition disposition =
        plan.disposition == BerthkeepActionPlan::Disposition::execute
            ? WireActionDisposition::execute
            : WireActionDisposition::noTargets;
    return WireActionPlan{disposition, plan.targetDriveIDs};
}

BerthkeepActionPlan WireActionPlan::domainValue() const {
    const auto domainDisposition = disposition == WireActionDisposition::execute
                                       ? BerthkeepActionPlan::Disposition::execute
                                       : BerthkeepActionPlan::Disposition::noTargets;
    return BerthkeepActionPlan{domainDisposition, targetDriveIds};
}

// Summarize action -----------------------------------------------------------------

WireActionSummaryInput
WireActionSummaryInput::fromDomain(const BerthkeepActionSummaryInput& input) {
    return WireActionSummaryInput{toWireOptional(input.trigger), input.attemptedDriveIDs,
                                  input.remainingManagedDriveIDs,
                                  input.confirmedSuccessfulDriveIDs};
}

BerthkeepActionSummaryInput WireActionSummaryInput::domainValue() const {
    return BerthkeepActionSummaryInput{toDomainOptional(trigger), attemptedDriveIds,
                                       remainingManagedDriveIds, confirmedSuccessfulDriveIds};
}

WireActionSummaryOutput
WireActionSummaryOutput::fromDomain(const BerthkeepActionSummaryOutput& output) {
    return WireActionSummaryOutput{output.busyDriveIDs,
                                   WireLastActionSummary::fromDomain(output.lastAction),
                                   fromDomainOptional<WirePendingSleepFailureNotification>(
                                       output.pendingSleepFailureNotification)};
}

BerthkeepActionSummaryOutput WireActionSummaryOutput::domainValue() const {
    return BerthkeepActionSummaryOutput{busyDriveIds, lastAction.domainValue(),
                                        domainValueOptional(pendingSleepFailureNotification)};
}

} // namespace berthkeep

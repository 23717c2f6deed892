#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"

#include "Berthkeep/Domain/DriveCountText.hpp"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace berthkeep {

namespace {

using IdSet = std::unordered_set<std::string>;

IdSet makeSet(const std::vector<std::string>& ids) {
    return IdSet(ids.begin(), ids.end());
}

bool isManaged(const BerthkeepCoreDrive& drive) {
    return drive.scope == BerthkeepCoreDriveScope::managed;
}

DriveStatus evaluatedStatus(const BerthkeepCoreDrive& drive, const IdSet& working,
                            const std::vector<BerthkeepAttentionReasonCode>& codes) {
    if (!isManaged(drive)) {
        return DriveStatus::excluded;
    }
    if (!drive.isMounted) {
        return DriveStatus::notMounted;
    }
    if (working.contains(drive.id)) {
        return DriveStatus::ejecting;
    }
    if (!codes.empty()) {
        return DriveStatus::busy;
    }
    return DriveStatus::safe;
}

} // namespace

BerthkeepStateEvaluationOutput
SwiftBerthkeepCore::evaluateState(const BerthkeepStateEvaluationInput& input) {
    const IdSet working = makeSet(input.workingDriveIDs);

    std::int64_t managedCount = 0;
    std::int64_t excludedCount = 0;
    std::int64_t busyCount = 0;
    for (const BerthkeepCoreDrive& drive : input.drives) {
        if (!isManaged(drive)) {
            ++excludedCount;
            continue;
        }
        ++managedCount;
        // A busy drive counts even when the monitor named no reason for it.
        if (drive.isMounted && drive.usageSnapshot.isBusy) {
            ++busyCount;
        }
    }

    BerthkeepStateEvaluationOutput output;
    if (input.activeTrigger) {
        output.globalState = GlobalSafetyState::working(*input.activeTrigger);
    } else if (managedCount == 0) {
        output.globalState = GlobalSafetyState::noManagedDrives();
    } else if (busyCount > 0) {
        output.globalState = GlobalSafetyState::attention(busyCount);
    } else {
        output.globalState = GlobalSafetyState::safe();
    }

    output.scopeNote = scopeNote(excludedCount);

    output.lastAction = input.lastAction;

    output.drives.reserve(input.drives.size());
    for (const BerthkeepCoreDrive& drive : input.drives) {
        // The code travels with the drive whatever its status, so an excluded or
        // unmounted drive that is busy still says why.
        std::vector<BerthkeepAttentionReasonCode> codes = drive.usageSnapshot.reasonCodes();
        const DriveStatus status = evaluatedStatus(drive, working, codes);
        output.drives.push_back(
            BerthkeepEvaluatedDrive{drive.id, drive.name, status, std::move(codes)});
    }
    return output;
}

BerthkeepActionPlan SwiftBerthkeepCore::planAction(const BerthkeepActionPlanningInput& input) {
    std::vector<std::string> candidates;
    for (const BerthkeepCoreDrive& drive : input.drives) {
        if (isManaged(drive) && drive.isMounted) {
            candidates.push_back(drive.id);
        }
    }

    if (input.trigger == TriggerReason::manualRetry) {
        const IdSet attention = makeSet(input.attentionDriveIDs);
        std::vector<std::string> retryTargets;
        for (const std::string& id : candidates) {
            if (attention.contains(id)) {
                retryTargets.push_back(id);
            }
        }
        if (!retryTargets.empty()) {
            return BerthkeepActionPlan{BerthkeepActionPlan::Disposition::execute,
                                       std::move(retryTargets)};
        }
        // Nothing left of the earlier attention set: retry every mounted managed drive.
    }

    if (candidates.empty()) {
        return BerthkeepActionPlan{BerthkeepActionPlan::Disposition::noTargets, {}};
    }
    return BerthkeepActionPlan{BerthkeepActionPlan::Disposition::execute, std::move(candidates)};
}

BerthkeepActionSummaryOutput
SwiftBerthkeepCore::summarizeAction(const BerthkeepActionSummaryInput& input) {
    // Ordered sets: the busy list comes out sorted and duplicates count once.
    const std::set<std::string> attempted(input.attemptedDriveIDs.begin(),
                                          input.attemptedDriveIDs.end());
    const IdSet remaining = makeSet(input.remainingManagedDriveIDs);
    const IdSet confirmed = makeSet(input.confirmedSuccessfulDriveIDs);

    std::vector<std::string> stillBusy;
    for (const std::string& id : attempted) {
        if (remaining.contains(id) && !confirmed.contains(id)) {
            stillBusy.push_back(id);
        }
    }

    const auto busyCount = static_cast<std::int64_t>(stillBusy.size());
    const auto ejectedCount = static_cast<std::int64_t>(attempted.size()) - busyCount;

    BerthkeepActionSummaryOutput output;
    if (attempted.empty()) {
        output.lastAction = LastActionSummary{LastActionSummary::Result::noneFound()};
    } else if (ejectedCount > 0 && busyCount == 0) {
        output.lastAction = LastActionSummary{LastActionSummary::Result::ejected(ejectedCount)};
    } else if (ejectedCount > 0) {
        output.lastAction =
            LastActionSummary{LastActionSummary::Result::partialSuccess(ejectedCount, busyCount)};
    } else {
        output.lastAction = LastActionSummary{LastActionSummary::Result::stillBusy(busyCount)};
    }

    if (busyCount > 0 && input.trigger && isSleepTrigger(*input.trigger)) {
        output.pendingSleepFailureNotification = PendingSleepFailureNotification{busyCount};
    }

    output.busyDriveIDs = std::move(stillBusy);
    return output;
}

std::optional<std::string> SwiftBerthkeepCore::scopeNote(std::int64_t excludedDriveCount) {
    if (excludedDriveCount <= 0) {
        return std::nullopt;
    }
    return std::to_string(excludedDriveCount) + " excluded " + driveNoun(excludedDriveCount) +
           " not managed automatically";
}

} // namespace berthkeep

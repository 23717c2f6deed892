#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QObject;

#include <QCoroTask>

#include "Berthkeep/Actions/EjectTargetGroup.hpp"
#include "Berthkeep/Actions/RemountTarget.hpp"
#include "Berthkeep/Domain/BerthkeepCoreDrive.hpp"
#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Sleep/WakeRemountQueue.hpp"

namespace berthkeep {

class BerthkeepTelemetryController;
class TransientActionStatusPresenting;

// The attempt state the action coordinator reads and changes. The store is the
// only implementation; the coordinator keeps no application state of its own.
// Main thread only.
//
// An action runs while `activeTrigger` is set or `workingDriveIDs` is not empty.
// An attempt is current while `activeAttemptID` holds its id; the wake side
// clears it to close the record of a sleep attempt the machine slept under.
class BerthkeepActionContext {
public:
    virtual ~BerthkeepActionContext() = default;

    virtual const std::vector<DetectedDrive>& activeAttemptTargets() const = 0;
    virtual void setActiveAttemptTargets(std::vector<DetectedDrive> targets) = 0;
    virtual const std::vector<DetectedDrive>& activeAttemptSuccessfulTargets() const = 0;
    virtual void setActiveAttemptSuccessfulTargets(std::vector<DetectedDrive> targets) = 0;
    virtual const std::set<std::string>& attentionDriveIDs() const = 0;
    virtual void setAttentionDriveIDs(std::set<std::string> driveIDs) = 0;
    virtual const std::set<std::string>& workingDriveIDs() const = 0;
    virtual void setWorkingDriveIDs(std::set<std::string> driveIDs) = 0;
    virtual const std::optional<TriggerReason>& activeTrigger() const = 0;
    virtual void setActiveTrigger(std::optional<TriggerReason> trigger) = 0;
    virtual const std::optional<std::string>& activeAttemptID() const = 0;
    virtual void setActiveAttemptID(std::optional<std::string> attemptID) = 0;
    virtual const std::optional<TriggerReason>& lastObservedTrigger() const = 0;
    virtual void setLastObservedTrigger(std::optional<TriggerReason> trigger) = 0;
    virtual void setLastActionSummary(std::optional<LastActionSummary> summary) = 0;
    virtual void
    setPendingSleepFailureNotification(std::optional<PendingSleepFailureNotification> pending) = 0;

    // Every detected drive as the core sees it, in inventory order.
    virtual std::vector<BerthkeepCoreDrive> coreDrives() const = 0;
    // Managed drives mounted now, in inventory order.
    virtual std::vector<std::string> mountedManagedDriveIDs() const = 0;
    // The detected drive of each id, in the order of the ids; unknown ids skipped.
    virtual std::vector<DetectedDrive> drives(const std::vector<std::string>& ids) const = 0;
    virtual bool isCurrentlyMounted(const std::string& driveID) const = 0;
    // One group per drive group key, in order of first appearance.
    virtual std::vector<EjectTargetGroup>
    ejectTargetGroups(const std::vector<DetectedDrive>& drives) const = 0;
    // The header text of the published global state.
    virtual std::string currentGlobalStateHeaderCopy() const = 0;

    // The drives to mount again after wake.
    virtual WakeRemountQueue& wakeRemountQueue() = 0;
    // Whether the drives of a group may be mounted again as one whole disk.
    virtual bool allowsGroupedWakeRemount(const std::string& groupID) const = 0;
    // None for a drive without a BSD name.
    virtual std::optional<RemountTarget> wakeRemountTarget(const DetectedDrive& drive,
                                                           bool allowGrouping) const = 0;
    // Starts or re-arms a wake remount when the system has already woken.
    virtual void triggerWakeRemountCatchUpIfNeeded() = 0;
    // The drives the wake counted as taken off when it closed the record of
    // this sleep attempt; empty for any other attempt.
    virtual std::set<std::string> drivesTakenOffBeforeWake(const std::string& attemptID) const = 0;
    // Refreshes the inventory; with settlement, waits a moment and refreshes again.
    virtual QCoro::Task<void> refreshInventoryAfterEjectAttempt(bool needsSettlement) = 0;

    virtual void persistLastActionSummary() = 0;
    virtual void persistPendingSleepFailureNotification() = 0;
    virtual void rebuildCurrentState(BerthkeepCoreHandling& core) = 0;
    // With the context's own core.
    virtual void rebuildCurrentState() = 0;

    virtual TransientActionStatusPresenting& transientActionStatusPresenter() = 0;
    virtual const std::shared_ptr<BerthkeepTelemetryController>& telemetryController() const = 0;

    // The object whose lifetime bounds the context: an attempt that finds it gone
    // after a suspension ends without touching anything.
    virtual QObject* contextObject() = 0;
};

} // namespace berthkeep

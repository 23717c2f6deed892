#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Domain/BerthkeepCoreDrive.hpp"
#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

class BerthkeepTelemetryController;
class TransientActionStatusPresenting;

// The attempt state the action coordinator reads and changes. The store is the
// only implementation; the coordinator keeps no application state of its own.
// Main thread only.
//
// An action runs while `activeTrigger` is set or `workingDriveIDs` is not empty.
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
    virtual void setActiveAttemptID(std::optional<std::string> attemptID) = 0;
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

    virtual void persistLastActionSummary() = 0;
    virtual void persistPendingSleepFailureNotification() = 0;
    virtual void rebuildCurrentState(BerthkeepCoreHandling& core) = 0;

    virtual TransientActionStatusPresenting& transientActionStatusPresenter() = 0;
    virtual const std::shared_ptr<BerthkeepTelemetryController>& telemetryController() const = 0;
};

} // namespace berthkeep

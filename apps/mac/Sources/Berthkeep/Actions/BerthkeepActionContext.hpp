#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QObject;

#include <QCoroTask>

#include "Berthkeep/Actions/EjectAttemptState.hpp"
#include "Berthkeep/Actions/EjectTargetGroup.hpp"
#include "Berthkeep/Actions/RemountTarget.hpp"
#include "Berthkeep/Domain/BerthkeepCoreDrive.hpp"
#include "Berthkeep/Domain/LastActionSummary.hpp"
#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Sleep/WakeRemountQueue.hpp"

namespace berthkeep {

class BerthkeepTelemetryController;
class TransientActionStatusPresenting;

// What the action coordinator asks of the store. The attempt itself lives in
// the store's EjectAttemptState, which the coordinator drives through its verbs;
// the store is the only implementation. Main thread only.
class BerthkeepActionContext {
public:
    virtual ~BerthkeepActionContext() = default;

    virtual EjectAttemptState& ejectAttempt() = 0;
    // How many wakes the machine has seen: an attempt that began before the
    // latest one was under way when the machine slept.
    virtual std::uint64_t wakeCount() const = 0;
    // The trigger of the last attempt that passed the busy guard (published).
    virtual void setLastObservedTrigger(std::optional<TriggerReason> trigger) = 0;
    // Reports stand in the order their work began, not the order it ended: each
    // attempt takes a number when it begins, and a report is written only when no
    // work that began later has written its own. An older attempt that closes
    // late thus never writes over a newer one's report, nor keeps it from being
    // written.
    virtual std::uint64_t takeReportNumber() = 0;
    // Each sets the field and persists it (an absent notice is removed), unless
    // work numbered later has written it already.
    virtual void recordLastAction(LastActionSummary summary, std::uint64_t reportNumber) = 0;
    virtual void recordSleepFailureNotice(std::optional<PendingSleepFailureNotification> pending,
                                          std::uint64_t reportNumber) = 0;
    // The system sleeps now with the managed drives that are mounted, or being
    // mounted, less those the running attempt has seen ejected: the notice counts
    // them, under a number of its own. Returns their number; nothing is recorded
    // for none.
    virtual std::size_t recordDrivesSleepingMounted() = 0;

    // Every detected drive as the core sees it, in inventory order.
    virtual std::vector<BerthkeepCoreDrive> coreDrives() const = 0;
    // Managed drives mounted now, in inventory order.
    virtual std::vector<std::string> mountedManagedDriveIDs() const = 0;
    // The detected drive of each id, in the order of the ids; unknown ids skipped.
    virtual std::vector<DetectedDrive> drives(const std::vector<std::string>& ids) const = 0;
    virtual bool isCurrentlyMounted(const std::string& driveID) const = 0;
    // Whether the user has excluded the drive, as of now.
    virtual bool isExcluded(const std::string& driveID) const = 0;
    // One group per drive group key, in order of first appearance.
    virtual std::vector<EjectTargetGroup>
    ejectTargetGroups(const std::vector<DetectedDrive>& drives) const = 0;
    // The header text of the published global state.
    virtual std::string currentGlobalStateHeaderCopy() const = 0;

    // Whether a sleep is still held while a managed drive is being mounted: the
    // sleep's attempt ejects that drive once its mount ends.
    virtual bool isMountHoldingSleep() const = 0;
    // Whether a will-sleep is held now, no wake having come since.
    virtual bool isSleepHeld() const = 0;
    // Whether a mount command of the drive runs now.
    virtual bool isBeingMounted(const std::string& driveID) const = 0;

    // The drives to mount again after wake.
    virtual WakeRemountQueue& wakeRemountQueue() = 0;
    // Whether the drives of a group may be mounted again as one whole disk.
    virtual bool allowsGroupedWakeRemount(const std::string& groupID) const = 0;
    // None for a drive without a BSD name.
    virtual std::optional<RemountTarget> wakeRemountTarget(const DetectedDrive& drive,
                                                           bool allowGrouping) const = 0;
    // Starts or re-arms a wake remount when the system has already woken.
    virtual void triggerWakeRemountCatchUpIfNeeded() = 0;
    // Refreshes the inventory; with settlement, waits a moment and refreshes again.
    virtual QCoro::Task<void> refreshInventoryAfterEjectAttempt(bool needsSettlement) = 0;

    // Recomputes and publishes the menu state with the store's own core.
    virtual void rebuildCurrentState() = 0;
    virtual TransientActionStatusPresenting& transientActionStatusPresenter() = 0;
    virtual const std::shared_ptr<BerthkeepTelemetryController>& telemetryController() const = 0;

    // The object whose lifetime bounds the context: an attempt that finds it gone
    // after a suspension ends without touching anything.
    virtual QObject* contextObject() = 0;
};

} // namespace berthkeep

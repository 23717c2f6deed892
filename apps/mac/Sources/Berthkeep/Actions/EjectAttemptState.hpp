#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Berthkeep/Domain/TriggerReason.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Sleep/WakeRemountQueue.hpp"

namespace berthkeep {

// The one owner of the eject under way and of what the last one left: which
// attempt is current, its trigger and targets, what it has taken off, the drives
// being worked on, the drives that need attention, and which sleep attempt a wake
// closed. Every road that ejects asks it whether an action runs and tells it what
// happened; nobody else keeps a copy. Main thread only.
//
// An attempt is current while its id is the active one: after each suspension
// it asks isCurrent() before it touches anything, since a wake may have closed
// it (closeByWake) and another attempt may have begun.
class EjectAttemptState {
public:
    // An action runs while a trigger is set or a drive is being worked on (Eject
    // All and the card's single-drive eject set no trigger).
    bool isRunning() const { return m_activeTrigger.has_value() || !m_workingDriveIDs.empty(); }
    bool isCurrent(const std::string& attemptID) const { return m_activeAttemptID == attemptID; }

    const std::optional<TriggerReason>& activeTrigger() const { return m_activeTrigger; }
    const std::optional<std::string>& activeAttemptID() const { return m_activeAttemptID; }
    const std::vector<DetectedDrive>& targets() const { return m_targets; }
    // Each drive once, in the order it was taken off.
    const std::vector<DetectedDrive>& successfulTargets() const { return m_successfulTargets; }
    const std::set<std::string>& workingDriveIDs() const { return m_workingDriveIDs; }
    const std::set<std::string>& attentionDriveIDs() const { return m_attentionDriveIDs; }

    // Opens an attempt under a fresh id with these targets, nothing taken off
    // yet; `wakeCount` is the number of wakes seen so far, `reportNumber` the
    // number that orders this attempt's reports and words among other work.
    // Returns the id.
    std::string begin(std::vector<DetectedDrive> targets, std::uint64_t wakeCount,
                      std::uint64_t reportNumber);
    // When the current (or last) attempt began: its number, and the wakes seen then.
    WakeRemountQueue::QueuedBy begun() const { return {m_reportNumber, m_startedAtWake}; }
    // The targets are being ejected: they leave the attention set and become the
    // working set. With a trigger, the trigger marks the action as running too.
    void markWorking(std::optional<TriggerReason> trigger);
    // Drives that came since the plan join the running attempt as working targets.
    void addTargets(const std::vector<DetectedDrive>& drives);
    // The user excluded a target before its turn: it is no target any more and
    // leaves the working set (even Eject All's); true when it left.
    bool dropTarget(const std::string& driveID);
    // A target was taken off. It leaves the working set unless `staysWorking`
    // (Eject All keeps every target working to its close); true when it left.
    bool recordEjected(const DetectedDrive& drive, bool staysWorking);
    // The drive's command is done: it leaves the working set before it is
    // booked; true when it left.
    bool leaveWorking(const std::string& driveID) { return m_workingDriveIDs.erase(driveID) > 0; }
    // Ends the current attempt: `busy` needs attention now, and nothing runs.
    void close(std::set<std::string> busy);
    // An attempt that found nothing to eject: no targets, nothing runs.
    void endWithoutTargets(bool clearAttention);
    // The close of an attempt a wake had closed already: of its busy drives,
    // those still mounted need attention too, unless another action works on them.
    void closeAfterWake(const std::set<std::string>& stillMountedBusy);

    // Whether the running attempt is a sleep attempt that began before wake
    // number `wakeCount`: the machine slept under it.
    bool interruptedByWake(std::uint64_t wakeCount) const;
    // Closes the record of that attempt, remembering `takenOff` for its own late
    // close; returns its id. Nothing runs afterwards.
    std::optional<std::string> closeByWake(std::set<std::string> takenOff);
    // What the wake counted as taken off when it closed this attempt, once; empty
    // for any other attempt.
    std::set<std::string> takeDrivesTakenOffBeforeWake(const std::string& attemptID);

    // The card's single-drive eject, which runs beside no attempt.
    bool mayEjectDriveAlone(const std::string& driveID) const;
    void markDriveWorking(const std::string& driveID);
    void endDriveWork(const std::string& driveID, bool needsAttention);
    // An excluded drive needs no attention; it stays in the working set of the
    // action that put it there, or a second eject could start under it.
    void forgetAttention(const std::string& driveID);

    // An eject command of these drives begins or ends, whichever work runs it: a
    // wake may close the attempt that began it long before it ends.
    void ejectCommandStarted(const std::vector<DetectedDrive>& drives);
    void ejectCommandEnded(const std::vector<DetectedDrive>& drives);
    // What the menu shows as being ejected: the working set, each drive whose
    // eject command runs, and each whose eject returned until the refresh after
    // it has been read (the inventory may list it mounted till then).
    std::set<std::string> drivesBeingEjected() const;

    // A drive whose eject command returned success, whichever work ran it, until
    // the refresh after it has been read: the inventory may list it mounted till
    // then, and a cut of the sleep must not count it.
    void markEjectReturned(const std::string& driveID) { m_ejectReturned.insert(driveID); }
    void refreshedAfterEject(const std::string& driveID) { m_ejectReturned.erase(driveID); }
    const std::set<std::string>& ejectReturnedDriveIDs() const { return m_ejectReturned; }

    // After a refresh: attention only for managed drives; working only for
    // drives still detected, unless `keepWorking` (Eject All's targets
    // disappear one by one while it runs).
    void keepOnly(const std::set<std::string>& detectedIDs, const std::set<std::string>& managedIDs,
                  bool keepWorking);

private:
    // No attempt, no trigger, nothing worked on.
    void endRunning();

    std::optional<TriggerReason> m_activeTrigger;
    std::optional<std::string> m_activeAttemptID;
    std::vector<DetectedDrive> m_targets;
    std::vector<DetectedDrive> m_successfulTargets;
    std::set<std::string> m_workingDriveIDs;
    std::set<std::string> m_attentionDriveIDs;
    std::uint64_t m_startedAtWake = 0;
    std::uint64_t m_reportNumber = 0;
    std::set<std::string> m_ejectReturned;
    // How many eject commands of each drive run; two roads may eject one drive.
    std::map<std::string, int> m_ejectCommands;
    // By attempt id: a second wake may close a newer attempt before the first
    // one's late close has read its own.
    std::map<std::string, std::set<std::string>> m_closedByWake;
};

} // namespace berthkeep

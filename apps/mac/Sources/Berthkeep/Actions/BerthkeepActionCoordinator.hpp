#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QCoroTask>

#include "Berthkeep/Actions/BerthkeepActionContext.hpp"
#include "Berthkeep/Actions/DriveEjecting.hpp"
#include "Berthkeep/Actions/RemountTarget.hpp"
#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"
#include "Berthkeep/Domain/TransientActionStatus.hpp"
#include "Berthkeep/Domain/TriggerReason.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Clock.hpp"

namespace berthkeep {

// Where the eject attempts of the sleep triggers, Eject All, Eject & Sleep and a
// card's group eject begin; the card's single-drive eject runs in the store
// beside it and asks the same EjectAttemptState whether an action runs. It holds
// only its services and timings; the attempt's state is the context's
// EjectAttemptState.
//
// Two roads: the planned one (sleep triggers, Eject & Sleep: the core picks the
// drives) and the explicit one (Eject All, one drive group: the caller names
// them). Both refuse while another action runs, give the attempt an id, mark the
// targets as working and then eject them one drive group at a time, each eject
// raced against the time-out, before the core summarises the attempt. Each
// attempt keeps the trigger it started with to its close.
//
// Each step reads the present: the groups are formed anew from what is left, a
// target the user excluded meanwhile is left alone, and a held sleep takes along
// a drive that came after its plan.
//
// A wake closes the store's record of a sleep attempt it interrupted. Such an
// attempt tries no further drive, but still closes: its late ejects are queued
// for remount and what it left mounted becomes the sleep-failure notice, unless
// a newer eject has reported since. Any other attempt that loses its id just
// stops.
//
// Main thread only. The owner of the context must own the coordinator too: an
// attempt that finds the context object gone after a suspension ends at once.
class BerthkeepActionCoordinator final {
public:
    using EjectOperation = std::function<QCoro::Task<void>(std::shared_ptr<CancelToken>)>;

    BerthkeepActionCoordinator(std::shared_ptr<DriveEjecting> ejector,
                               std::shared_ptr<BerthkeepCoreHandling> core, BerthkeepLogger logger,
                               Clock::Duration postEjectRefreshDelay,
                               Clock::Duration sleepTriggeredEjectTimeout,
                               std::shared_ptr<Clock> clock = LiveClock::shared());

    const std::shared_ptr<DriveEjecting>& ejector() const { return m_ejector; }
    const std::shared_ptr<BerthkeepCoreHandling>& core() const { return m_core; }
    const BerthkeepLogger& logger() const { return m_logger; }
    // The wait after the last eject of an attempt, before the core summarises it.
    Clock::Duration postEjectRefreshDelay() const { return m_postEjectRefreshDelay; }
    // The time-out of each eject.
    Clock::Duration sleepTriggeredEjectTimeout() const { return m_sleepTriggeredEjectTimeout; }

    // Return when the attempt has ended (closed, refused or abandoned); never throw.
    // The planned road ejects only the planned drives among `onlyDriveIDs`, when
    // given (what the menu showed). `followMounts`: drives the user's click found
    // being mounted; each is ejected too once its mount has ended.
    QCoro::Task<void>
    runPlannedTrigger(TriggerReason trigger, BerthkeepActionContext& context,
                      std::optional<std::set<std::string>> onlyDriveIDs = std::nullopt,
                      std::set<std::string> followMounts = {});
    QCoro::Task<void> runExplicitEject(std::vector<std::string> driveIDs, TriggerReason trigger,
                                       BerthkeepActionContext& context,
                                       std::set<std::string> followMounts = {});

    // Races the operation against the timeout. The operation's own result or
    // error when it ends first; otherwise its token is cancelled, it is awaited,
    // and DriveOperationError::timedOut() is thrown.
    QCoro::Task<void> runWithTimeout(Clock::Duration timeout, EjectOperation operation) const;

    // "no_targets", "success", "partial", "timeout" or "failed".
    static std::string telemetryResult(std::int64_t attemptedCount, std::int64_t succeededCount,
                                       const std::optional<std::string>& failureReasonCode);
    // "timeout" wins; otherwise the first code stays.
    static std::string combinedFailureReasonCode(const std::optional<std::string>& existing,
                                                 const std::string& next);
    // The in-progress panel a trigger shows, if any.
    static std::optional<TransientActionStatus> progressStatus(TriggerReason trigger,
                                                               std::size_t targetCount);

private:
    struct Attempt;

    QCoro::Task<void> executeEject(std::vector<DetectedDrive> targets, TriggerReason trigger,
                                   BerthkeepActionContext& context,
                                   std::set<std::string> followMounts);
    // One eject step; false when the attempt is to stop here (stale, or the
    // context gone). `attempt` is executeEject's, which awaits the step.
    QCoro::Task<bool> ejectGroup(EjectTargetGroup group, Attempt& attempt,
                                 BerthkeepActionContext& context);
    // Whether the attempt goes on once its id is no longer current: only a sleep
    // attempt a wake closed does, to its own close.
    bool staysAfterWake(Attempt& attempt, BerthkeepActionContext& context);
    // Takes the targets the user excluded meanwhile out of the attempt.
    void leaveExcludedAlone(std::vector<DetectedDrive>& pending, Attempt& attempt,
                            BerthkeepActionContext& context);
    // A system sleep's attempt, which holds that sleep until its drives are down.
    static bool holdsTheSleep(const Attempt& attempt);
    // Whether a mount the attempt takes along is still under way: for a held
    // sleep any managed drive's, otherwise one the user's click found. The
    // attempt looks for arrivals while it waits, so each such drive is ejected
    // as soon as it is up.
    bool waitsForAMount(const Attempt& attempt, BerthkeepActionContext& context) const;
    // The drives that became targets since: for a held sleep still held, the
    // managed drives mounted since the plan (none of `seen`); otherwise those
    // the click found being mounted that are up now.
    std::vector<DetectedDrive> arrivals(Attempt& attempt, std::set<std::string>& seen,
                                        BerthkeepActionContext& context);
    // Each failed drive as the refreshed inventory shows it: pulled out, down
    // after all, or still there.
    void settleFailedDrives(Attempt& attempt, BerthkeepActionContext& context);
    void closeAttempt(Attempt& attempt, BerthkeepActionContext& context);
    void abandonAttempt(const Attempt& attempt, BerthkeepActionContext& context);
    // The core's plan for the trigger over the drives as they are now.
    BerthkeepActionPlan planFor(TriggerReason trigger, BerthkeepActionContext& context) const;
    void skipBusy(TriggerReason trigger, const char* message, BerthkeepActionContext& context);
    void endWithoutTargets(TriggerReason trigger, bool clearAttention,
                           BerthkeepActionContext& context);
    // Marks the targets as working (with `running` as the trigger that marks the
    // action, none for Eject All) and shows the trigger's progress panel, if any.
    void startEject(TriggerReason trigger, std::optional<TriggerReason> running,
                    BerthkeepActionContext& context);

    // A target that is no longer attached: failed, without a command.
    void bookGone(const DetectedDrive& drive, const std::string& groupDriveCount, Attempt& attempt);
    void recordSuccessfulEject(const DetectedDrive& drive, const Attempt& attempt,
                               bool allowGrouping, std::set<std::string>& successfulDriveIDs,
                               BerthkeepActionContext& context);
    // Queues the drive for the wake, when the attempt is a sleep's.
    void scheduleWakeRemountIfNeeded(const DetectedDrive& drive, const Attempt& attempt,
                                     bool allowGrouping, BerthkeepActionContext& context);
    std::vector<RemountTarget> chosenWakeRemountTargets(const std::vector<DetectedDrive>& targets,
                                                        const std::set<std::string>& successful,
                                                        BerthkeepActionContext& context) const;

    void recordEjectAttempt(TriggerReason trigger, std::size_t targetCount,
                            BerthkeepActionContext& context) const;
    void recordEjectResult(std::optional<TriggerReason> trigger, std::size_t attemptedCount,
                           std::size_t succeededCount, const std::string& result,
                           const std::optional<std::string>& failureReasonCode,
                           BerthkeepActionContext& context) const;

    std::shared_ptr<DriveEjecting> m_ejector;
    std::shared_ptr<BerthkeepCoreHandling> m_core;
    BerthkeepLogger m_logger;
    Clock::Duration m_postEjectRefreshDelay;
    Clock::Duration m_sleepTriggeredEjectTimeout;
    std::shared_ptr<Clock> m_clock;
    // The attempt whose progress panel is up: the last one to show one, until its
    // result replaces it or it is abandoned and takes the panel down.
    std::optional<std::string> m_progressPanelAttemptID;
};

} // namespace berthkeep

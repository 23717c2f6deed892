#include "Berthkeep/Actions/BerthkeepActionCoordinator.hpp"

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <exception>
#include <map>

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Actions/EjectOutcome.hpp"
#include "Berthkeep/Domain/DriveCountText.hpp"
#include "Berthkeep/MenuBar/TransientActionStatusPresenting.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepShared/WithTimeout.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"

namespace berthkeep {

namespace {

constexpr auto reliability = BerthkeepLogCategory::reliability;
// How often a held sleep looks whether a mount under way has ended.
constexpr Clock::Duration kMountPollInterval = std::chrono::milliseconds(250);

std::string joinedNames(const std::vector<DetectedDrive>& drives) {
    std::string text;
    for (const DetectedDrive& drive : drives) {
        text += (text.empty() ? "" : ", ") + drive.name();
    }
    return text;
}

// The mount point itself: a folder URL's local file ends with a slash.
std::string mountPath(const DetectedDrive& drive) {
    if (!drive.mountURL()) {
        return {};
    }
    std::string path = drive.mountURL()->toLocalFile().toStdString();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::vector<std::string> idsOf(const std::vector<DetectedDrive>& drives) {
    std::vector<std::string> ids;
    for (const DetectedDrive& drive : drives) {
        ids.push_back(drive.id());
    }
    return ids;
}

// The panel an attempt's result shows: only the two menu actions show one; a
// card's group eject shows its drives' states on the cards themselves.
std::optional<TransientActionStatusAction> resultAction(TriggerReason trigger) {
    switch (trigger) {
    case TriggerReason::manualEjectAndSleep:
        return TransientActionStatusAction::ejectAndSleep;
    case TriggerReason::manualEjectAll:
        return TransientActionStatusAction::ejectAll;
    case TriggerReason::manualRetry:
    case TriggerReason::systemSleep:
    case TriggerReason::lidCloseSleep:
        break;
    }
    return std::nullopt;
}

// The system's own sleeps, which wait for their attempt under a hold.
bool isHeldSleepTrigger(TriggerReason trigger) {
    return trigger == TriggerReason::systemSleep || trigger == TriggerReason::lidCloseSleep;
}

// During Eject All every target stays working until the close.
bool staysWorkingToClose(TriggerReason trigger) {
    return trigger == TriggerReason::manualEjectAll;
}

bool isTimeout(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const DriveOperationError& failure) {
        return failure.code() == DriveOperationError::timedOutCode;
    } catch (...) {
        return false;
    }
}

// "auto" for the triggers the system starts, "manual" for the user's.
std::string telemetryPrefix(TriggerReason trigger) {
    return trigger == TriggerReason::systemSleep || trigger == TriggerReason::lidCloseSleep
               ? "auto"
               : "manual";
}

QCoro::Task<void> sendAnonymousImprovement(std::shared_ptr<BerthkeepTelemetryController> controller,
                                           std::string name, BerthkeepTelemetryPayload payload) {
    if (controller) {
        co_await controller->recordAnonymousImprovement(std::move(name), std::move(payload));
    }
}

} // namespace

// What one call of executeEject carries from group to group.
struct BerthkeepActionCoordinator::Attempt {
    std::string id;
    TriggerReason trigger;
    bool sleepTrigger = false;
    std::vector<DetectedDrive> targets;
    std::set<std::string> successfulDriveIDs;
    std::set<std::string> failedDriveIDs;
    // What each failed eject threw: the settling at the close reads it.
    std::map<std::string, std::exception_ptr> failures;
    // Settled at the close: no longer attached, neither ejected nor busy.
    std::set<std::string> leftDriveIDs;
    std::optional<std::string> failureCode;
    // When the attempt began: its number orders its reports (they stand until a
    // later one's come) and puts it under the user's later words; the wakes
    // seen then say which wake brings its drives back.
    WakeRemountQueue::QueuedBy begun;
    // Taken down by this attempt's own commands, each of which returned success.
    std::set<std::string> ejectedByCommand;
    // Found being mounted by the user's click: each is ejected once it is up.
    std::set<std::string> mountsToFollow;
    // A wake closed the store's record of this sleep attempt; it no longer
    // touches the running state, which may belong to a newer attempt now.
    bool closedByWake = false;
    // What it had taken down when the wake closed it: the wake queued those,
    // and what became of them since is the wake's and the user's doing.
    std::set<std::string> takenDownBeforeWake;
};

BerthkeepActionCoordinator::BerthkeepActionCoordinator(std::shared_ptr<DriveEjecting> ejector,
                                                       std::shared_ptr<BerthkeepCoreHandling> core,
                                                       BerthkeepLogger logger,
                                                       Clock::Duration postEjectRefreshDelay,
                                                       Clock::Duration sleepTriggeredEjectTimeout,
                                                       std::shared_ptr<Clock> clock)
    : m_ejector(std::move(ejector))
    , m_core(std::move(core))
    , m_logger(std::move(logger))
    , m_postEjectRefreshDelay(postEjectRefreshDelay)
    , m_sleepTriggeredEjectTimeout(sleepTriggeredEjectTimeout)
    , m_clock(clock ? std::move(clock) : LiveClock::shared()) {}

// ---- the two roads ----------------------------------------------------------

QCoro::Task<void> BerthkeepActionCoordinator::runPlannedTrigger(
    TriggerReason trigger, BerthkeepActionContext& context,
    std::optional<std::set<std::string>> onlyDriveIDs, std::set<std::string> followMounts) {
    EjectAttemptState& state = context.ejectAttempt();
    if (state.isRunning()) {
        skipBusy(trigger, "Ignoring trigger because another action is already running", context);
        co_return;
    }
    context.setLastObservedTrigger(trigger);

    const BerthkeepActionPlan plan = planFor(trigger, context);
    std::vector<DetectedDrive> targets = context.drives(plan.targetDriveIDs);
    if (onlyDriveIDs) {
        std::erase_if(targets, [&onlyDriveIDs](const DetectedDrive& drive) {
            return !onlyDriveIDs->contains(drive.id());
        });
    }
    const std::string attemptID =
        state.begin(targets, context.wakeCount(), context.takeReportNumber());
    m_logger.notice(reliability, "reliability.trigger.started",
                    "Starting managed-drive action trigger",
                    {{"attempt_id", attemptID},
                     {"trigger", label(trigger)},
                     {"drive_count", std::to_string(targets.size())},
                     {"drive_names", joinedNames(targets)}});

    const bool nothingPlanned =
        plan.disposition == BerthkeepActionPlan::Disposition::noTargets || targets.empty();
    // A drive being mounted is the held sleep's to eject once it is up.
    const bool mountToAwait =
        (isHeldSleepTrigger(trigger) && context.isMountHoldingSleep()) || !followMounts.empty();
    if (nothingPlanned && !mountToAwait) {
        // Nothing was ejected, so nobody acted on a queued drive: the queue
        // stays for the next wake, whatever the trigger.
        endWithoutTargets(trigger, true, context);
        m_logger.notice(reliability, "reliability.trigger.no_targets",
                        "Trigger found no managed drives",
                        {{"attempt_id", attemptID},
                         {"trigger", label(trigger)},
                         {"preserved_pending_remount_count",
                          std::to_string(context.wakeRemountQueue().size())}});
        recordEjectAttempt(trigger, 0, context);
        recordEjectResult(trigger, 0, 0, "no_targets", std::nullopt, context);
        co_return;
    }
    recordEjectAttempt(trigger, targets.size(), context);
    startEject(trigger, trigger, context);
    co_await executeEject(std::move(targets), trigger, context, std::move(followMounts));
}

QCoro::Task<void> BerthkeepActionCoordinator::runExplicitEject(std::vector<std::string> driveIDs,
                                                               TriggerReason trigger,
                                                               BerthkeepActionContext& context,
                                                               std::set<std::string> followMounts) {
    EjectAttemptState& state = context.ejectAttempt();
    if (state.isRunning()) {
        skipBusy(trigger, "Ignoring explicit eject because another action is already running",
                 context);
        co_return;
    }
    context.setLastObservedTrigger(trigger);

    std::vector<DetectedDrive> targets;
    for (DetectedDrive& drive : context.drives(driveIDs)) {
        if (drive.isMounted()) {
            targets.push_back(std::move(drive));
        }
    }
    const std::string attemptID =
        state.begin(targets, context.wakeCount(), context.takeReportNumber());
    m_logger.notice(reliability, "reliability.trigger.started", "Starting explicit drive eject",
                    {{"attempt_id", attemptID},
                     {"trigger", label(trigger)},
                     {"drive_count", std::to_string(targets.size())},
                     {"drive_names", joinedNames(targets)}});
    if (targets.empty()) {
        endWithoutTargets(trigger, false, context);
        recordEjectAttempt(trigger, 0, context);
        recordEjectResult(trigger, 0, 0, "no_targets", std::nullopt, context);
        co_return;
    }
    recordEjectAttempt(trigger, targets.size(), context);
    std::optional<TriggerReason> running = trigger;
    if (trigger == TriggerReason::manualEjectAll) {
        // Only the working drives mark Eject All as running, until its close.
        running.reset();
        m_logger.notice(reliability, "reliability.eject.manual_all.mode",
                        "Eject All defers workingDriveIDs cleanup until the attempt completes",
                        {{"drive_count", std::to_string(targets.size())}});
    }
    startEject(trigger, running, context);
    co_await executeEject(std::move(targets), trigger, context, std::move(followMounts));
}

BerthkeepActionPlan BerthkeepActionCoordinator::planFor(TriggerReason trigger,
                                                        BerthkeepActionContext& context) const {
    const auto& attention = context.ejectAttempt().attentionDriveIDs();
    return m_core->planAction({trigger, context.coreDrives(),
                               std::vector<std::string>(attention.begin(), attention.end())});
}

void BerthkeepActionCoordinator::skipBusy(TriggerReason trigger, const char* message,
                                          BerthkeepActionContext& context) {
    m_logger.notice(reliability, "reliability.trigger.skipped", message,
                    {{"trigger", label(trigger)}});
    recordEjectAttempt(trigger, 0, context);
    recordEjectResult(trigger, 0, 0, "skipped_busy", std::nullopt, context);
    if (trigger != TriggerReason::systemSleep && trigger != TriggerReason::lidCloseSleep) {
        return;
    }
    // The system sleeps all the same: the drives this trigger could not take off
    // must not go to sleep unreported.
    const std::size_t mounted = context.recordDrivesSleepingMounted();
    if (mounted == 0) {
        return;
    }
    m_logger.notice(reliability, "sleep.trigger.skipped_busy.notice_recorded",
                    "Recorded a sleep failure notice because another action was running",
                    {{"trigger", label(trigger)}, {"failed_drive_count", std::to_string(mounted)}});
}

void BerthkeepActionCoordinator::endWithoutTargets(TriggerReason trigger, bool clearAttention,
                                                   BerthkeepActionContext& context) {
    context.ejectAttempt().endWithoutTargets(clearAttention);
    const BerthkeepActionSummaryOutput output =
        m_core->summarizeAction({trigger, {}, context.mountedManagedDriveIDs(), {}});
    const std::uint64_t reportNumber = context.ejectAttempt().begun().number;
    context.recordLastAction(output.lastAction, reportNumber);
    context.recordSleepFailureNotice(std::nullopt, reportNumber);
    context.rebuildCurrentState();
}

void BerthkeepActionCoordinator::startEject(TriggerReason trigger,
                                            std::optional<TriggerReason> running,
                                            BerthkeepActionContext& context) {
    EjectAttemptState& state = context.ejectAttempt();
    state.markWorking(running);
    context.rebuildCurrentState();
    if (const auto status = progressStatus(trigger, state.targets().size())) {
        context.transientActionStatusPresenter().present(*status);
        m_progressPanelAttemptID = state.activeAttemptID();
    }
}

std::optional<TransientActionStatus>
BerthkeepActionCoordinator::progressStatus(TriggerReason trigger, std::size_t targetCount) {
    const std::string detail = driveCountText(static_cast<std::int64_t>(targetCount));
    switch (trigger) {
    case TriggerReason::manualEjectAndSleep:
        return TransientActionStatus{TransientActionStatusAction::ejectAndSleep,
                                     "Preparing for sleep...", detail,
                                     TransientActionStatusTone::progress};
    case TriggerReason::manualEjectAll:
        return TransientActionStatus{TransientActionStatusAction::ejectAll, "Ejecting drives...",
                                     detail, TransientActionStatusTone::progress};
    case TriggerReason::manualRetry:
    case TriggerReason::systemSleep:
    case TriggerReason::lidCloseSleep:
        break;
    }
    return std::nullopt;
}

// ---- the time-out race ------------------------------------------------------

QCoro::Task<void> BerthkeepActionCoordinator::runWithTimeout(Clock::Duration timeout,
                                                             EjectOperation operation) const {
    const bool finished = co_await withTimeout(operation, timeout, m_clock);
    if (!finished) {
        throw DriveOperationError::timedOut();
    }
}

// ---- eject execution --------------------------------------------------------

QCoro::Task<void> BerthkeepActionCoordinator::executeEject(std::vector<DetectedDrive> targets,
                                                           TriggerReason trigger,
                                                           BerthkeepActionContext& context,
                                                           std::set<std::string> followMounts) {
    // Checked after every suspension: the context's owner also owns `this`.
    const QPointer<QObject> guard(context.contextObject());
    EjectAttemptState& state = context.ejectAttempt();
    Attempt attempt;
    attempt.id = state.activeAttemptID().value_or("");
    attempt.trigger = trigger;
    attempt.sleepTrigger = isSleepTrigger(trigger);
    attempt.begun = state.begun();
    attempt.mountsToFollow = std::move(followMounts);
    attempt.targets = std::move(targets);
    // What the plan saw: only a drive that comes after it is taken along later.
    std::set<std::string> seen;
    for (const std::vector<std::string>& ids :
         {idsOf(attempt.targets), context.mountedManagedDriveIDs()}) {
        seen.insert(ids.begin(), ids.end());
    }

    // The groups are formed anew at each step from what is left, as the drives
    // are now: an exclusion made meanwhile changes what is ejected and how.
    std::vector<DetectedDrive> pending = attempt.targets;
    // The plan's own step, even an empty one, ends with the post-eject delay.
    bool stepsRan = true;
    bool waitLogged = false;
    for (;;) {
        while (!pending.empty()) {
            if (attempt.closedByWake || !state.isCurrent(attempt.id)) {
                m_logger.notice(reliability, "reliability.eject.aborted",
                                "Aborting stale eject attempt", {{"attempt_id", attempt.id}});
                if (!staysAfterWake(attempt, context)) {
                    co_return;
                }
                // The machine is awake again: the drives not reached slept mounted.
                for (const DetectedDrive& member : pending) {
                    if (!attempt.successfulDriveIDs.contains(member.id())) {
                        attempt.failedDriveIDs.insert(member.id());
                    }
                }
                pending.clear();
                break;
            }
            leaveExcludedAlone(pending, attempt, context);
            if (pending.empty()) {
                break;
            }
            const EjectTargetGroup group = context.ejectTargetGroups(pending).front();
            std::erase_if(pending, [&group](const DetectedDrive& drive) {
                return std::any_of(
                    group.members.begin(), group.members.end(),
                    [&drive](const DetectedDrive& member) { return member.id() == drive.id(); });
            });
            // `attempt` and `context` outlive the step: it is awaited here.
            const bool goOn = co_await ejectGroup(group, attempt, context);
            if (!guard || !goOn) {
                co_return;
            }
        }

        if (stepsRan && m_postEjectRefreshDelay > Clock::Duration::zero()) {
            co_await m_clock->sleep(m_postEjectRefreshDelay);
            if (!guard) {
                co_return;
            }
        }
        if (!staysAfterWake(attempt, context)) {
            co_return;
        }
        // Each drive is taken as soon as it is up: one whose mount ended goes
        // down while another mount still runs.
        pending = arrivals(attempt, seen, context);
        stepsRan = !pending.empty();
        if (stepsRan) {
            continue;
        }
        if (!waitsForAMount(attempt, context)) {
            break;
        }
        if (!waitLogged) {
            waitLogged = true;
            m_logger.notice(reliability, "reliability.eject.waiting_for_mount",
                            holdsTheSleep(attempt)
                                ? "Holding the sleep until a drive's mount ends"
                                : "Waiting for a drive's mount to end before ejecting it",
                            {{"attempt_id", attempt.id}});
        }
        co_await m_clock->sleep(kMountPollInterval);
        if (!guard) {
            co_return;
        }
    }
    closeAttempt(attempt, context);
}

QCoro::Task<bool> BerthkeepActionCoordinator::ejectGroup(EjectTargetGroup group, Attempt& attempt,
                                                         BerthkeepActionContext& context) {
    const QPointer<QObject> guard(context.contextObject());
    EjectAttemptState& state = context.ejectAttempt();
    if (group.members.empty()) {
        co_return true;
    }
    std::vector<DetectedDrive> mounted;
    for (const DetectedDrive& member : group.members) {
        if (context.isCurrentlyMounted(member.id())) {
            mounted.push_back(member);
        }
    }
    const DetectedDrive representative = mounted.empty() ? group.members.front() : mounted.front();
    const bool allowGrouping = attempt.sleepTrigger && context.allowsGroupedWakeRemount(group.id);
    const std::string groupDriveCount = std::to_string(group.members.size());

    if (mounted.empty()) {
        for (const DetectedDrive& member : group.members) {
            // Pulled out since the attempt began (an earlier refresh lost
            // it): not ejected, and the user hears it is gone.
            if (context.drives({member.id()}).empty()) {
                bookGone(member, groupDriveCount, attempt);
                continue;
            }
            recordSuccessfulEject(member, attempt, allowGrouping, attempt.successfulDriveIDs,
                                  context);
            m_logger.notice(reliability, "reliability.eject.drive.already_unmounted",
                            "Drive was already unmounted before its eject step ran",
                            {{"attempt_id", attempt.id},
                             {"drive_id", member.id()},
                             {"drive_name", member.name()}});
        }
        co_return true;
    }

    const auto& bsdName = representative.bsdName();
    const bool volumeMode = group.mode == DriveEjectMode::volume;
    const auto& ejectTarget = volumeMode ? bsdName : representative.ejectTargetBSDName();
    m_logger.notice(reliability, "reliability.eject.drive.started",
                    "Eject attempt started for drive",
                    {{"attempt_id", attempt.id},
                     {"drive_id", representative.id()},
                     {"drive_name", representative.name()},
                     {"mount_path", mountPath(representative)},
                     {"bsd_name", bsdName.value_or("")},
                     {"eject_target_bsd_name", ejectTarget ? *ejectTarget : bsdName.value_or("")},
                     {"eject_mode", volumeMode ? "volume" : "device"}});

    state.ejectCommandStarted(group.members);
    std::exception_ptr failure;
    try {
        if (m_sleepTriggeredEjectTimeout > Clock::Duration::zero()) {
            EjectOperation operation = [ejector = m_ejector, representative,
                                        mode = group.mode](std::shared_ptr<CancelToken> token) {
                return ejector->eject(representative, mode, std::move(token));
            };
            co_await runWithTimeout(m_sleepTriggeredEjectTimeout, std::move(operation));
        } else {
            co_await m_ejector->eject(representative, group.mode, nullptr);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!guard) {
        co_return false;
    }
    state.ejectCommandEnded(group.members);

    if (!failure) {
        if (!state.isCurrent(attempt.id) && !attempt.closedByWake) {
            m_logger.notice(reliability, "reliability.eject.aborted",
                            attempt.sleepTrigger
                                ? "Eject attempt completed after wake; the drive is queued "
                                  "for remount"
                                : "Eject attempt completed after wake and was ignored",
                            {{"attempt_id", attempt.id},
                             {"drive_id", representative.id()},
                             {"drive_name", representative.name()}});
        }
        // A stale attempt must not touch the working set of the one that replaced it.
        if (!staysAfterWake(attempt, context)) {
            co_return false;
        }
        // Seen ejected from here on: a cut of the hold during the refresh below
        // must not count it among the drives that slept mounted.
        const std::vector<DetectedDrive> down =
            group.members.size() >= 2 ? group.members : std::vector<DetectedDrive>{representative};
        for (const DetectedDrive& member : down) {
            attempt.ejectedByCommand.insert(member.id());
            state.markEjectReturned(member.id());
        }
        if (!attempt.closedByWake &&
            state.recordEjected(representative, staysWorkingToClose(attempt.trigger))) {
            context.rebuildCurrentState();
        }
        if (group.members.size() >= 2) {
            for (const DetectedDrive& member : group.members) {
                recordSuccessfulEject(member, attempt, allowGrouping, attempt.successfulDriveIDs,
                                      context);
            }
        }
        co_await context.refreshInventoryAfterEjectAttempt(attempt.sleepTrigger);
        if (!guard) {
            co_return false;
        }
        for (const DetectedDrive& member : down) {
            state.refreshedAfterEject(member.id());
        }
        if (!staysAfterWake(attempt, context)) {
            co_return false;
        }
        if (!attempt.successfulDriveIDs.contains(representative.id())) {
            recordSuccessfulEject(representative, attempt, allowGrouping,
                                  attempt.successfulDriveIDs, context);
        }
        m_logger.notice(reliability, "reliability.eject.drive.succeeded",
                        "Eject attempt succeeded for drive",
                        {{"attempt_id", attempt.id},
                         {"drive_id", representative.id()},
                         {"drive_name", representative.name()},
                         {"group_drive_count", groupDriveCount}});
        co_return true;
    }

    for (const DetectedDrive& member : group.members) {
        attempt.failedDriveIDs.insert(member.id());
        attempt.failures[member.id()] = failure;
    }
    attempt.failureCode = combinedFailureReasonCode(
        attempt.failureCode, isTimeout(failure) ? "timeout" : "eject_failed");
    co_await context.refreshInventoryAfterEjectAttempt(attempt.sleepTrigger);
    if (!guard || !staysAfterWake(attempt, context)) {
        co_return false;
    }
    m_logger.error(reliability, "reliability.eject.drive.failed", "Eject attempt failed for drive",
                   {{"attempt_id", attempt.id},
                    {"drive_id", representative.id()},
                    {"drive_name", representative.name()},
                    {"group_drive_count", groupDriveCount},
                    {"error", DriveOperationError::describe(failure)}});
    co_return true;
}

bool BerthkeepActionCoordinator::staysAfterWake(Attempt& attempt, BerthkeepActionContext& context) {
    EjectAttemptState& state = context.ejectAttempt();
    if (attempt.closedByWake || state.isCurrent(attempt.id)) {
        return true;
    }
    abandonAttempt(attempt, context);
    if (!attempt.sleepTrigger) {
        return false;
    }
    attempt.closedByWake = true;
    for (const std::string& id : state.takeDrivesTakenOffBeforeWake(attempt.id)) {
        attempt.successfulDriveIDs.insert(id);
    }
    attempt.takenDownBeforeWake = attempt.successfulDriveIDs;
    return true;
}

void BerthkeepActionCoordinator::leaveExcludedAlone(std::vector<DetectedDrive>& pending,
                                                    Attempt& attempt,
                                                    BerthkeepActionContext& context) {
    std::erase_if(pending, [this, &attempt, &context](const DetectedDrive& drive) {
        if (!context.isExcluded(drive.id())) {
            return false;
        }
        std::erase_if(attempt.targets,
                      [&drive](const DetectedDrive& target) { return target.id() == drive.id(); });
        if (context.ejectAttempt().dropTarget(drive.id())) {
            context.rebuildCurrentState();
        }
        m_logger.notice(
            reliability, "reliability.eject.drive.excluded",
            "Left a drive the user excluded before its eject step",
            {{"attempt_id", attempt.id}, {"drive_id", drive.id()}, {"drive_name", drive.name()}});
        return true;
    });
}

bool BerthkeepActionCoordinator::holdsTheSleep(const Attempt& attempt) {
    return !attempt.closedByWake && isHeldSleepTrigger(attempt.trigger);
}

bool BerthkeepActionCoordinator::waitsForAMount(const Attempt& attempt,
                                                BerthkeepActionContext& context) const {
    if (attempt.closedByWake || !context.ejectAttempt().isCurrent(attempt.id)) {
        return false;
    }
    if (holdsTheSleep(attempt)) {
        return context.isMountHoldingSleep();
    }
    return std::any_of(attempt.mountsToFollow.begin(), attempt.mountsToFollow.end(),
                       [&context](const std::string& id) { return context.isBeingMounted(id); });
}

std::vector<DetectedDrive> BerthkeepActionCoordinator::arrivals(Attempt& attempt,
                                                                std::set<std::string>& seen,
                                                                BerthkeepActionContext& context) {
    // A held sleep must not go ahead with a drive mounted that the user plugged
    // in meanwhile. The menu's actions keep to what the menu showed, and take
    // only the drives they found being mounted, once, when their mount is up.
    const bool held = holdsTheSleep(attempt);
    std::vector<std::string> ids;
    if (held && !context.isSleepHeld()) {
        // Cut: the system went to sleep without this drive; it is in the notice.
        return {};
    }
    if (held) {
        std::set<std::string> fresh;
        for (const std::string& id : context.mountedManagedDriveIDs()) {
            if (seen.insert(id).second) {
                fresh.insert(id);
            }
        }
        if (!fresh.empty()) {
            ids = planFor(attempt.trigger, context).targetDriveIDs;
            std::erase_if(ids, [&fresh](const std::string& id) { return !fresh.contains(id); });
        }
    } else {
        std::erase_if(attempt.mountsToFollow, [&context, &ids](const std::string& id) {
            if (context.isBeingMounted(id)) {
                return false;
            }
            if (context.isCurrentlyMounted(id)) {
                ids.push_back(id);
            }
            return true;
        });
    }
    std::vector<DetectedDrive> came = context.drives(ids);
    if (came.empty()) {
        return {};
    }
    attempt.targets.insert(attempt.targets.end(), came.begin(), came.end());
    context.ejectAttempt().addTargets(came);
    context.rebuildCurrentState();
    m_logger.notice(reliability, "reliability.eject.arrivals",
                    held ? "Taking along drives that came during the sleep eject"
                         : "Taking along drives whose mount ended during the eject",
                    {{"attempt_id", attempt.id},
                     {"drive_count", std::to_string(came.size())},
                     {"drive_names", joinedNames(came)}});
    return came;
}

void BerthkeepActionCoordinator::settleFailedDrives(Attempt& attempt,
                                                    BerthkeepActionContext& context) {
    // The refreshed inventory holds where it and the command disagree. A drive
    // never reached has no failure of its own: it slept mounted, unless it was
    // pulled out meanwhile.
    for (const DetectedDrive& target : attempt.targets) {
        const std::string& id = target.id();
        if (!attempt.failedDriveIDs.contains(id)) {
            continue;
        }
        const bool listed = !context.drives({id}).empty();
        const auto failure = attempt.failures.find(id);
        if (failure == attempt.failures.end()) {
            if (!listed) {
                attempt.failedDriveIDs.erase(id);
                attempt.leftDriveIDs.insert(id);
            }
            continue;
        }
        switch (settledEjectOutcome(failure->second, listed, context.isCurrentlyMounted(id))) {
        case EjectOutcome::notAttached:
            attempt.failedDriveIDs.erase(id);
            attempt.leftDriveIDs.insert(id);
            break;
        case EjectOutcome::ejected:
            // Past a wake a drive down now was taken down by someone else (the
            // user, after the wake): its own eject failed, and it slept mounted.
            if (!attempt.closedByWake) {
                attempt.failedDriveIDs.erase(id);
                attempt.successfulDriveIDs.insert(id);
            }
            break;
        case EjectOutcome::stillMounted:
            break;
        }
    }
}

void BerthkeepActionCoordinator::closeAttempt(Attempt& attempt, BerthkeepActionContext& context) {
    settleFailedDrives(attempt, context);
    std::set<std::string> remaining(attempt.failedDriveIDs);
    for (const std::string& id : context.mountedManagedDriveIDs()) {
        remaining.insert(id);
    }
    std::vector<DetectedDrive> attempted = attempt.targets;
    std::erase_if(attempted, [&attempt](const DetectedDrive& drive) {
        return attempt.leftDriveIDs.contains(drive.id());
    });
    BerthkeepActionSummaryInput input;
    input.trigger = attempt.trigger;
    input.attemptedDriveIDs = idsOf(attempted);
    input.remainingManagedDriveIDs.assign(remaining.begin(), remaining.end());
    input.confirmedSuccessfulDriveIDs.assign(attempt.successfulDriveIDs.begin(),
                                             attempt.successfulDriveIDs.end());
    const BerthkeepActionSummaryOutput output = m_core->summarizeAction(input);
    const std::set<std::string> busy(output.busyDriveIDs.begin(), output.busyDriveIDs.end());

    for (const DetectedDrive& target : attempted) {
        if (!busy.contains(target.id())) {
            attempt.successfulDriveIDs.insert(target.id());
        }
    }
    EjectAttemptState& state = context.ejectAttempt();
    if (attempt.closedByWake) {
        std::set<std::string> stillMounted;
        for (const std::string& id : busy) {
            if (context.isCurrentlyMounted(id)) {
                stillMounted.insert(id);
            }
        }
        state.closeAfterWake(stillMounted);
    } else {
        state.close(busy);
    }

    // The user's own ejects (Eject All, a group) took their drives off the wake
    // queue when they began; what it holds of other drives is still the
    // program's to bring back.
    WakeRemountQueue& queue = context.wakeRemountQueue();
    if (attempt.sleepTrigger) {
        // Past a wake, only what its own commands took down after the wake and
        // is still down; the queue refuses any the user has spoken about since.
        std::set<std::string> toQueue =
            attempt.closedByWake ? attempt.ejectedByCommand : attempt.successfulDriveIDs;
        if (attempt.closedByWake) {
            std::erase_if(toQueue, [&attempt, &context](const std::string& id) {
                return attempt.takenDownBeforeWake.contains(id) || context.isCurrentlyMounted(id);
            });
        }
        const std::vector<RemountTarget> fresh =
            chosenWakeRemountTargets(attempt.targets, toQueue, context);
        const std::size_t preserved = queue.size();
        queue.merge(fresh, attempt.begun);
        m_logger.notice(reliability, "sleep.wake.remount.scheduled",
                        "Queued remount targets for the next wake",
                        queue.scheduledMetadata(fresh.size(), preserved));
    }

    // A report of work begun since (a newer eject's after a wake, or the notice
    // of what slept mounted when the system slept under this attempt) stays.
    context.recordLastAction(output.lastAction, attempt.begun.number);
    context.recordSleepFailureNotice(output.pendingSleepFailureNotification, attempt.begun.number);
    context.rebuildCurrentState();

    const std::size_t stillBusy = output.busyDriveIDs.size();
    const std::size_t ejected = attempted.size() > stillBusy ? attempted.size() - stillBusy : 0;
    const auto ejectedCount = static_cast<std::int64_t>(ejected);
    // The panel names a drive that was pulled out apart from the ejected and the busy.
    const auto goneCount = static_cast<std::int64_t>(attempt.leftDriveIDs.size());
    const auto stillBusyCount = static_cast<std::int64_t>(stillBusy);
    if (m_progressPanelAttemptID == attempt.id) {
        // The result below replaces the progress panel.
        m_progressPanelAttemptID.reset();
    }
    if (attempt.closedByWake) {
        // Past the wake: no panel; the notice goes out and the drives ejected
        // late are mounted again with the wake queue.
        m_logger.notice(
            reliability, "reliability.eject.closed_after_wake",
            "Closed a sleep eject attempt that a wake interrupted",
            {{"attempt_id", attempt.id}, {"still_mounted_count", std::to_string(stillBusy)}});
        context.triggerWakeRemountCatchUpIfNeeded();
    } else if (const auto action = resultAction(attempt.trigger)) {
        context.transientActionStatusPresenter().present(TransientActionStatus::result(
            *action, ejectedCount, stillBusyCount, std::nullopt, goneCount));
    }
    m_logger.notice(reliability, "reliability.eject.finished", "Eject attempt finished",
                    {{"attempt_id", attempt.id},
                     {"ejected_count", std::to_string(ejected)},
                     {"still_busy_count", std::to_string(stillBusy)},
                     {"resulting_state", context.currentGlobalStateHeaderCopy()}});
    recordEjectResult(attempt.trigger, attempted.size(), ejected,
                      telemetryResult(static_cast<std::int64_t>(attempted.size()), ejectedCount,
                                      attempt.failureCode),
                      attempt.failureCode, context);
}

void BerthkeepActionCoordinator::abandonAttempt(const Attempt& attempt,
                                                BerthkeepActionContext& context) {
    // No result replaces this attempt's progress panel; a newer attempt that
    // showed its own panel owns it now, one that showed none leaves it to us.
    if (m_progressPanelAttemptID == attempt.id) {
        m_progressPanelAttemptID.reset();
        context.transientActionStatusPresenter().dismiss();
    }
}

// ---- bookkeeping ------------------------------------------------------------

void BerthkeepActionCoordinator::bookGone(const DetectedDrive& drive,
                                          const std::string& groupDriveCount, Attempt& attempt) {
    attempt.failedDriveIDs.insert(drive.id());
    attempt.failures[drive.id()] = std::make_exception_ptr(
        DriveOperationError::noLongerAttached(DriveOperationError::ejectDomain));
    attempt.failureCode = combinedFailureReasonCode(attempt.failureCode, "eject_failed");
    m_logger.error(
        reliability, "reliability.eject.drive.failed", "Eject attempt failed for drive",
        {{"attempt_id", attempt.id},
         {"drive_id", drive.id()},
         {"drive_name", drive.name()},
         {"group_drive_count", groupDriveCount},
         {"error", DriveOperationError::noLongerAttached(DriveOperationError::ejectDomain)
                       .localizedDescription()}});
}

void BerthkeepActionCoordinator::recordSuccessfulEject(const DetectedDrive& drive,
                                                       const Attempt& attempt, bool allowGrouping,
                                                       std::set<std::string>& successfulDriveIDs,
                                                       BerthkeepActionContext& context) {
    successfulDriveIDs.insert(drive.id());
    if (attempt.closedByWake) {
        return; // the close queues it
    }
    // A drive that leaves the working set shows it at once.
    if (context.ejectAttempt().recordEjected(drive, staysWorkingToClose(attempt.trigger))) {
        context.rebuildCurrentState();
    }
    scheduleWakeRemountIfNeeded(drive, attempt, allowGrouping, context);
}

void BerthkeepActionCoordinator::scheduleWakeRemountIfNeeded(const DetectedDrive& drive,
                                                             const Attempt& attempt,
                                                             bool allowGrouping,
                                                             BerthkeepActionContext& context) {
    if (!attempt.sleepTrigger) {
        return;
    }
    // No wake remount now: a wake closes every attempt that started before it,
    // so this one is on its way to sleep and its drives wait for the next wake.
    if (std::optional<RemountTarget> target = context.wakeRemountTarget(drive, allowGrouping)) {
        context.wakeRemountQueue().add(std::move(*target), attempt.begun);
    }
}

std::vector<RemountTarget>
BerthkeepActionCoordinator::chosenWakeRemountTargets(const std::vector<DetectedDrive>& targets,
                                                     const std::set<std::string>& successful,
                                                     BerthkeepActionContext& context) const {
    std::vector<RemountTarget> chosen;
    for (const DetectedDrive& drive : targets) {
        if (!successful.contains(drive.id())) {
            continue;
        }
        // DetectedDrive resolves its group key (group id, eject target, BSD name, id).
        const bool allowGrouping = context.allowsGroupedWakeRemount(drive.ejectGroupID());
        if (auto target = context.wakeRemountTarget(drive, allowGrouping)) {
            chosen.push_back(std::move(*target));
        }
    }
    return chosen;
}

std::string
BerthkeepActionCoordinator::combinedFailureReasonCode(const std::optional<std::string>& existing,
                                                      const std::string& next) {
    if (next == "timeout" || existing == "timeout") {
        return "timeout";
    }
    return existing ? *existing : next;
}

// ---- telemetry --------------------------------------------------------------

std::string
BerthkeepActionCoordinator::telemetryResult(std::int64_t attemptedCount,
                                            std::int64_t succeededCount,
                                            const std::optional<std::string>& failureReasonCode) {
    if (attemptedCount == 0) {
        return "no_targets";
    }
    if (succeededCount == attemptedCount) {
        return "success";
    }
    if (succeededCount > 0) {
        return "partial";
    }
    return failureReasonCode == "timeout" ? "timeout" : "failed";
}

void BerthkeepActionCoordinator::recordEjectAttempt(TriggerReason trigger, std::size_t targetCount,
                                                    BerthkeepActionContext& context) const {
    BerthkeepTelemetryPayload payload{{"trigger", toString(trigger)},
                                      {"attempted_count", std::to_string(targetCount)}};
    startMainActorTask(
        [controller = context.telemetryController(),
         name = telemetryPrefix(trigger) + "_eject_attempted", payload = std::move(payload)] {
            return sendAnonymousImprovement(controller, name, payload);
        },
        "eject attempt telemetry");
}

void BerthkeepActionCoordinator::recordEjectResult(
    std::optional<TriggerReason> trigger, std::size_t attemptedCount, std::size_t succeededCount,
    const std::string& result, const std::optional<std::string>& failureReasonCode,
    BerthkeepActionContext& context) const {
    const TriggerReason named = trigger.value_or(TriggerReason::manualRetry);
    BerthkeepTelemetryPayload payload{{"trigger", toString(named)},
                                      {"attempted_count", std::to_string(attemptedCount)},
                                      {"succeeded_count", std::to_string(succeededCount)},
                                      {"result", result}};
    if (failureReasonCode) {
        payload["failure_reason_code"] = *failureReasonCode;
    }
    startMainActorTask(
        [controller = context.telemetryController(),
         name = telemetryPrefix(named) + "_eject_result", payload = std::move(payload)] {
            return sendAnonymousImprovement(controller, name, payload);
        },
        "eject result telemetry");
}

} // namespace berthkeep

#include "Berthkeep/Actions/BerthkeepActionCoordinator.hpp"

#include <QUuid>

#include <exception>

#include "Berthkeep/Actions/DriveEjectMode.hpp"
#include "Berthkeep/Domain/BerthkeepActionPlanningInput.hpp"
#include "Berthkeep/Domain/BerthkeepActionSummaryInput.hpp"

// A plain attempt (mark, eject each drive, summarise, clear) that keeps the
// store's hand-offs working until the full eject execution replaces it.

namespace berthkeep {

namespace {

bool actionRunning(const BerthkeepActionContext& context) {
    return context.activeTrigger().has_value() || !context.workingDriveIDs().empty();
}

QCoro::Task<void> ejectAttempt(std::shared_ptr<DriveEjecting> ejector,
                               std::shared_ptr<BerthkeepCoreHandling> core,
                               std::vector<DetectedDrive> targets, TriggerReason trigger,
                               BerthkeepActionContext& context) {
    std::set<std::string> working;
    std::vector<std::string> attempted;
    for (const DetectedDrive& drive : targets) {
        working.insert(drive.id());
        attempted.push_back(drive.id());
    }
    context.setLastObservedTrigger(trigger);
    context.setActiveTrigger(trigger);
    context.setActiveAttemptID(
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString());
    context.setActiveAttemptTargets(targets);
    context.setActiveAttemptSuccessfulTargets({});
    context.setWorkingDriveIDs(working);
    context.rebuildCurrentState(*core);

    std::vector<DetectedDrive> ejected;
    std::vector<std::string> confirmed;
    for (const DetectedDrive& drive : targets) {
        try {
            co_await ejector->eject(drive, DriveEjectMode::device);
            ejected.push_back(drive);
            confirmed.push_back(drive.id());
        } catch (...) {
            // Counted as still busy by the summary below.
        }
    }
    const BerthkeepActionSummaryOutput summary = core->summarizeAction(BerthkeepActionSummaryInput{
        trigger, attempted, context.mountedManagedDriveIDs(), confirmed});
    context.setActiveAttemptSuccessfulTargets(ejected);
    context.setLastActionSummary(summary.lastAction);
    context.persistLastActionSummary();
    context.setPendingSleepFailureNotification(summary.pendingSleepFailureNotification);
    context.persistPendingSleepFailureNotification();
    context.setWorkingDriveIDs({});
    context.setActiveTrigger(std::nullopt);
    context.setActiveAttemptID(std::nullopt);
    context.rebuildCurrentState(*core);
}

} // namespace

QCoro::Task<void> BerthkeepActionCoordinator::runExplicitEject(std::vector<std::string> driveIDs,
                                                               TriggerReason trigger,
                                                               BerthkeepActionContext& context) {
    if (actionRunning(context)) {
        co_return;
    }
    std::vector<DetectedDrive> targets = context.drives(driveIDs);
    co_await ejectAttempt(m_ejector, m_core, std::move(targets), trigger, context);
}

QCoro::Task<void> BerthkeepActionCoordinator::runPlannedTrigger(TriggerReason trigger,
                                                                BerthkeepActionContext& context) {
    if (actionRunning(context)) {
        co_return;
    }
    const auto& attention = context.attentionDriveIDs();
    const BerthkeepActionPlan plan = m_core->planAction(
        BerthkeepActionPlanningInput{trigger, context.coreDrives(),
                                     std::vector<std::string>(attention.begin(), attention.end())});
    std::vector<DetectedDrive> targets = context.drives(plan.targetDriveIDs);
    co_await ejectAttempt(m_ejector, m_core, std::move(targets), trigger, context);
}

} // namespace berthkeep

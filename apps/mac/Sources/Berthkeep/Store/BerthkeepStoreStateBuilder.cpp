#include "Berthkeep/Store/BerthkeepStoreStateBuilder.hpp"

#include <QString>

#include <algorithm>
#include <functional>
#include <set>

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"

namespace berthkeep {

namespace {

// The first entry of each id, in list order.
template <typename T>
std::vector<T> firstOfEachID(const std::vector<T>& items,
                             const std::function<const std::string&(const T&)>& idOf) {
    std::set<std::string> seen;
    std::vector<T> unique;
    unique.reserve(items.size());
    for (const T& item : items) {
        if (seen.insert(idOf(item)).second) {
            unique.push_back(item);
        }
    }
    return unique;
}

bool isManaged(const DetectedDrive& drive) {
    return drive.scope() == DetectedDrive::Scope::managed;
}

bool isEjectableStatus(DriveStatus status) {
    return status == DriveStatus::connected || status == DriveStatus::safe ||
           status == DriveStatus::busy;
}

// The same titles and enabling rules in both presentations.
DriveAction ejectAction(const std::string& driveID, const std::string& driveName,
                        const BerthkeepStoreStateBuilderInput& input) {
    const bool working = input.workingDriveIDs.contains(driveID);
    return DriveAction{driveID, driveName, DriveAction::Kind::eject, working ? "Ejecting" : "Eject",
                       !working};
}

DriveAction mountAction(const std::string& driveID, const std::string& driveName,
                        const BerthkeepStoreStateBuilderInput& input) {
    if (input.mountingDriveIDs.contains(driveID)) {
        return DriveAction{driveID, driveName, DriveAction::Kind::mount, "Mounting", false};
    }
    return DriveAction{driveID, driveName, DriveAction::Kind::mount, "Mount",
                       input.workingDriveIDs.empty()};
}

} // namespace

MenubarViewState
BerthkeepStoreStateBuilder::build(const BerthkeepStoreStateBuilderInput& input) const {
    const std::vector<DetectedDrive> detected = firstOfEachID<DetectedDrive>(
        input.detectedDrives,
        [](const DetectedDrive& drive) -> const std::string& { return drive.id(); });
    DriveIndex detectedDriveByID;
    for (const DetectedDrive& drive : detected) {
        detectedDriveByID.emplace(drive.id(), &drive);
    }

    MenubarViewState state;
    state.remediationAction = input.remediationAction;
    state.utilityActions = utilityActions(detected, input);

    if (const auto* output = input.presentationSource.evaluatedOutput()) {
        const std::vector<BerthkeepEvaluatedDrive> evaluated =
            firstOfEachID<BerthkeepEvaluatedDrive>(
                output->drives, [](const BerthkeepEvaluatedDrive& drive) -> const std::string& {
                    return drive.id;
                });
        state.globalState = output->globalState;
        state.primaryAction = output->primaryAction;
        state.secondaryAction = output->secondaryAction;
        state.lastAction = output->lastAction;
        state.scopeNote =
            summaryMetaNote(output->scopeNote, detected, input.adaptiveTargetedAssistEnabled);
        state.drives = driveRows(evaluated, input);
        state.driveActions = driveActions(evaluated, detectedDriveByID, input);
        state.driveGroups = driveGroups(evaluated, detectedDriveByID);
        return state;
    }

    const auto* blocked = input.presentationSource.blockedPresentation();
    state.globalState = blocked->globalState;
    state.lastAction = blocked->lastAction;
    state.scopeNote = summaryMetaNote(std::nullopt, detected, input.adaptiveTargetedAssistEnabled);
    state.drives = blockedDriveRows(detected, input);
    if (!input.activeTrigger) {
        state.driveActions = blockedDriveActions(detected, input);
    }
    std::vector<BerthkeepEvaluatedDrive> rowsAsDrives;
    rowsAsDrives.reserve(state.drives.size());
    for (const DriveRowState& row : state.drives) {
        rowsAsDrives.push_back(BerthkeepEvaluatedDrive{row.id, row.name, row.status, {}});
    }
    state.driveGroups = driveGroups(rowsAsDrives, detectedDriveByID);
    return state;
}

std::string BerthkeepStoreStateBuilder::displayName(const std::string& name) {
    QString text = QString::fromStdString(name);
    text.replace(QLatin1Char('_'), QLatin1Char(' '));
    text.replace(QLatin1Char('-'), QLatin1Char(' '));
    // Collapses every run of white space to one blank and trims both ends.
    text = text.simplified();
    return text.isEmpty() ? name : text.toStdString();
}

std::vector<DriveRowState>
BerthkeepStoreStateBuilder::driveRows(const std::vector<BerthkeepEvaluatedDrive>& drives,
                                      const BerthkeepStoreStateBuilderInput& input) {
    std::vector<DriveRowState> rows;
    rows.reserve(drives.size());
    for (const BerthkeepEvaluatedDrive& drive : drives) {
        DriveStatus status = drive.status;
        if (status == DriveStatus::notMounted && input.mountingDriveIDs.contains(drive.id)) {
            status = DriveStatus::mounting;
        }
        const DriveStatusVisibility visibility = status == DriveStatus::connected
                                                     ? DriveStatusVisibility::neutral
                                                     : DriveStatusVisibility::activity;
        rows.push_back(DriveRowState{drive.id, displayName(drive.name), status, visibility,
                                     drive.attentionReasonCodes});
    }
    return rows;
}

std::vector<DriveAction>
BerthkeepStoreStateBuilder::driveActions(const std::vector<BerthkeepEvaluatedDrive>& drives,
                                         const DriveIndex& detectedDriveByID,
                                         const BerthkeepStoreStateBuilderInput& input) {
    std::vector<DriveAction> actions;
    if (input.activeTrigger) {
        return actions;
    }
    for (const BerthkeepEvaluatedDrive& drive : drives) {
        const auto found = detectedDriveByID.find(drive.id);
        if (found == detectedDriveByID.end() || !isManaged(*found->second)) {
            continue;
        }
        const DetectedDrive& detected = *found->second;
        if (isEjectableStatus(drive.status) && detected.isMounted()) {
            actions.push_back(ejectAction(drive.id, drive.name, input));
        } else if (drive.status == DriveStatus::notMounted && detected.bsdName()) {
            actions.push_back(mountAction(drive.id, drive.name, input));
        }
    }
    return actions;
}

std::vector<DriveRowState>
BerthkeepStoreStateBuilder::blockedDriveRows(const std::vector<DetectedDrive>& drives,
                                             const BerthkeepStoreStateBuilderInput& input) {
    std::vector<DriveRowState> rows;
    rows.reserve(drives.size());
    for (const DetectedDrive& drive : drives) {
        DriveStatus status = DriveStatus::connected;
        DriveStatusVisibility visibility = DriveStatusVisibility::hidden;
        if (!isManaged(drive)) {
            status = DriveStatus::excluded;
            visibility = DriveStatusVisibility::neutral;
        } else if (!drive.isMounted()) {
            status = input.mountingDriveIDs.contains(drive.id()) ? DriveStatus::mounting
                                                                 : DriveStatus::notMounted;
            visibility = DriveStatusVisibility::activity;
        }
        rows.push_back(
            DriveRowState{drive.id(), displayName(drive.name()), status, visibility, {}});
    }
    return rows;
}

std::vector<DriveAction>
BerthkeepStoreStateBuilder::blockedDriveActions(const std::vector<DetectedDrive>& drives,
                                                const BerthkeepStoreStateBuilderInput& input) {
    std::vector<DriveAction> actions;
    for (const DetectedDrive& drive : drives) {
        if (!isManaged(drive)) {
            continue;
        }
        if (drive.isMounted()) {
            actions.push_back(ejectAction(drive.id(), drive.name(), input));
        } else if (drive.bsdName()) {
            actions.push_back(mountAction(drive.id(), drive.name(), input));
        }
    }
    return actions;
}

std::vector<MenubarUtilityAction>
BerthkeepStoreStateBuilder::utilityActions(const std::vector<DetectedDrive>& drives,
                                           const BerthkeepStoreStateBuilderInput& input) {
    const bool anyManagedMounted = std::any_of(drives.begin(), drives.end(), [](const auto& drive) {
        return isManaged(drive) && drive.isMounted();
    });
    const bool enabled = !input.activeTrigger && input.workingDriveIDs.empty() && anyManagedMounted;
    return {
        MenubarUtilityAction{MenubarUtilityAction::Kind::ejectAll, "Eject All", enabled},
        MenubarUtilityAction{MenubarUtilityAction::Kind::ejectAndSleep, "Eject & Sleep", enabled}};
}

std::optional<std::string>
BerthkeepStoreStateBuilder::summaryMetaNote(const std::optional<std::string>& base,
                                            const std::vector<DetectedDrive>& drives,
                                            bool adaptiveTargetedAssistEnabled) {
    std::vector<std::string> parts;
    const auto add = [&parts](const std::optional<std::string>& part) {
        if (part && std::find(parts.begin(), parts.end(), *part) == parts.end()) {
            parts.push_back(*part);
        }
    };
    add(base);
    if (!adaptiveTargetedAssistEnabled) {
        add(std::string(adaptiveLearningOffNote));
    }
    add(excludedScopeNote(drives));
    if (parts.empty()) {
        return std::nullopt;
    }
    std::string note = parts.front();
    for (std::size_t index = 1; index < parts.size(); ++index) {
        note += scopeNoteSeparator + parts[index];
    }
    return note;
}

std::optional<std::string>
BerthkeepStoreStateBuilder::excludedScopeNote(const std::vector<DetectedDrive>& drives) {
    const auto excluded = std::count_if(
        drives.begin(), drives.end(), [](const DetectedDrive& drive) { return !isManaged(drive); });
    return SwiftBerthkeepCore::scopeNote(excluded);
}

} // namespace berthkeep

#include "Berthkeep/Store/BerthkeepStoreStateBuilder.hpp"

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <iterator>

#include "BerthkeepShared/NaturalNameOrder.hpp"

namespace berthkeep {

namespace {

// Drives ejected together share a card: the eject group, else the drive itself.
std::string groupKey(const BerthkeepEvaluatedDrive& drive,
                     const std::map<std::string, const DetectedDrive*>& detectedDriveByID) {
    const auto found = detectedDriveByID.find(drive.id);
    if (found == detectedDriveByID.end()) {
        return drive.id;
    }
    const DetectedDrive& detected = *found->second;
    if (!detected.ejectGroupID().empty()) {
        return detected.ejectGroupID();
    }
    if (detected.ejectTargetBSDName()) {
        return *detected.ejectTargetBSDName();
    }
    if (detected.bsdName()) {
        return *detected.bsdName();
    }
    return drive.id;
}

} // namespace

std::vector<DriveGroupState>
BerthkeepStoreStateBuilder::driveGroups(const std::vector<BerthkeepEvaluatedDrive>& drives,
                                        const DriveIndex& detectedDriveByID) {
    // Groups in the order their first member appears, so equal sort keys below
    // keep a fixed order.
    std::vector<std::pair<std::string, std::vector<BerthkeepEvaluatedDrive>>> grouped;
    for (const BerthkeepEvaluatedDrive& drive : drives) {
        const std::string key = groupKey(drive, detectedDriveByID);
        auto group = std::find_if(grouped.begin(), grouped.end(),
                                  [&key](const auto& entry) { return entry.first == key; });
        if (group == grouped.end()) {
            grouped.emplace_back(key, std::vector<BerthkeepEvaluatedDrive>{});
            group = std::prev(grouped.end());
        }
        group->second.push_back(drive);
    }

    const NaturalNameOrder order;
    std::vector<std::pair<std::string, DriveGroupState>> keyed;
    keyed.reserve(grouped.size());
    for (auto& [key, unsortedMembers] : grouped) {
        const std::vector<BerthkeepEvaluatedDrive> members =
            order.sorted(std::move(unsortedMembers), [](const auto& drive) { return drive.name; });
        DriveGroupState group;
        group.id = key;
        group.title = driveGroupTitle(members, detectedDriveByID);
        for (const BerthkeepEvaluatedDrive& member : members) {
            group.driveIDs.push_back(member.id);
        }
        std::string sortKey = group.id;
        if (group.title) {
            sortKey = *group.title;
        } else if (const auto first = detectedDriveByID.find(group.driveIDs.front());
                   first != detectedDriveByID.end()) {
            sortKey = first->second->name();
        }
        keyed.emplace_back(std::move(sortKey), std::move(group));
    }
    std::vector<DriveGroupState> groups;
    groups.reserve(keyed.size());
    for (auto& entry :
         order.sorted(std::move(keyed), [](const auto& entry) { return entry.first; })) {
        groups.push_back(std::move(entry.second));
    }
    return groups;
}

std::optional<std::string>
BerthkeepStoreStateBuilder::driveGroupTitle(const std::vector<BerthkeepEvaluatedDrive>& members,
                                            const DriveIndex& detectedDriveByID) {
    if (members.size() < 2) {
        return std::nullopt;
    }
    const auto firstWhere = [&](auto&& predicate) -> const BerthkeepEvaluatedDrive* {
        for (const BerthkeepEvaluatedDrive& member : members) {
            const auto found = detectedDriveByID.find(member.id);
            if (found != detectedDriveByID.end() && predicate(*found->second)) {
                return &member;
            }
        }
        return nullptr;
    };
    const auto isManaged = [](const DetectedDrive& drive) {
        return drive.scope() == DetectedDrive::Scope::managed;
    };
    const BerthkeepEvaluatedDrive* representative = firstWhere(
        [&](const DetectedDrive& drive) { return isManaged(drive) && drive.isMounted(); });
    if (!representative) {
        representative = firstWhere(isManaged);
    }
    if (!representative) {
        representative = &members.front();
    }

    std::string title = displayName(representative->name);
    static const QRegularExpression deviceWord(
        QStringLiteral("\\b(drive|disk|card|ssd|hdd|usb)\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (!deviceWord.match(QString::fromStdString(title)).hasMatch()) {
        title += " Drive";
    }
    return title;
}

} // namespace berthkeep

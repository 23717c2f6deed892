#pragma once

#include <QWidget>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/DriveGroupState.hpp"
#include "Berthkeep/Domain/DriveRowState.hpp"
#include "Berthkeep/MenuBar/DriveListSection.hpp"

namespace berthkeep {

class MenuBarText;

// One card of the drive list: a status dot, the group's title and a detail
// line, on a rounded background. Its only actions sit in its context menu;
// there is no primary click and no hover effect.
class DriveGroupCard final : public QWidget {
public:
    // drives: the group's known rows, in the group's order.
    // prefersSimplifiedRows: decided over the whole section, not this card.
    DriveGroupCard(DriveGroupState group, std::vector<DriveRowState> drives,
                   const std::map<std::string, DriveAction>& actionByDriveID,
                   bool prefersSimplifiedRows, bool isEnabled,
                   DriveListSection::ActionCallback onAction,
                   DriveListSection::GroupActionCallback onGroupAction, QWidget* parent = nullptr);

    const DriveGroupState& group() const { return m_group; }
    std::string summaryTitle() const;
    std::string summaryDetail() const;
    // The most urgent row, the earliest among equals.
    std::optional<DriveRowState> summaryDrive() const;
    const std::optional<DriveAction>& singleDriveAction() const { return m_singleDriveAction; }
    const std::optional<DriveGroupActionKind>& groupAction() const { return m_groupAction; }
    QColor titleColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addContextMenuItems(DriveListSection::ActionCallback onAction,
                             DriveListSection::GroupActionCallback onGroupAction);

    DriveGroupState m_group;
    std::vector<DriveRowState> m_drives;
    bool m_prefersSimplifiedRows;
    bool m_isEnabled;
    std::optional<DriveAction> m_singleDriveAction;
    std::optional<DriveGroupActionKind> m_groupAction;
};

} // namespace berthkeep

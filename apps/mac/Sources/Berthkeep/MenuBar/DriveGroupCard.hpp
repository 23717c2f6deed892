#pragma once

#include <QPointer>
#include <QWidget>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/DriveGroupState.hpp"
#include "Berthkeep/Domain/DriveRowState.hpp"
#include "Berthkeep/MenuBar/DriveListSection.hpp"

class QMenu;

namespace berthkeep {

class DriveStatusIndicator;
class MenuBarText;

// One card of the drive list: a status dot, the group's title and a detail
// line, on a rounded background. Its only actions sit in its context menu
// (right click, the menu key, or Return/space while it has the keyboard focus);
// there is no primary click and no hover effect.
//
// The context menu is a window of its own that the card does not own and does
// not wait for: a state update may replace or delete the card while the menu is
// open, which then closes it. The section checks each choice against the
// state it shows at that moment.
class DriveGroupCard final : public QWidget {
public:
    // drives: the group's known rows, in the group's order.
    // prefersSimplifiedRows: decided over the whole section, not this card.
    DriveGroupCard(DriveGroupState group, std::vector<DriveRowState> drives,
                   const std::map<std::string, DriveAction>& actionByDriveID,
                   bool prefersSimplifiedRows, bool isEnabled,
                   DriveListSection::ActionCallback onAction,
                   DriveListSection::GroupActionCallback onGroupAction, QWidget* parent = nullptr);
    ~DriveGroupCard() override;

    // Shows new values in place; false, and nothing redrawn, when they change
    // nothing the card shows or offers.
    bool setContent(DriveGroupState group, std::vector<DriveRowState> drives,
                    const std::map<std::string, DriveAction>& actionByDriveID,
                    bool prefersSimplifiedRows, bool isEnabled);

    // Opens the context menu at `globalPosition`; nothing when it has no item.
    void popupMenu(const QPoint& globalPosition);
    // The open context menu, if any.
    QMenu* openMenu() const;

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
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showContent();
    void replaceContextMenuItems();
    void closeMenu();

    DriveGroupState m_group;
    std::vector<DriveRowState> m_drives;
    bool m_prefersSimplifiedRows;
    bool m_isEnabled;
    std::optional<DriveAction> m_singleDriveAction;
    std::optional<DriveGroupActionKind> m_groupAction;
    DriveListSection::ActionCallback m_onAction;
    DriveListSection::GroupActionCallback m_onGroupAction;
    DriveStatusIndicator* m_indicator = nullptr;
    MenuBarText* m_title = nullptr;
    MenuBarText* m_detail = nullptr;
    QPointer<QMenu> m_menu;
};

} // namespace berthkeep

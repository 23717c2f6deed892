#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "Berthkeep/Domain/DriveAction.hpp"
#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"
#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/MenuBar/MenuLayoutShiftGuard.hpp"

class QSpacerItem;

namespace berthkeep {

class DriveGroupCard;
class DriveListScrollArea;
class DriveListSection;
class LastActionSection;
class ManagedDriveCountSection;
class MenuActionButton;
class SafetySummarySection;
class UtilitySection;

// What the menu-bar panel shows for one MenubarViewState: the safety header, the
// last attempt, the managed-drive count or the drive list, and the utility rows.
// It calls no service: every click goes to one of the callbacks. setState()
// changes only what differs: an equal state changes and redraws nothing, cards
// and rows are updated in place, and widgets that go are deleted at the next
// event-loop turn, so a callback may hand back a new state while its row is
// still on the stack. Tab and the arrow keys move through the cards and rows,
// each drawn when it has the focus; the view itself is no tab stop.
// Main thread only. The width is the caller's; the height follows the content
// (heightForWidth), and spare height stays below it. Given less height (a
// maximum height, a short screen), only the drive list shortens, and scrolls.
//
// A click on a row (a utility row, a card's menu item, a right click that opens
// a card's menu) counts only once that row has held still on screen for a
// quiet period: a click aimed at one row must not act on another that a new
// state just moved under the pointer. Rows that held still act at once.
class MenuBarContentView final : public QWidget {
public:
    struct Callbacks {
        std::function<void(MenubarUtilityAction::Kind)> onUtilityAction;
        std::function<void(DriveAction::Kind, const std::string& driveID)> onDriveAction;
        std::function<void(DriveGroupActionKind, const std::string& groupID)> onDriveGroupAction;
        std::function<void(const MenubarRemediationAction&)> onRemediationAction;
        std::function<void()> onSendFeedback;
        std::function<void()> onOpenSettings;
        std::function<void()> onQuit;
    };

    MenuBarContentView(MenubarViewState state, Callbacks callbacks, QWidget* parent = nullptr);

    const MenubarViewState& state() const { return m_state; }
    void setState(MenubarViewState state);

    // Replaces the guard on the live clock with the default quiet period.
    void setLayoutShiftGuard(MenuLayoutShiftGuard guard);
    // Each time the panel opens: the list from its top, and the focus, drawn,
    // on the first card, or on no row when there is no card.
    void prepareForOpening();
    DriveListScrollArea& driveListArea() const { return *m_listArea; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showState();
    void orderFocus();
    void keepFocusOnTheList();
    // Where the rows now sit, looked at once the event loop has laid them out.
    void scheduleShiftCheck();
    void checkShift();
    bool takesClick(const QString& key, const QString& rowName);
    bool rowTakesClick(const MenuActionButton& row);
    // item: the menu item chosen; empty for the click that opens the menu.
    bool cardTakesClick(const DriveGroupCard& card, const QString& item);
    const DriveGroupCard* cardWhere(const std::function<bool(const DriveGroupCard&)>& test) const;

    MenubarViewState m_state;
    Callbacks m_callbacks;
    SafetySummarySection* m_summary;
    QSpacerItem* m_lastActionGap;
    LastActionSection* m_lastAction;
    QSpacerItem* m_middleGap;
    ManagedDriveCountSection* m_driveCount;
    DriveListSection* m_driveList;
    DriveListScrollArea* m_listArea;
    QSpacerItem* m_utilityGap;
    UtilitySection* m_utility;
    MenuLayoutShiftGuard m_shiftGuard;
    bool m_shiftCheckPending = false;
};

} // namespace berthkeep

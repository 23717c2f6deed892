#pragma once

#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Berthkeep/Domain/DriveAction.hpp"
#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/DriveGroupState.hpp"
#include "Berthkeep/Domain/DriveRowState.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"

namespace berthkeep {

class DriveGroupCard;

// The managed drives of the menu: one card per drive group, the groups that
// need the user first. Each card's context menu carries the mount or eject for
// its drive or its whole group; nothing else on the list reacts to clicks.
// Everything is derived from the values given. A new state changes the section
// in place: a card per group identifier lives as long as its group is drawn.
class DriveListSection final : public QWidget {
public:
    using ActionCallback = std::function<void(DriveAction::Kind, const std::string& driveID)>;
    using GroupActionCallback =
        std::function<void(DriveGroupActionKind, const std::string& groupID)>;

    // isWorking: an attempt is running, so no card offers an action.
    DriveListSection(const std::vector<DriveRowState>& drives,
                     const std::vector<DriveGroupState>& groups,
                     const std::vector<DriveAction>& actions, bool isWorking,
                     ActionCallback onAction, GroupActionCallback onGroupAction,
                     QWidget* parent = nullptr);

    // Updates the cards that changed, adds and removes cards only for groups
    // that appear or go, and puts them in order. Identical values change nothing.
    void setState(const std::vector<DriveRowState>& drives,
                  const std::vector<DriveGroupState>& groups,
                  const std::vector<DriveAction>& actions, bool isWorking);
    // The cards, top to bottom.
    std::vector<DriveGroupCard*> cards() const;
    // Told when a new state closes a card's open menu under the user's pointer.
    void setMenuWithdrawnHandler(std::function<void()> handler);

    // The status of the first row with the lowest sort priority; safe for none.
    static DriveStatus aggregateStatus(const std::vector<DriveRowState>& rows);
    static MenuBarPalette::Color statusColor(DriveStatus status);
    static MenuBarPalette::Color indicatorColor(DriveStatus status);

    // The cards to draw, in order: the groups that name a known row, by the
    // urgency of their rows and then by label; without such groups, one group
    // per row. Stable, so equal entries keep the store's order.
    static std::vector<DriveGroupState> orderedGroups(const std::vector<DriveRowState>& drives,
                                                      const std::vector<DriveGroupState>& groups);

    // No row asks for its activity to be shown: cards drop dots, details and
    // status colours.
    static bool prefersSimplifiedRows(const std::vector<DriveRowState>& drives);

private:
    bool hasOpenMenu() const;
    // A card that goes while it has the focus hands it to the card now in its
    // place, else to no row: never on to a row below the list.
    void passFocusOn(const DriveGroupCard& leaving, const std::vector<DriveGroupCard*>& next);
    // Carried out only when the current state still offers the choice: the
    // drive or group may have gone while its card's menu was open.
    void chooseDriveAction(DriveAction::Kind kind, const std::string& driveID) const;
    void chooseGroupAction(DriveGroupActionKind kind, const std::string& groupID) const;

    ActionCallback m_onAction;
    GroupActionCallback m_onGroupAction;
    std::function<void()> m_onMenuWithdrawn;
    std::vector<DriveGroupCard*> m_cards;
    std::map<std::string, DriveAction> m_actionByDriveID;
    bool m_isWorking = false;
};

} // namespace berthkeep

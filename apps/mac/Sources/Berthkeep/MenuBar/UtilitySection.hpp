#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"

class QVBoxLayout;

namespace berthkeep {

class MenuActionButton;

// The bottom block of the menu: the remediation row when offered, the utility
// actions, then "Send Feedback…", "Settings…" and "Quit", with thin lines
// between the groups. Passive: one callback per kind of click, each only once
// the owner lets the row act. New actions
// change the rows in place; only a different set of rows replaces them.
class UtilitySection final : public QWidget {
public:
    struct Callbacks {
        std::function<void(MenubarUtilityAction::Kind)> onUtilityAction;
        std::function<void(const MenubarRemediationAction&)> onRemediationAction;
        std::function<void()> onSendFeedback;
        std::function<void()> onOpenSettings;
        std::function<void()> onQuit;
        // Asked before any row acts; unset, every row acts.
        std::function<bool(const MenuActionButton&)> mayAct;
    };

    UtilitySection(const std::optional<MenubarRemediationAction>& remediationAction,
                   const std::vector<MenubarUtilityAction>& utilityActions, Callbacks callbacks,
                   QWidget* parent = nullptr);

    // Every row, top to bottom.
    std::vector<MenuActionButton*> rows() const;

    // Identical values change nothing.
    void setActions(const std::optional<MenubarRemediationAction>& remediationAction,
                    const std::vector<MenubarUtilityAction>& utilityActions);

protected:
    void moveEvent(QMoveEvent* event) override;

private:
    MenuActionButton* makeRow(const QString& title, bool isEnabled, std::function<void()> action);
    void addActionRows();
    std::function<void()> remediationCallback() const;
    std::function<void()> utilityCallback(MenubarUtilityAction::Kind kind) const;

    Callbacks m_callbacks;
    std::optional<MenubarRemediationAction> m_remediationAction;
    std::vector<MenubarUtilityAction> m_utilityActions;
    QVBoxLayout* m_rows = nullptr;
    // The rows the actions decide, in order, and the line below them.
    std::vector<MenuActionButton*> m_actionRows;
    QWidget* m_actionSeparator = nullptr;
};

} // namespace berthkeep

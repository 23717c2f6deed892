#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"

namespace berthkeep {

// The bottom block of the menu: the remediation row when offered, the utility
// actions, then "Send Feedback…", "Settings…" and "Quit", with thin lines
// between the groups. Passive: one callback per kind of click.
class UtilitySection final : public QWidget {
public:
    struct Callbacks {
        std::function<void(MenubarUtilityAction::Kind)> onUtilityAction;
        std::function<void(const MenubarRemediationAction&)> onRemediationAction;
        std::function<void()> onSendFeedback;
        std::function<void()> onOpenSettings;
        std::function<void()> onQuit;
    };

    UtilitySection(const std::optional<MenubarRemediationAction>& remediationAction,
                   const std::vector<MenubarUtilityAction>& utilityActions, Callbacks callbacks,
                   QWidget* parent = nullptr);
};

} // namespace berthkeep

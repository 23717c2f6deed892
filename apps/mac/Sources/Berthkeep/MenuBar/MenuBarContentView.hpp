#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

#include "Berthkeep/Domain/DriveAction.hpp"
#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"
#include "Berthkeep/Domain/MenubarViewState.hpp"

namespace berthkeep {

// What the menu-bar panel shows for one MenubarViewState: the safety header, the
// last attempt, the managed-drive count or the drive list, and the utility rows.
// It calls no service: every click goes to one of the callbacks. setState()
// rebuilds the whole content; the old widgets go at the next event-loop turn,
// so a callback may hand back a new state while its row is still on the stack.
// Main thread only. The width is the caller's; the height follows the content
// (heightForWidth).
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

private:
    void rebuild();

    MenubarViewState m_state;
    Callbacks m_callbacks;
    QPointer<QWidget> m_body;
};

} // namespace berthkeep

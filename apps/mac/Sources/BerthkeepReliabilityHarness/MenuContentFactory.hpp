#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "Berthkeep/Domain/DriveAction.hpp"
#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"
#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/MenuBar/MenuBarContentView.hpp"

namespace berthkeep {

using MenuContentCallbacks = MenuBarContentView::Callbacks;

// Builds the product's menu content for one state, owned by `parent`. The
// harness and the screenshot export draw the real menu through this, so they
// never depend on how the menu is put together. The widget takes the width it
// is given and reports its height through heightForWidth or its size hint.
using MenuContentFactory =
    std::function<QWidget*(const MenubarViewState&, MenuContentCallbacks, QWidget* parent)>;

// For menus that only show a state (catalog cards, exported screenshots):
// every click does nothing.
inline MenuContentCallbacks ignoringMenuCallbacks() {
    return {[](MenubarUtilityAction::Kind) {},
            [](DriveAction::Kind, const std::string&) {},
            [](DriveGroupActionKind, const std::string&) {},
            [](const MenubarRemediationAction&) {},
            [] {},
            [] {},
            [] {
            }};
}

} // namespace berthkeep

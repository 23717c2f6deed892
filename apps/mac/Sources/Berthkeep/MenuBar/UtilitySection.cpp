#include "Berthkeep/MenuBar/UtilitySection.hpp"

#include <QVBoxLayout>

#include "Berthkeep/MenuBar/MenuActionButton.hpp"
#include "Berthkeep/MenuBar/MenuBarDivider.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"

namespace berthkeep {

namespace {

QWidget* separatorRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, MenuBarLayout::utilityQuitSeparatorTopSpacing, 0,
                               MenuBarLayout::utilityQuitSeparatorBottomSpacing);
    layout->addWidget(new MenuBarDivider(&MenuBarPalette::utilitySeparator, row));
    return row;
}

} // namespace

UtilitySection::UtilitySection(const std::optional<MenubarRemediationAction>& remediationAction,
                               const std::vector<MenubarUtilityAction>& utilityActions,
                               Callbacks callbacks, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new MenuBarDivider(&MenuBarPalette::utilitySeparator, this));
    layout->addSpacing(MenuBarLayout::utilitySeparatorBottomSpacing);

    auto* rows = new QVBoxLayout;
    rows->setSpacing(MenuBarLayout::utilityRowSpacing);
    layout->addLayout(rows);
    const auto addRow = [this, rows](const std::string& title, bool isEnabled,
                                     std::function<void()> action) {
        rows->addWidget(new MenuActionButton(QString::fromStdString(title), isEnabled,
                                             std::move(action), this));
    };

    if (remediationAction) {
        addRow(remediationAction->title, true,
               [action = *remediationAction, callback = callbacks.onRemediationAction] {
                   if (callback) {
                       callback(action);
                   }
               });
    }
    for (const MenubarUtilityAction& utility : utilityActions) {
        addRow(utility.title, utility.isEnabled,
               [kind = utility.kind, callback = callbacks.onUtilityAction] {
                   if (callback) {
                       callback(kind);
                   }
               });
    }
    if (!utilityActions.empty()) {
        rows->addWidget(separatorRow(this));
    }
    addRow("Send Feedback\u2026", true, callbacks.onSendFeedback);
    addRow("Settings\u2026", true, callbacks.onOpenSettings);
    rows->addWidget(separatorRow(this));
    addRow("Quit", true, callbacks.onQuit);
}

} // namespace berthkeep

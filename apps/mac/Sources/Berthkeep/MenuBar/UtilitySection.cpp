#include "Berthkeep/MenuBar/UtilitySection.hpp"

#include <QVBoxLayout>

#include <algorithm>

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
    : QWidget(parent)
    , m_callbacks(std::move(callbacks))
    , m_remediationAction(remediationAction)
    , m_utilityActions(utilityActions) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new MenuBarDivider(&MenuBarPalette::utilitySeparator, this));
    layout->addSpacing(MenuBarLayout::utilitySeparatorBottomSpacing);

    m_rows = new QVBoxLayout;
    m_rows->setSpacing(MenuBarLayout::utilityRowSpacing);
    layout->addLayout(m_rows);
    addActionRows(); // first, so the rows are made in the order they are read
    m_rows->addWidget(makeRow("Send Feedback\u2026", true, m_callbacks.onSendFeedback));
    m_rows->addWidget(makeRow("Settings\u2026", true, m_callbacks.onOpenSettings));
    m_rows->addWidget(separatorRow(this));
    m_rows->addWidget(makeRow("Quit", true, m_callbacks.onQuit));
}

MenuActionButton* UtilitySection::makeRow(const QString& title, bool isEnabled,
                                          std::function<void()> action) {
    auto* row = new MenuActionButton(title, isEnabled, std::move(action), this);
    row->setGate(m_callbacks.mayAct);
    return row;
}

std::vector<MenuActionButton*> UtilitySection::rows() const {
    std::vector<MenuActionButton*> rows;
    for (int index = 0; index < m_rows->count(); ++index) {
        if (auto* row = dynamic_cast<MenuActionButton*>(m_rows->itemAt(index)->widget())) {
            rows.push_back(row);
        }
    }
    return rows;
}

// Moved by a longer or shorter list above, under a pointer that stood still.
void UtilitySection::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    for (MenuActionButton* row : rows()) {
        row->refreshHover();
    }
}

std::function<void()> UtilitySection::remediationCallback() const {
    return [action = *m_remediationAction, callback = m_callbacks.onRemediationAction] {
        if (callback) {
            callback(action);
        }
    };
}

std::function<void()> UtilitySection::utilityCallback(MenubarUtilityAction::Kind kind) const {
    return [kind, callback = m_callbacks.onUtilityAction] {
        if (callback) {
            callback(kind);
        }
    };
}

// Above the fixed rows: the remediation row, the utility rows and their line.
void UtilitySection::addActionRows() {
    int index = 0;
    const auto addRow = [this, &index](const std::string& title, bool isEnabled,
                                       std::function<void()> action) {
        auto* row = makeRow(QString::fromStdString(title), isEnabled, std::move(action));
        m_rows->insertWidget(index++, row);
        m_actionRows.push_back(row);
    };
    if (m_remediationAction) {
        addRow(m_remediationAction->title, true, remediationCallback());
    }
    for (const MenubarUtilityAction& utility : m_utilityActions) {
        addRow(utility.title, utility.isEnabled, utilityCallback(utility.kind));
    }
    if (!m_utilityActions.empty()) {
        m_actionSeparator = separatorRow(this);
        m_rows->insertWidget(index, m_actionSeparator);
    }
}

void UtilitySection::setActions(const std::optional<MenubarRemediationAction>& remediationAction,
                                const std::vector<MenubarUtilityAction>& utilityActions) {
    if (remediationAction == m_remediationAction && utilityActions == m_utilityActions) {
        return;
    }
    const bool sameRows =
        remediationAction.has_value() == m_remediationAction.has_value() &&
        std::equal(utilityActions.begin(), utilityActions.end(), m_utilityActions.begin(),
                   m_utilityActions.end(),
                   [](const MenubarUtilityAction& a, const MenubarUtilityAction& b) {
                       return a.kind == b.kind;
                   });
    m_remediationAction = remediationAction;
    m_utilityActions = utilityActions;
    if (sameRows) {
        auto row = m_actionRows.begin();
        if (m_remediationAction) {
            (*row)->setTitle(QString::fromStdString(m_remediationAction->title));
            (*row)->setAction(remediationCallback());
            ++row;
        }
        for (const MenubarUtilityAction& utility : m_utilityActions) {
            (*row)->setTitle(QString::fromStdString(utility.title));
            (*row)->setEnabled(utility.isEnabled);
            (*row)->update();
            ++row;
        }
        return;
    }
    std::vector<QWidget*> old(m_actionRows.begin(), m_actionRows.end());
    if (m_actionSeparator) {
        old.push_back(m_actionSeparator);
    }
    for (QWidget* widget : old) {
        // A click handler of this row may still be on the stack.
        widget->hide();
        m_rows->removeWidget(widget);
        widget->deleteLater();
    }
    m_actionRows.clear();
    m_actionSeparator = nullptr;
    addActionRows();
}

} // namespace berthkeep

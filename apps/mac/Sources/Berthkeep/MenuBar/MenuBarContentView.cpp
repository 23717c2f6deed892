#include "Berthkeep/MenuBar/MenuBarContentView.hpp"

#include <QVBoxLayout>

#include "Berthkeep/MenuBar/DriveListSection.hpp"
#include "Berthkeep/MenuBar/LastActionSection.hpp"
#include "Berthkeep/MenuBar/ManagedDriveCountSection.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/SafetySummarySection.hpp"
#include "Berthkeep/MenuBar/UtilitySection.hpp"

namespace berthkeep {

MenuBarContentView::MenuBarContentView(MenubarViewState state, Callbacks callbacks, QWidget* parent)
    : QWidget(parent)
    , m_state(std::move(state))
    , m_callbacks(std::move(callbacks)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    rebuild();
}

void MenuBarContentView::setState(MenubarViewState state) {
    m_state = std::move(state);
    rebuild();
}

void MenuBarContentView::rebuild() {
    if (m_body) {
        m_body->hide();
        layout()->removeWidget(m_body);
        m_body->deleteLater();
    }
    auto* body = new QWidget(this);
    auto* stack = new QVBoxLayout(body);
    stack->setContentsMargins(MenuBarLayout::contentInsets);
    stack->setSpacing(0);

    stack->addWidget(new SafetySummarySection(m_state, m_state.scopeNote, body));

    if (const auto lastAction = m_state.lastActionText()) {
        stack->addSpacing(MenuBarLayout::lastActionTopSpacing);
        stack->addWidget(new LastActionSection(*lastAction, body));
    }

    if (const auto count = m_state.managedDriveCountText()) {
        stack->addSpacing(MenuBarLayout::scopeRowTopSpacing);
        stack->addWidget(new ManagedDriveCountSection(*count, body));
    } else if (!m_state.drives.empty()) {
        stack->addSpacing(MenuBarLayout::driveListTopSpacing);
        stack->addWidget(
            new DriveListSection(m_state.drives, m_state.driveGroups, m_state.driveActions,
                                 m_state.globalState.kind() == GlobalSafetyState::Kind::working,
                                 m_callbacks.onDriveAction, m_callbacks.onDriveGroupAction, body));
    }

    // Decided by the rows alone, whichever middle part was drawn.
    stack->addSpacing(m_state.drives.empty() ? MenuBarLayout::utilityTopSpacingWithoutList
                                             : MenuBarLayout::utilityTopSpacing);
    stack->addWidget(new UtilitySection(
        m_state.remediationAction, m_state.utilityActions,
        UtilitySection::Callbacks{m_callbacks.onUtilityAction, m_callbacks.onRemediationAction,
                                  m_callbacks.onSendFeedback, m_callbacks.onOpenSettings,
                                  m_callbacks.onQuit},
        body));

    layout()->addWidget(body);
    m_body = body;
}

} // namespace berthkeep

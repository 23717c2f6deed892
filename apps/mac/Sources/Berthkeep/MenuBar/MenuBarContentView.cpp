#include "Berthkeep/MenuBar/MenuBarContentView.hpp"

#include <QKeyEvent>
#include <QVBoxLayout>

#include "Berthkeep/MenuBar/DriveGroupCard.hpp"
#include "Berthkeep/MenuBar/DriveListSection.hpp"
#include "Berthkeep/MenuBar/LastActionSection.hpp"
#include "Berthkeep/MenuBar/ManagedDriveCountSection.hpp"
#include "Berthkeep/MenuBar/MenuActionButton.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/SafetySummarySection.hpp"
#include "Berthkeep/MenuBar/UtilitySection.hpp"

namespace berthkeep {

MenuBarContentView::MenuBarContentView(MenubarViewState state, Callbacks callbacks, QWidget* parent)
    : QWidget(parent)
    , m_state(std::move(state))
    , m_callbacks(std::move(callbacks)) {
    // First in the focus chain, so an opened panel highlights no row until the
    // user moves.
    setFocusPolicy(Qt::TabFocus);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(MenuBarLayout::contentInsets);
    stack->setSpacing(0);
    const auto gap = [stack] {
        auto* spacer = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
        stack->addItem(spacer);
        return spacer;
    };

    m_summary = new SafetySummarySection(m_state, m_state.scopeNote, this);
    stack->addWidget(m_summary);
    m_lastActionGap = gap();
    m_lastAction = new LastActionSection({}, this);
    stack->addWidget(m_lastAction);
    m_middleGap = gap();
    m_driveCount = new ManagedDriveCountSection({}, this);
    stack->addWidget(m_driveCount);
    m_driveList = new DriveListSection({}, {}, {}, false, m_callbacks.onDriveAction,
                                       m_callbacks.onDriveGroupAction, this);
    stack->addWidget(m_driveList);
    m_utilityGap = gap();
    m_utility = new UtilitySection(
        m_state.remediationAction, m_state.utilityActions,
        UtilitySection::Callbacks{m_callbacks.onUtilityAction, m_callbacks.onRemediationAction,
                                  m_callbacks.onSendFeedback, m_callbacks.onOpenSettings,
                                  m_callbacks.onQuit},
        this);
    stack->addWidget(m_utility);
    // A taller panel than the content asks for keeps its spare height at the
    // bottom instead of spreading it between the lines.
    stack->addStretch(1);
    showState();
}

void MenuBarContentView::setState(MenubarViewState state) {
    if (state == m_state) {
        return;
    }
    m_state = std::move(state);
    showState();
}

void MenuBarContentView::showState() {
    m_summary->setState(m_state, m_state.scopeNote);

    const auto lastAction = m_state.lastActionText();
    m_lastActionGap->changeSize(0, lastAction ? MenuBarLayout::lastActionTopSpacing : 0,
                                QSizePolicy::Minimum, QSizePolicy::Fixed);
    if (lastAction) {
        m_lastAction->setText(*lastAction);
    }
    m_lastAction->setVisible(lastAction.has_value());

    const auto count = m_state.managedDriveCountText();
    const bool showsList = !count && !m_state.drives.empty();
    m_middleGap->changeSize(0,
                            count       ? MenuBarLayout::scopeRowTopSpacing
                            : showsList ? MenuBarLayout::driveListTopSpacing
                                        : 0,
                            QSizePolicy::Minimum, QSizePolicy::Fixed);
    if (count) {
        m_driveCount->setText(*count);
    }
    m_driveCount->setVisible(count.has_value());
    // Hidden, it keeps no cards: a card's open menu closes with it.
    m_driveList->setState(showsList ? m_state.drives : std::vector<DriveRowState>{},
                          m_state.driveGroups,
                          showsList ? m_state.driveActions : std::vector<DriveAction>{},
                          m_state.globalState.kind() == GlobalSafetyState::Kind::working);
    m_driveList->setVisible(showsList);

    // Decided by the rows alone, whichever middle part was drawn.
    m_utilityGap->changeSize(0,
                             m_state.drives.empty() ? MenuBarLayout::utilityTopSpacingWithoutList
                                                    : MenuBarLayout::utilityTopSpacing,
                             QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_utility->setActions(m_state.remediationAction, m_state.utilityActions);
    layout()->invalidate();
    orderFocus();
}

// Top to bottom, whatever order the widgets were made in.
void MenuBarContentView::orderFocus() {
    std::vector<QWidget*> chain{this};
    for (DriveGroupCard* card : m_driveList->cards()) {
        chain.push_back(card);
    }
    for (MenuActionButton* row : m_utility->rows()) {
        chain.push_back(row);
    }
    for (std::size_t index = 1; index < chain.size(); ++index) {
        setTabOrder(chain[index - 1], chain[index]);
    }
}

void MenuBarContentView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) {
        focusNextPrevChild(event->key() == Qt::Key_Down);
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace berthkeep

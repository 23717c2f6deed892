#include "Berthkeep/MenuBar/MenuBarContentView.hpp"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "Berthkeep/MenuBar/DriveGroupCard.hpp"
#include "Berthkeep/MenuBar/DriveListScrollArea.hpp"
#include "Berthkeep/MenuBar/DriveListSection.hpp"
#include "Berthkeep/MenuBar/LastActionSection.hpp"
#include "Berthkeep/MenuBar/ManagedDriveCountSection.hpp"
#include "Berthkeep/MenuBar/MenuActionButton.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/SafetySummarySection.hpp"
#include "Berthkeep/MenuBar/UtilitySection.hpp"

namespace berthkeep {

namespace {

QString rowKey(const MenuActionButton& row) {
    return QStringLiteral("row:") + row.text();
}

QString cardKey(const DriveGroupCard& card) {
    return QStringLiteral("card:") + QString::fromStdString(card.group().id);
}

} // namespace

MenuBarContentView::MenuBarContentView(MenubarViewState state, Callbacks callbacks, QWidget* parent)
    : QWidget(parent)
    , m_state(std::move(state))
    , m_callbacks(std::move(callbacks))
    , m_shiftGuard(LiveClock::shared()) {
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
    m_driveList = new DriveListSection(
        {}, {}, {}, false,
        [this](DriveAction::Kind kind, const std::string& id) {
            const DriveGroupCard* card = cardWhere([&id](const DriveGroupCard& shown) {
                return shown.singleDriveAction() && shown.singleDriveAction()->driveID == id;
            });
            if (m_callbacks.onDriveAction && card &&
                cardTakesClick(*card, QString::fromStdString(card->singleDriveAction()->title))) {
                m_callbacks.onDriveAction(kind, id);
            }
        },
        [this](DriveGroupActionKind kind, const std::string& id) {
            const DriveGroupCard* card =
                cardWhere([&id](const DriveGroupCard& shown) { return shown.group().id == id; });
            const bool mountAll = kind == DriveGroupActionKind::mountAll;
            if (m_callbacks.onDriveGroupAction && card &&
                cardTakesClick(*card, mountAll ? "Mount All" : "Eject All")) {
                m_callbacks.onDriveGroupAction(kind, id);
            }
        });
    m_driveList->setMenuWithdrawnHandler([this] { m_shiftGuard.noteShift(); });
    m_listArea = new DriveListScrollArea(m_driveList, this);
    stack->addWidget(m_listArea);
    m_utilityGap = gap();
    m_utility = new UtilitySection(
        m_state.remediationAction, m_state.utilityActions,
        UtilitySection::Callbacks{m_callbacks.onUtilityAction, m_callbacks.onRemediationAction,
                                  m_callbacks.onSendFeedback, m_callbacks.onOpenSettings,
                                  m_callbacks.onQuit,
                                  [this](const MenuActionButton& row) {
                                      return rowTakesClick(row);
                                  }},
        this);
    stack->addWidget(m_utility);
    // A taller panel than the content asks for keeps its spare height at the
    // bottom instead of spreading it between the lines.
    stack->addStretch(1);

    for (QWidget* watched : std::initializer_list<QWidget*>{this, m_driveList, m_utility}) {
        watched->installEventFilter(this);
    }
    connect(m_listArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { scheduleShiftCheck(); });
    showState();
}

void MenuBarContentView::setLayoutShiftGuard(MenuLayoutShiftGuard guard) {
    m_shiftGuard = std::move(guard);
}

void MenuBarContentView::prepareForOpening() {
    m_listArea->verticalScrollBar()->setValue(0);
    const auto cards = m_driveList->cards();
    if (m_listArea->isVisibleTo(this) && !cards.empty()) {
        cards.front()->setFocus(Qt::TabFocusReason);
    } else if (QWidget* focused = window()->focusWidget(); focused && isAncestorOf(focused)) {
        focused->clearFocus();
    }
}

void MenuBarContentView::setState(MenubarViewState state) {
    if (state == m_state) {
        return;
    }
    m_state = std::move(state);
    showState();
}

void MenuBarContentView::showState() {
    const QWidget* focused = window()->focusWidget();
    const bool focusWasOnACard = focused != nullptr && m_driveList->isAncestorOf(focused);
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
    m_listArea->setVisible(showsList);
    for (DriveGroupCard* card : m_driveList->cards()) {
        card->installEventFilter(this); // once: a second install only reorders
    }

    // Decided by the rows alone, whichever middle part was drawn.
    m_utilityGap->changeSize(0,
                             m_state.drives.empty() ? MenuBarLayout::utilityTopSpacingWithoutList
                                                    : MenuBarLayout::utilityTopSpacing,
                             QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_utility->setActions(m_state.remediationAction, m_state.utilityActions);
    layout()->invalidate();
    orderFocus();
    if (focusWasOnACard) {
        keepFocusOnTheList();
    }
    scheduleShiftCheck();
}

// Cards that go or a list that hides pass the focus down the chain, on to the
// rows below the list: it stays on a card, or on nothing.
void MenuBarContentView::keepFocusOnTheList() {
    QWidget* focused = window()->focusWidget();
    if (focused != nullptr && m_driveList->isAncestorOf(focused)) {
        return;
    }
    const auto cards = m_driveList->cards();
    if (m_listArea->isVisibleTo(this) && !cards.empty()) {
        cards.front()->setFocus(Qt::OtherFocusReason);
    } else {
        window()->setFocus(Qt::OtherFocusReason);
    }
}

// Top to bottom, whatever order the widgets were made in. The view itself
// takes no focus; it anchors the chain so the first card comes first.
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

void MenuBarContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window that holds the view moves it on screen too.
    if (window() != this) {
        window()->installEventFilter(this);
    }
    scheduleShiftCheck();
}

bool MenuBarContentView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ContextMenu:
        // Opened by the pointer, a card's menu is for the card the user saw;
        // the menu key opens the focused card's.
        if (auto* card = dynamic_cast<DriveGroupCard*>(watched);
            card && static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse &&
            !cardTakesClick(*card, {})) {
            event->accept();
            return true;
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::LayoutRequest:
    case QEvent::Show:
        scheduleShiftCheck();
        break;
    case QEvent::Hide:
        if (watched == window()) {
            m_shiftGuard.reset();
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void MenuBarContentView::scheduleShiftCheck() {
    if (m_shiftCheckPending) {
        return;
    }
    m_shiftCheckPending = true;
    QTimer::singleShot(0, this, [this] { checkShift(); });
}

void MenuBarContentView::checkShift() {
    m_shiftCheckPending = false;
    if (!isVisible()) {
        m_shiftGuard.reset();
        return;
    }
    // Where the rows come to rest, not a pass of the layout on the way there:
    // a list that grows scrolls until the panel has grown with it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    std::vector<MenuLayoutShiftGuard::Row> rows;
    const auto screenArea = [](const QWidget* widget) {
        return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    };
    if (m_listArea->isVisible()) {
        // A card scrolled out of sight is nowhere a click can reach.
        const QRect shownList = screenArea(m_listArea->viewport());
        for (const DriveGroupCard* card : m_driveList->cards()) {
            rows.push_back({cardKey(*card), screenArea(card).intersected(shownList)});
        }
    }
    for (const MenuActionButton* row : m_utility->rows()) {
        rows.push_back({rowKey(*row), screenArea(row)});
    }
    m_shiftGuard.observe(std::move(rows));
}

// A click can arrive before the check its layout change scheduled: look now.
bool MenuBarContentView::takesClick(const QString& key, const QString& rowName) {
    if (m_shiftCheckPending) {
        checkShift();
    }
    return m_shiftGuard.admitsClick(key, rowName);
}

bool MenuBarContentView::rowTakesClick(const MenuActionButton& row) {
    return takesClick(rowKey(row), row.text());
}

bool MenuBarContentView::cardTakesClick(const DriveGroupCard& card, const QString& item) {
    const QString title = QString::fromStdString(card.summaryTitle());
    return takesClick(cardKey(card), item.isEmpty() ? title : title + ": " + item);
}

const DriveGroupCard*
MenuBarContentView::cardWhere(const std::function<bool(const DriveGroupCard&)>& test) const {
    for (const DriveGroupCard* card : m_driveList->cards()) {
        if (test(*card)) {
            return card;
        }
    }
    return nullptr;
}

void MenuBarContentView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) {
        focusNextPrevChild(event->key() == Qt::Key_Down);
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace berthkeep

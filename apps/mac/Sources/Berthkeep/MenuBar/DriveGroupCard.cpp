#include "Berthkeep/MenuBar/DriveGroupCard.hpp"

#include <QAction>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

#include "Berthkeep/MenuBar/DriveStatusIndicator.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarText.hpp"
#include "Berthkeep/MenuBar/MenuBarTypography.hpp"

namespace berthkeep {

namespace {

constexpr qreal kQuietTitleOpacity = 0.82;
constexpr int kTextSpacing = 2;
constexpr int kMinimumTrailingSpace = 8;

std::optional<DriveGroupActionKind>
groupActionFor(const std::vector<DriveRowState>& drives,
               const std::map<std::string, DriveAction>& actionByDriveID) {
    if (drives.size() < 2) {
        return std::nullopt;
    }
    bool anyEject = false;
    for (const DriveRowState& row : drives) {
        const auto found = actionByDriveID.find(row.id);
        if (found == actionByDriveID.end() || !found->second.isEnabled) {
            continue;
        }
        if (found->second.kind == DriveAction::Kind::mount) {
            return DriveGroupActionKind::mountAll; // mounting wins over ejecting
        }
        anyEject = true;
    }
    return anyEject ? std::optional(DriveGroupActionKind::ejectAll) : std::nullopt;
}

std::optional<DriveAction>
singleDriveActionFor(const std::vector<DriveRowState>& drives,
                     const std::map<std::string, DriveAction>& actionByDriveID) {
    if (drives.size() != 1) {
        return std::nullopt;
    }
    const auto found = actionByDriveID.find(drives.front().id);
    return found == actionByDriveID.end() ? std::nullopt : std::optional(found->second);
}

} // namespace

DriveGroupCard::DriveGroupCard(DriveGroupState group, std::vector<DriveRowState> drives,
                               const std::map<std::string, DriveAction>& actionByDriveID,
                               bool prefersSimplifiedRows, bool isEnabled,
                               DriveListSection::ActionCallback onAction,
                               DriveListSection::GroupActionCallback onGroupAction, QWidget* parent)
    : QWidget(parent)
    , m_group(std::move(group))
    , m_drives(std::move(drives))
    , m_prefersSimplifiedRows(prefersSimplifiedRows)
    , m_isEnabled(isEnabled)
    , m_singleDriveAction(singleDriveActionFor(m_drives, actionByDriveID))
    , m_groupAction(groupActionFor(m_drives, actionByDriveID))
    , m_onAction(std::move(onAction))
    , m_onGroupAction(std::move(onGroupAction)) {
    setFocusPolicy(Qt::TabFocus);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(
        MenuBarLayout::driveGroupHorizontalPadding, MenuBarLayout::driveGroupVerticalPadding,
        MenuBarLayout::driveGroupHorizontalPadding, MenuBarLayout::driveGroupVerticalPadding);
    row->setSpacing(MenuBarLayout::driveIndicatorSpacing);
    m_indicator = new DriveStatusIndicator(&MenuBarPalette::safeIndicator, this);
    row->addWidget(m_indicator, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(kTextSpacing);
    m_title = new MenuBarText(
        {}, MenuBarTypography::driveName(), [this](const QPalette&) { return titleColor(); }, 1,
        this);
    texts->addWidget(m_title);
    m_detail =
        new MenuBarText({}, MenuBarTypography::driveMeta(), &MenuBarPalette::driveMeta, 1, this);
    texts->addWidget(m_detail);
    row->addLayout(texts);
    row->addSpacerItem(
        new QSpacerItem(kMinimumTrailingSpace, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));

    showContent();
    replaceContextMenuItems();
}

DriveGroupCard::~DriveGroupCard() {
    closeMenu();
}

bool DriveGroupCard::setContent(DriveGroupState group, std::vector<DriveRowState> drives,
                                const std::map<std::string, DriveAction>& actionByDriveID,
                                bool prefersSimplifiedRows, bool isEnabled) {
    auto singleDriveAction = singleDriveActionFor(drives, actionByDriveID);
    auto groupAction = groupActionFor(drives, actionByDriveID);
    if (group == m_group && drives == m_drives &&
        prefersSimplifiedRows == m_prefersSimplifiedRows && isEnabled == m_isEnabled &&
        singleDriveAction == m_singleDriveAction && groupAction == m_groupAction) {
        return false;
    }
    const bool itemsChanged = isEnabled != m_isEnabled ||
                              singleDriveAction != m_singleDriveAction ||
                              groupAction != m_groupAction || group.id != m_group.id;
    m_group = std::move(group);
    m_drives = std::move(drives);
    m_prefersSimplifiedRows = prefersSimplifiedRows;
    m_isEnabled = isEnabled;
    m_singleDriveAction = std::move(singleDriveAction);
    m_groupAction = groupAction;
    showContent();
    if (itemsChanged) {
        replaceContextMenuItems();
    }
    update();
    return true;
}

void DriveGroupCard::showContent() {
    m_indicator->setVisible(!m_prefersSimplifiedRows);
    m_indicator->setColor(
        DriveListSection::indicatorColor(DriveListSection::aggregateStatus(m_drives)));
    const QString title = QString::fromStdString(summaryTitle());
    const QString detail = QString::fromStdString(summaryDetail());
    m_title->setText(title);
    m_title->update(); // its colour follows the status
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
    setAccessibleName(detail.isEmpty() ? title : title + ", " + detail);
}

std::string DriveGroupCard::summaryTitle() const {
    if (m_group.title) {
        return *m_group.title;
    }
    return m_drives.empty() ? "Drive" : m_drives.front().name;
}

std::optional<DriveRowState> DriveGroupCard::summaryDrive() const {
    const auto most = std::min_element(m_drives.begin(), m_drives.end(),
                                       [](const DriveRowState& a, const DriveRowState& b) {
                                           return sortPriority(a.status) < sortPriority(b.status);
                                       });
    return most == m_drives.end() ? std::nullopt : std::optional(*most);
}

std::string DriveGroupCard::summaryDetail() const {
    if (m_prefersSimplifiedRows) {
        return {};
    }
    const bool anyShown =
        std::any_of(m_drives.begin(), m_drives.end(), [](const DriveRowState& row) {
            return row.statusVisibility != DriveStatusVisibility::hidden;
        });
    const std::string volumes = std::to_string(m_drives.size()) + " volumes";
    if (!anyShown) {
        return m_drives.size() >= 2 ? volumes : std::string();
    }
    if (m_drives.size() >= 2) {
        return volumes + " \u00B7 " + summaryDrive()->statusDetail();
    }
    return m_drives.empty() ? std::string() : m_drives.front().statusDetail();
}

QColor DriveGroupCard::titleColor() const {
    const QColor quiet =
        MenuBarPalette::withOpacity(MenuBarPalette::primary(palette()), kQuietTitleOpacity);
    if (m_prefersSimplifiedRows) {
        return quiet;
    }
    switch (DriveListSection::aggregateStatus(m_drives)) {
    case DriveStatus::ejecting:
    case DriveStatus::mounting:
        return MenuBarPalette::primary(palette());
    case DriveStatus::busy:
        return DriveListSection::statusColor(DriveStatus::busy)(palette());
    case DriveStatus::connected:
    case DriveStatus::safe:
    case DriveStatus::notMounted:
    case DriveStatus::excluded:
        break;
    }
    return quiet;
}

// The card owns the items; a menu shows them while it is open. Changed items
// close that menu rather than leave stale choices in it.
void DriveGroupCard::replaceContextMenuItems() {
    closeMenu();
    for (QAction* item : actions()) {
        removeAction(item);
        item->deleteLater();
    }
    if (!m_isEnabled) {
        return;
    }
    if (m_singleDriveAction && m_singleDriveAction->isEnabled) {
        auto* item = new QAction(QString::fromStdString(m_singleDriveAction->title), this);
        connect(item, &QAction::triggered, this,
                [this, kind = m_singleDriveAction->kind, id = m_singleDriveAction->driveID] {
                    if (m_onAction) {
                        m_onAction(kind, id);
                    }
                });
        addAction(item);
    }
    if (m_groupAction) {
        const bool mountAll = *m_groupAction == DriveGroupActionKind::mountAll;
        auto* item = new QAction(mountAll ? "Mount All" : "Eject All", this);
        connect(item, &QAction::triggered, this, [this, kind = *m_groupAction, id = m_group.id] {
            if (m_onGroupAction) {
                m_onGroupAction(kind, id);
            }
        });
        addAction(item);
    }
}

void DriveGroupCard::popupMenu(const QPoint& globalPosition) {
    closeMenu();
    if (actions().isEmpty()) {
        return;
    }
    // No parent: deleting the card must not delete a menu that is still
    // handling its own events.
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setPalette(palette());
    menu->addActions(actions());
    m_menu = menu;
    menu->popup(globalPosition);
}

QMenu* DriveGroupCard::openMenu() const {
    return m_menu;
}

void DriveGroupCard::closeMenu() {
    if (m_menu) {
        QMenu* menu = m_menu;
        m_menu = nullptr;
        menu->close();
    }
}

void DriveGroupCard::contextMenuEvent(QContextMenuEvent* event) {
    popupMenu(event->globalPos());
    event->accept();
}

void DriveGroupCard::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        popupMenu(mapToGlobal(rect().bottomLeft()));
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

// Removed from the list or the panel closed: its menu goes with it.
void DriveGroupCard::hideEvent(QHideEvent* event) {
    closeMenu();
    QWidget::hideEvent(event);
}

void DriveGroupCard::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void DriveGroupCard::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void DriveGroupCard::paintEvent(QPaintEvent*) {
    const QColor fill = m_prefersSimplifiedRows ? MenuBarPalette::driveGroupPlainFill(palette())
                                                : MenuBarPalette::driveGroupFill(palette());
    const QColor stroke = m_prefersSimplifiedRows ? MenuBarPalette::driveGroupPlainStroke(palette())
                                                  : MenuBarPalette::driveGroupStroke(palette());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(stroke, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(stroke.alpha() > 0 ? pen : QPen(Qt::NoPen));
    painter.setBrush(fill);
    // Half a pixel in, so the 1 px outline lies wholly inside the card.
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(shape, MenuBarLayout::driveGroupCornerRadius,
                            MenuBarLayout::driveGroupCornerRadius);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1),
                                MenuBarLayout::driveGroupCornerRadius,
                                MenuBarLayout::driveGroupCornerRadius);
    }
}

} // namespace berthkeep

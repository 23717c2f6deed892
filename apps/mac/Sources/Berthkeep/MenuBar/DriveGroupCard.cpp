#include "Berthkeep/MenuBar/DriveGroupCard.hpp"

#include <QAction>
#include <QHBoxLayout>
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
    , m_groupAction(groupActionFor(m_drives, actionByDriveID)) {
    if (m_drives.size() == 1) {
        if (const auto found = actionByDriveID.find(m_drives.front().id);
            found != actionByDriveID.end()) {
            m_singleDriveAction = found->second;
        }
    }

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(
        MenuBarLayout::driveGroupHorizontalPadding, MenuBarLayout::driveGroupVerticalPadding,
        MenuBarLayout::driveGroupHorizontalPadding, MenuBarLayout::driveGroupVerticalPadding);
    row->setSpacing(MenuBarLayout::driveIndicatorSpacing);
    if (!m_prefersSimplifiedRows) {
        row->addWidget(new DriveStatusIndicator(DriveListSection::indicatorColor(
                                                    DriveListSection::aggregateStatus(m_drives)),
                                                this),
                       0, Qt::AlignTop);
    }
    auto* texts = new QVBoxLayout;
    texts->setSpacing(kTextSpacing);
    texts->addWidget(new MenuBarText(
        QString::fromStdString(summaryTitle()), MenuBarTypography::driveName(),
        [this](const QPalette&) { return titleColor(); }, 1, this));
    if (const std::string detail = summaryDetail(); !detail.empty()) {
        texts->addWidget(new MenuBarText(QString::fromStdString(detail),
                                         MenuBarTypography::driveMeta(), &MenuBarPalette::driveMeta,
                                         1, this));
    }
    row->addLayout(texts);
    row->addSpacerItem(
        new QSpacerItem(kMinimumTrailingSpace, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));

    addContextMenuItems(std::move(onAction), std::move(onGroupAction));
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

void DriveGroupCard::addContextMenuItems(DriveListSection::ActionCallback onAction,
                                         DriveListSection::GroupActionCallback onGroupAction) {
    setContextMenuPolicy(Qt::ActionsContextMenu);
    if (!m_isEnabled) {
        return;
    }
    if (m_singleDriveAction && m_singleDriveAction->isEnabled) {
        auto* item = new QAction(QString::fromStdString(m_singleDriveAction->title), this);
        connect(item, &QAction::triggered, this, [action = *m_singleDriveAction, onAction] {
            if (onAction) {
                onAction(action.kind, action.driveID);
            }
        });
        addAction(item);
    }
    if (m_groupAction) {
        const bool mountAll = *m_groupAction == DriveGroupActionKind::mountAll;
        auto* item = new QAction(mountAll ? "Mount All" : "Eject All", this);
        connect(item, &QAction::triggered, this,
                [kind = *m_groupAction, id = m_group.id, onGroupAction] {
                    if (onGroupAction) {
                        onGroupAction(kind, id);
                    }
                });
        addAction(item);
    }
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
}

} // namespace berthkeep

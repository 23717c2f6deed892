#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"

#include <algorithm>
#include <utility>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "Berthkeep/MenuBar/BerthkeepMenubarPNGAsset.hpp"
#include "Berthkeep/MenuBar/BerthkeepMenubarRenderedAsset.hpp"

namespace berthkeep {

namespace {

bool anyRowHasStatus(const MenubarViewState& state, DriveStatus status) {
    return std::any_of(state.drives.begin(), state.drives.end(),
                       [status](const DriveRowState& row) { return row.status == status; });
}

} // namespace

MenuBarStatusIcon::MenuBarStatusIcon(MenubarViewState state, qreal size, QWidget* parent)
    : QWidget(parent)
    , m_state(std::move(state))
    , m_icon(new BerthkeepMenubarIcon(iconVariant(m_state), size, this)) {
    m_icon->setOpacity(baseOpacity(m_state));
    setFixedSize(m_icon->width(), m_icon->height());
}

void MenuBarStatusIcon::setState(MenubarViewState state) {
    m_state = std::move(state);
    m_icon->setVariant(iconVariant(m_state));
    m_icon->setOpacity(baseOpacity(m_state));
}

BerthkeepMenubarIcon::Variant MenuBarStatusIcon::iconVariant(const MenubarViewState& state) {
    using Variant = BerthkeepMenubarIcon::Variant;
    if (anyRowHasStatus(state, DriveStatus::mounting)) {
        return Variant::mounting;
    }
    if (anyRowHasStatus(state, DriveStatus::ejecting)) {
        return Variant::ejecting;
    }
    switch (state.globalState.kind()) {
    case GlobalSafetyState::Kind::limitedProtection:
        return Variant::limitedProtection;
    case GlobalSafetyState::Kind::attention:
    case GlobalSafetyState::Kind::fullMonitoringUnavailable:
        return Variant::attention;
    case GlobalSafetyState::Kind::working:
        return Variant::ejecting;
    case GlobalSafetyState::Kind::noManagedDrives:
    case GlobalSafetyState::Kind::fullMonitoringVerifying:
    case GlobalSafetyState::Kind::safe:
        return Variant::safe;
    }
    return Variant::safe;
}

double MenuBarStatusIcon::baseOpacity(const MenubarViewState& state) {
    switch (state.globalState.kind()) {
    case GlobalSafetyState::Kind::limitedProtection:
    case GlobalSafetyState::Kind::fullMonitoringUnavailable:
    case GlobalSafetyState::Kind::fullMonitoringVerifying:
        return 0.82;
    case GlobalSafetyState::Kind::noManagedDrives:
        return 0.65;
    case GlobalSafetyState::Kind::attention:
    case GlobalSafetyState::Kind::working:
    case GlobalSafetyState::Kind::safe:
        return 1.0;
    }
    return 1.0;
}

QIcon MenuBarStatusIcon::image(const MenubarViewState& state, qreal size,
                               BerthkeepMenubarIcon::ColorScheme colorScheme,
                               const std::string& bundleIdentifier) {
    const QIcon full = BerthkeepMenubarRenderedAsset::displayImage(iconVariant(state), size,
                                                                   colorScheme, bundleIdentifier);
    const double opacity = baseOpacity(state);
    if (opacity >= 1.0) {
        return full;
    }
    const int side = BerthkeepMenubarPNGAsset::roundedPointSize(size);
    QIcon dimmed;
    for (const int ratio : BerthkeepMenubarPNGAsset::devicePixelRatios) {
        const QPixmap source = full.pixmap(QSize(side, side), ratio);
        QImage canvas(source.size(), QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setOpacity(opacity);
        painter.drawPixmap(QRectF(0, 0, side, side), source, QRectF(source.rect()));
        painter.end();
        dimmed.addPixmap(QPixmap::fromImage(canvas));
    }
    dimmed.setIsMask(full.isMask());
    return dimmed;
}

} // namespace berthkeep

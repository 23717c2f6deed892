#include "Berthkeep/MenuBar/MenuActionButton.hpp"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/MenuBar/MenuBarTypography.hpp"

namespace berthkeep {

namespace {

constexpr int kSidePadding = 6;
constexpr qreal kDisabledOpacity = 0.45;

QPainterPath rowShape(const QRectF& rect) {
    QPainterPath path;
    path.addRoundedRect(rect, MenuBarLayout::utilityHoverCornerRadius,
                        MenuBarLayout::utilityHoverCornerRadius);
    return path;
}

} // namespace

MenuActionButton::MenuActionButton(const QString& title, bool isEnabled,
                                   std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent) {
    setText(title);
    setFont(MenuBarTypography::utilityAction());
    setEnabled(isEnabled);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) {
            action();
        }
    });
}

QColor MenuActionButton::titleColor() const {
    if (!isEnabled()) {
        return MenuBarPalette::secondary(palette());
    }
    if (m_hovered) {
        return MenuBarPalette::menuHoverForeground(palette());
    }
    return MenuBarPalette::primary(palette());
}

QColor MenuActionButton::hoverBackground() const {
    return m_hovered ? MenuBarPalette::menuHoverFill(palette()) : QColor(Qt::transparent);
}

QSize MenuActionButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    const int textHeight = static_cast<int>(std::ceil(metrics.height()));
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text()))) + 2 * kSidePadding,
            std::max(MenuBarLayout::utilityRowMinHeight, textHeight)};
}

QSize MenuActionButton::minimumSizeHint() const {
    return {2 * kSidePadding, sizeHint().height()};
}

void MenuActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(kDisabledOpacity);
    }
    const QColor background = hoverBackground();
    if (background.alpha() > 0) {
        painter.fillPath(rowShape(rect()), background);
    }
    painter.setPen(titleColor());
    const QRect textArea = rect().adjusted(kSidePadding, 0, -kSidePadding, 0);
    const QString title = fontMetrics().elidedText(text(), Qt::ElideRight, textArea.width());
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, title);
}

void MenuActionButton::enterEvent(QEnterEvent* event) {
    setHovered(isEnabled());
    QAbstractButton::enterEvent(event);
}

void MenuActionButton::leaveEvent(QEvent* event) {
    setHovered(false);
    QAbstractButton::leaveEvent(event);
}

void MenuActionButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        setHovered(false);
    }
    QAbstractButton::changeEvent(event);
}

bool MenuActionButton::hitButton(const QPoint& position) const {
    return rowShape(rect()).contains(position);
}

void MenuActionButton::setHovered(bool hovered) {
    if (m_hovered != hovered) {
        m_hovered = hovered;
        update();
    }
}

} // namespace berthkeep

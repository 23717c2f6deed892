#include "Berthkeep/MenuBar/MenuActionButton.hpp"

#include <QCursor>
#include <QEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
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
    : QAbstractButton(parent)
    , m_action(std::move(action)) {
    setTitle(title);
    setFont(MenuBarTypography::utilityAction());
    setEnabled(isEnabled);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_gate && !m_gate(*this)) {
            return;
        }
        // A copy: the action may hand back a state that replaces this row's.
        if (const auto action = m_action) {
            action();
        }
    });
}

void MenuActionButton::setTitle(const QString& title) {
    if (title != text()) {
        setText(title);
        setAccessibleName(title);
    }
}

void MenuActionButton::setAction(std::function<void()> action) {
    m_action = std::move(action);
}

void MenuActionButton::setGate(std::function<bool(const MenuActionButton&)> gate) {
    m_gate = std::move(gate);
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
    return isEnabled() && m_hovered ? MenuBarPalette::menuHoverFill(palette())
                                    : QColor(Qt::transparent);
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
    if (hasFocus()) {
        painter.strokePath(rowShape(QRectF(rect()).adjusted(1, 1, -1, -1)),
                           QPen(palette().color(QPalette::Highlight), 2.0));
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

void MenuActionButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Only a row the user can see acts.
        if (isEnabled() && !visibleRegion().isEmpty()) {
            click();
        }
        return;
    }
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        event->ignore(); // the menu moves between its rows and cards
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void MenuActionButton::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    update();
}

void MenuActionButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    update();
}

void MenuActionButton::refreshHover() {
    if (m_hovered && !rect().contains(mapFromGlobal(QCursor::pos()))) {
        setHovered(false);
    }
}

void MenuActionButton::moveEvent(QMoveEvent* event) {
    QAbstractButton::moveEvent(event);
    refreshHover();
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

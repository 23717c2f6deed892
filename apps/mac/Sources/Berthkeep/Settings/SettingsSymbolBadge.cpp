#include "Berthkeep/Settings/SettingsSymbolBadge.hpp"

#include <QPainter>

#include <cmath>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsSymbolPainter.hpp"

namespace berthkeep {

namespace {
constexpr qreal kCornerRadius = 7;
constexpr qreal kHairline = 0.5;
} // namespace

SettingsSymbolBadge::SettingsSymbolBadge(QString systemImage, QColor tint, qreal size,
                                         QWidget* parent)
    : QWidget(parent)
    , m_systemImage(std::move(systemImage))
    , m_tint(std::move(tint))
    , m_size(size) {
    const int side = static_cast<int>(std::ceil(size));
    setFixedSize(side, side);
}

void SettingsSymbolBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(0, 0, m_size, m_size);
    painter.setPen(Qt::NoPen);
    painter.setBrush(MenuBarPalette::withOpacity(m_tint, 0.12));
    painter.drawRoundedRect(square, kCornerRadius, kCornerRadius);
    SettingsSymbolPainter::paint(painter, m_systemImage, square, m_tint, symbolPointSize());
    // The outline lies inside the edge.
    const qreal inset = kHairline / 2;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(MenuBarPalette::withOpacity(m_tint, 0.14), kHairline));
    painter.drawRoundedRect(square.adjusted(inset, inset, -inset, -inset), kCornerRadius - inset,
                            kCornerRadius - inset);
}

} // namespace berthkeep

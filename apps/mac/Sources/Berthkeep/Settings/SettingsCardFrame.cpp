#include "Berthkeep/Settings/SettingsCardFrame.hpp"

#include <QPainter>

#include "Berthkeep/Settings/SettingsPalette.hpp"

namespace berthkeep {

namespace {
constexpr qreal kCornerRadius = 8;
constexpr qreal kHairline = 0.5;
} // namespace

SettingsCardFrame::SettingsCardFrame(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, false);
}

void SettingsCardFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    painter.setPen(Qt::NoPen);
    painter.setBrush(SettingsPalette::material(palette()));
    painter.drawRoundedRect(bounds, kCornerRadius, kCornerRadius);
    const qreal inset = kHairline / 2;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(SettingsPalette::outline(palette()), kHairline));
    painter.drawRoundedRect(bounds.adjusted(inset, inset, -inset, -inset), kCornerRadius - inset,
                            kCornerRadius - inset);
}

} // namespace berthkeep

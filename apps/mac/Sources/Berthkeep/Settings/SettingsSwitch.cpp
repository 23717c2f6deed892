#include "Berthkeep/Settings/SettingsSwitch.hpp"

#include <QPainter>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"

namespace berthkeep {

SettingsSwitch::SettingsSwitch(QWidget* parent)
    : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

QSize SettingsSwitch::sizeHint() const {
    return {36, 20};
}

void SettingsSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.45);
    }
    const QRectF track = QRectF(0, 0, 36, 20).translated(0, (height() - 20) / 2.0);
    const QColor text = palette().color(QPalette::WindowText);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? SettingsPalette::accent(palette())
                                 : MenuBarPalette::withOpacity(text, 0.16));
    painter.drawRoundedRect(track, 10, 10);
    const qreal knobX = isChecked() ? track.right() - 18 : track.left() + 2;
    const QRectF knob(knobX, track.top() + 2, 16, 16);
    painter.setBrush(QColor(0, 0, 0, 40));
    painter.drawEllipse(knob.translated(0, 0.5));
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(knob);
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(
            QPen(MenuBarPalette::withOpacity(SettingsPalette::accent(palette()), 0.5), 2));
        painter.drawRoundedRect(track.adjusted(-1, -1, 1, 1), 11, 11);
    }
}

} // namespace berthkeep

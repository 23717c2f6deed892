#include "Berthkeep/Settings/SettingsDivider.hpp"

#include <QPainter>

#include "Berthkeep/Settings/SettingsPalette.hpp"

namespace berthkeep {

SettingsDivider::SettingsDivider(QWidget* parent)
    : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SettingsDivider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(QRect(16, 0, width() - 16, 1), SettingsPalette::divider(palette()));
}

} // namespace berthkeep

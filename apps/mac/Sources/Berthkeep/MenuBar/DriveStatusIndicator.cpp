#include "Berthkeep/MenuBar/DriveStatusIndicator.hpp"

#include <QPainter>

#include "Berthkeep/MenuBar/MenuBarLayout.hpp"

namespace berthkeep {

namespace {
constexpr int kTopInset = 3;
}

DriveStatusIndicator::DriveStatusIndicator(MenuBarPalette::Color color, QWidget* parent)
    : QWidget(parent)
    , m_color(color) {
    setFixedSize(MenuBarLayout::driveIndicatorSize, MenuBarLayout::driveIndicatorSize + kTopInset);
}

void DriveStatusIndicator::setColor(MenuBarPalette::Color color) {
    if (color != m_color) {
        m_color = color;
        update();
    }
}

QRect DriveStatusIndicator::dotRect() const {
    return {0, kTopInset, MenuBarLayout::driveIndicatorSize, MenuBarLayout::driveIndicatorSize};
}

void DriveStatusIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color());
    painter.drawEllipse(dotRect());
}

} // namespace berthkeep

#include "Berthkeep/MenuBar/MenuBarDivider.hpp"

#include <QPainter>

namespace berthkeep {

MenuBarDivider::MenuBarDivider(MenuBarPalette::Color color, QWidget* parent)
    : QWidget(parent)
    , m_color(color) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MenuBarDivider::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), color());
}

} // namespace berthkeep

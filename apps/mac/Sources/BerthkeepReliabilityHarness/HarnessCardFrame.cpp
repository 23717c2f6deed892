#include "BerthkeepReliabilityHarness/HarnessCardFrame.hpp"

#include <QPainter>
#include <QPainterPath>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"

namespace berthkeep {

HarnessCardFrame::HarnessCardFrame(qreal cornerRadius, Fill fill, QWidget* parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
    , m_fill(fill) {}

QColor HarnessCardFrame::fillColor() const {
    if (m_fill == Fill::control) {
        return palette().color(QPalette::Base);
    }
    const QColor window = palette().color(QPalette::Window);
    return MenuBarPalette::isDark(palette()) ? window.darker(125) : window.darker(106);
}

void HarnessCardFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    painter.fillPath(path, fillColor());
}

} // namespace berthkeep

#include "Berthkeep/MenuBar/MenuBarSymbols.hpp"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace berthkeep {

namespace {

// A flat drive case seen from the front: an outlined slab, a seam above its
// base and a status light.
void drawExternalDrive(QPainter& painter, const QRectF& box, const QColor& color) {
    const qreal stroke = std::max<qreal>(1.0, box.height() / 8.0);
    const QRectF body = box.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2);
    const qreal radius = body.height() * 0.28;
    QPen pen(color, stroke);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, radius, radius);
    const qreal seam = body.top() + body.height() * 0.55;
    painter.drawLine(QPointF(body.left(), seam), QPointF(body.right(), seam));
    const qreal light = stroke * 1.3;
    const QPointF centre(body.right() - body.height() * 0.32, (seam + body.bottom()) / 2.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(centre, light / 2, light / 2);
}

} // namespace

qreal aspectRatio(MenuBarSymbol symbol) {
    switch (symbol) {
    case MenuBarSymbol::externalDrive:
        return 1.45;
    }
    return 1.0;
}

void drawSymbol(QPainter& painter, MenuBarSymbol symbol, const QRectF& box, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    switch (symbol) {
    case MenuBarSymbol::externalDrive:
        drawExternalDrive(painter, box, color);
        break;
    }
    painter.restore();
}

} // namespace berthkeep

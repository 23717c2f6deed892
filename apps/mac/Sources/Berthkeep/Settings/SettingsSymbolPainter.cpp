#include "Berthkeep/Settings/SettingsSymbolPainter.hpp"

#include <QPainterPath>
#include <QPainterPathStroker>

#include <functional>
#include <map>

namespace berthkeep::SettingsSymbolPainter {

namespace {

// Grid units: 20 across. Semibold strokes are about two units wide.
constexpr qreal kStroke = 1.9;

QPainterPath stroked(const QPainterPath& path, qreal width = kStroke) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path);
}

QPainterPath roundedRect(const QRectF& rect, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath circle(QPointF centre, qreal radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath line(QPointF from, QPointF to) {
    QPainterPath path(from);
    path.lineTo(to);
    return path;
}

QPainterPath star(QPointF centre, qreal radius) {
    // Four points with concave sides.
    QPainterPath path(centre + QPointF(0, -radius));
    const QPointF tips[] = {{radius, 0}, {0, radius}, {-radius, 0}, {0, -radius}};
    for (const QPointF& tip : tips) {
        path.quadTo(centre, centre + tip);
    }
    return path;
}

QPainterPath power() {
    QPainterPath arc;
    // Open at the top, where the stem stands.
    arc.arcMoveTo(QRectF(3, 3.5, 14, 14), 120);
    arc.arcTo(QRectF(3, 3.5, 14, 14), 120, 300);
    return stroked(arc).united(stroked(line({10, 2}, {10, 9.5})));
}

QPainterPath bellBadge() {
    QPainterPath bell(QPointF(3, 15));
    bell.lineTo(4.5, 13);
    bell.lineTo(4.5, 9);
    bell.cubicTo(4.5, 5, 6.5, 3.5, 9.5, 3.5);
    bell.cubicTo(12.5, 3.5, 14.5, 5, 14.5, 9);
    bell.lineTo(14.5, 13);
    bell.lineTo(16, 15);
    bell.closeSubpath();
    QPainterPath shape = stroked(bell).united(stroked(line({8, 17.5}, {11, 17.5})));
    return shape.subtracted(circle({15.5, 4.5}, 4.2)).united(circle({15.5, 4.5}, 2.8));
}

QPainterPath eye() {
    QPainterPath outline(QPointF(1.5, 10));
    outline.quadTo(10, 0.5, 18.5, 10);
    outline.quadTo(10, 19.5, 1.5, 10);
    return stroked(outline).united(circle({10, 10}, 3.2));
}

QPainterPath sparkles() {
    return star({8.5, 11}, 7.5).united(star({16, 4}, 3.5)).united(star({16.5, 16.5}, 2.5));
}

QPainterPath chartBarFill() {
    return roundedRect({2, 11, 4.4, 7}, 1.2)
        .united(roundedRect({7.8, 6.5, 4.4, 11.5}, 1.2))
        .united(roundedRect({13.6, 2, 4.4, 16}, 1.2));
}

QPainterPath appBadge() {
    const QPainterPath square = stroked(roundedRect({2.5, 3.5, 14, 14}, 3.5));
    return square.subtracted(circle({16, 4.5}, 4.6)).united(circle({16, 4.5}, 3.2));
}

QPainterPath slidersHorizontal() {
    QPainterPath path;
    const qreal rows[] = {4, 10, 16};
    const qreal knobs[] = {13, 6.5, 11};
    for (int index = 0; index < 3; ++index) {
        path = path.united(stroked(line({2, rows[index]}, {18, rows[index]}), 1.6));
        path = path.united(circle({knobs[index], rows[index]}, 2.6));
    }
    return path;
}

QPainterPath waveformECG() {
    QPainterPath trace(QPointF(1, 11));
    trace.lineTo(5, 11);
    trace.lineTo(7, 7);
    trace.lineTo(9.5, 17);
    trace.lineTo(12.5, 3);
    trace.lineTo(14.5, 11);
    trace.lineTo(19, 11);
    return stroked(trace);
}

QPainterPath externalDriveFill() {
    const QPainterPath body = roundedRect({1.5, 5.5, 17, 9}, 2.5);
    return body.subtracted(circle({14.5, 10}, 1.3));
}

QPainterPath externalDriveConnected() {
    const QPainterPath body = stroked(roundedRect({3, 2.5, 14, 7.5}, 2));
    return body.united(circle({13.5, 6.25}, 1.1))
        .united(stroked(line({10, 10}, {10, 15.5})))
        .united(stroked(line({3, 17.5}, {17, 17.5})));
}

QPainterPath lockShield() {
    QPainterPath shield(QPointF(10, 1.8));
    shield.lineTo(17, 4.5);
    shield.lineTo(17, 9.5);
    shield.cubicTo(17, 14, 14, 16.8, 10, 18.5);
    shield.cubicTo(6, 16.8, 3, 14, 3, 9.5);
    shield.lineTo(3, 4.5);
    shield.closeSubpath();
    QPainterPath shackle;
    shackle.moveTo(8, 9.5);
    shackle.lineTo(8, 8.2);
    shackle.cubicTo(8, 6.2, 12, 6.2, 12, 8.2);
    shackle.lineTo(12, 9.5);
    return stroked(shield, 1.7)
        .united(roundedRect({6.8, 9.3, 6.4, 4.8}, 1))
        .united(stroked(shackle, 1.4));
}

QPainterPath infoCircleFill() {
    const QPainterPath disc = circle({10, 10}, 8.5);
    return disc.subtracted(circle({10, 6}, 1.3)).subtracted(roundedRect({8.9, 8.5, 2.2, 6.5}, 1));
}

QPainterPath checkmarkCircleFill() {
    QPainterPath tick(QPointF(6, 10.3));
    tick.lineTo(8.8, 13);
    tick.lineTo(14, 7);
    return circle({10, 10}, 8.5).subtracted(stroked(tick, 2));
}

const std::map<QString, std::function<QPainterPath()>>& shapes() {
    static const std::map<QString, std::function<QPainterPath()>> table{
        {"power", power},
        {"bell.badge", bellBadge},
        {"eye", eye},
        {"sparkles", sparkles},
        {"chart.bar.fill", chartBarFill},
        {"app.badge", appBadge},
        {"slider.horizontal.3", slidersHorizontal},
        {"waveform.path.ecg", waveformECG},
        {"externaldrive.fill", externalDriveFill},
        {"externaldrive.connected.to.line.below", externalDriveConnected},
        {"lock.shield", lockShield},
        {"info.circle.fill", infoCircleFill},
        {"checkmark.circle.fill", checkmarkCircleFill},
    };
    return table;
}

} // namespace

bool knows(const QString& name) {
    return shapes().contains(name);
}

void paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color,
           qreal pointSize) {
    const auto found = shapes().find(name);
    if (found == shapes().end()) {
        return;
    }
    // A symbol is a little wider than its point size, like a glyph with its bearings.
    const qreal side = pointSize * 1.2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center() - QPointF(side / 2, side / 2));
    painter.scale(side / 20, side / 20);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(found->second());
    painter.restore();
}

} // namespace berthkeep::SettingsSymbolPainter

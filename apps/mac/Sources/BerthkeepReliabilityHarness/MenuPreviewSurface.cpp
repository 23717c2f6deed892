#include "BerthkeepReliabilityHarness/MenuPreviewSurface.hpp"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace berthkeep {

MenuPreviewSurface::MenuPreviewSurface(QWidget* content, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(20);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor(0, 0, 0, qRound(255 * 0.08)));
    setGraphicsEffect(shadow);
}

void MenuPreviewSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(card, cornerRadius, cornerRadius);
    painter.fillPath(path, palette().color(QPalette::Base));
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlphaF(0.08);
    painter.setPen(QPen(outline, 1));
    painter.drawPath(path);
}

} // namespace berthkeep

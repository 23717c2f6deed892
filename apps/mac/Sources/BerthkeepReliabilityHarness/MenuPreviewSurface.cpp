#include "BerthkeepReliabilityHarness/MenuPreviewSurface.hpp"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace berthkeep {

MenuPreviewSurface::MenuPreviewSurface(QWidget* content, Width width, QWidget* parent)
    : QWidget(parent)
    , m_content(content) {
    m_content->setParent(this);
    setSizePolicy(width == Width::stretches ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                  QSizePolicy::Fixed);

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(20);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor(0, 0, 0, qRound(255 * 0.08)));
    setGraphicsEffect(shadow);
}

// No layout on purpose: a layout asks its items for their height at the width
// it was offered, not at the content's own fixed width, and under-sizes a menu
// whose text wraps. The content keeps its width and gets its height for it.
QSize MenuPreviewSurface::contentSize() const {
    const int width = m_content->maximumWidth() < QWIDGETSIZE_MAX ? m_content->maximumWidth()
                                                                  : m_content->sizeHint().width();
    const int height = m_content->hasHeightForWidth() ? m_content->heightForWidth(width)
                                                      : m_content->sizeHint().height();
    return {width, std::clamp(height, m_content->minimumHeight(), m_content->maximumHeight())};
}

QSize MenuPreviewSurface::sizeHint() const {
    return contentSize();
}

QSize MenuPreviewSurface::minimumSizeHint() const {
    return contentSize();
}

bool MenuPreviewSurface::event(QEvent* event) {
    // The content changed what it needs.
    if (event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        placeContent();
    }
    return QWidget::event(event);
}

void MenuPreviewSurface::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeContent();
}

void MenuPreviewSurface::placeContent() {
    const QSize size = contentSize();
    m_content->setGeometry((width() - size.width()) / 2, 0, size.width(), size.height());
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

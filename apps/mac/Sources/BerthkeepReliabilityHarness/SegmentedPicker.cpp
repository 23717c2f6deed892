#include "BerthkeepReliabilityHarness/SegmentedPicker.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace berthkeep {

namespace {

constexpr int segmentHeight = 24;
constexpr qreal cornerRadius = 6;

} // namespace

SegmentedPicker::SegmentedPicker(const QString& accessibleTitle, QStringList titles,
                                 QWidget* parent)
    : QWidget(parent)
    , m_titles(std::move(titles)) {
    setAccessibleName(accessibleTitle);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void SegmentedPicker::setCurrentIndex(int index) {
    if (index >= 0 && index < m_titles.size() && index != m_current) {
        m_current = index;
        update();
    }
}

void SegmentedPicker::choose(int index) {
    if (index < 0 || index >= m_titles.size()) {
        return;
    }
    setCurrentIndex(index);
    if (m_onChanged) {
        m_onChanged(index);
    }
}

QSize SegmentedPicker::sizeHint() const {
    int width = 0;
    for (const QString& title : m_titles) {
        width += fontMetrics().horizontalAdvance(title) + 24;
    }
    return {width, segmentHeight};
}

QRectF SegmentedPicker::segmentRect(int index) const {
    const qreal width = qreal(this->width()) / qMax<qsizetype>(1, m_titles.size());
    return {index * width, 0, width, qreal(height())};
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(frame, cornerRadius, cornerRadius);
    painter.fillPath(outline, palette().color(QPalette::Button));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawPath(outline);

    for (int index = 0; index < m_titles.size(); ++index) {
        const QRectF segment = segmentRect(index);
        const bool selected = index == m_current;
        if (selected) {
            QPainterPath fill;
            fill.addRoundedRect(segment.adjusted(2, 2, -2, -2), cornerRadius - 2, cornerRadius - 2);
            painter.fillPath(fill, palette().color(QPalette::Highlight));
        } else if (index > 0 && index - 1 != m_current) {
            painter.setPen(QPen(palette().color(QPalette::Mid), 1));
            painter.drawLine(QPointF(segment.left(), segment.top() + 5),
                             QPointF(segment.left(), segment.bottom() - 5));
        }
        painter.setPen(
            palette().color(selected ? QPalette::HighlightedText : QPalette::ButtonText));
        painter.drawText(segment, Qt::AlignCenter, m_titles[index]);
    }
}

void SegmentedPicker::mousePressEvent(QMouseEvent* event) {
    for (int index = 0; index < m_titles.size(); ++index) {
        if (segmentRect(index).contains(event->position())) {
            choose(index);
            return;
        }
    }
}

} // namespace berthkeep

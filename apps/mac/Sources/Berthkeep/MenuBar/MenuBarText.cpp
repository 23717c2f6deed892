#include "Berthkeep/MenuBar/MenuBarText.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace berthkeep {

MenuBarText::MenuBarText(QString text, QFont font, Color color, int maxLines, QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
    , m_font(std::move(font))
    , m_color(std::move(color))
    , m_maxLines(maxLines) {
    setFont(m_font);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(m_maxLines != 1);
    setSizePolicy(policy);
}

std::vector<MenuBarText::Line> MenuBarText::layoutLines(qreal width) const {
    const QFontMetricsF metrics(m_font);
    std::vector<Line> lines;
    if (m_text.isEmpty()) {
        return lines;
    }
    if (m_maxLines == 1) {
        lines.push_back({metrics.elidedText(m_text, Qt::ElideRight, width), 0});
        return lines;
    }
    QTextLayout layout(m_text, m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        const bool last = m_maxLines > 0 && static_cast<int>(lines.size()) + 1 == m_maxLines;
        if (last && line.textStart() + line.textLength() < m_text.size()) {
            // Out of lines with text left over: the rest goes on this one, elided.
            const QString rest = m_text.mid(line.textStart()).simplified();
            lines.push_back({metrics.elidedText(rest, Qt::ElideRight, width), y});
            break;
        }
        lines.push_back({m_text.mid(line.textStart(), line.textLength()).trimmed(), y});
        y += metrics.lineSpacing();
    }
    layout.endLayout();
    return lines;
}

QStringList MenuBarText::visibleLines() const {
    QStringList lines;
    for (const Line& line : layoutLines(contentsRect().width())) {
        lines.append(line.text);
    }
    return lines;
}

QSize MenuBarText::sizeHint() const {
    const QFontMetricsF metrics(m_font);
    const QMargins margins = contentsMargins();
    const int width = static_cast<int>(std::ceil(metrics.horizontalAdvance(m_text)));
    return {width + margins.left() + margins.right(),
            static_cast<int>(std::ceil(metrics.lineSpacing())) + margins.top() + margins.bottom()};
}

QSize MenuBarText::minimumSizeHint() const {
    // Narrower than the text is fine: it wraps or elides.
    return {contentsMargins().left() + contentsMargins().right(), sizeHint().height()};
}

bool MenuBarText::hasHeightForWidth() const {
    return m_maxLines != 1;
}

int MenuBarText::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    const auto lines = layoutLines(width - margins.left() - margins.right());
    const qreal lineHeight = QFontMetricsF(m_font).lineSpacing();
    const auto count = std::max<std::size_t>(lines.size(), 1);
    return static_cast<int>(std::ceil(static_cast<qreal>(count) * lineHeight)) + margins.top() +
           margins.bottom();
}

void MenuBarText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(m_font);
    painter.setPen(color());
    const QRectF area = contentsRect();
    const QFontMetricsF metrics(m_font);
    for (const Line& line : layoutLines(area.width())) {
        painter.drawText(QPointF(area.left(), area.top() + line.y + metrics.ascent()), line.text);
    }
}

} // namespace berthkeep

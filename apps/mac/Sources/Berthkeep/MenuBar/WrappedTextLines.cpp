#include "Berthkeep/MenuBar/WrappedTextLines.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace berthkeep {

QStringList wrappedTextLines(const QString& text, const QFont& font, qreal width, int maxLines) {
    const QFontMetricsF metrics(font);
    QStringList lines;
    if (text.isEmpty()) {
        return lines;
    }
    if (maxLines == 1) {
        lines << metrics.elidedText(text, Qt::ElideRight, width);
        return lines;
    }
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        const bool last = maxLines > 0 && lines.size() + 1 == maxLines;
        if (last && line.textStart() + line.textLength() < text.size()) {
            // Out of lines with text left over: the rest goes on this one, elided.
            const QString rest = text.mid(line.textStart()).simplified();
            lines << metrics.elidedText(rest, Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

int wrappedTextHeight(qsizetype lineCount, const QFont& font, const QMargins& margins) {
    const qreal lineHeight = QFontMetricsF(font).lineSpacing();
    const auto count = std::max<qsizetype>(lineCount, 1);
    return static_cast<int>(std::ceil(static_cast<qreal>(count) * lineHeight)) + margins.top() +
           margins.bottom();
}

void drawWrappedLines(QPainter& painter, const QStringList& lines, const QFont& font,
                      const QRectF& area) {
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    qreal y = area.top() + metrics.ascent();
    for (const QString& line : lines) {
        painter.drawText(QPointF(area.left(), y), line);
        y += metrics.lineSpacing();
    }
}

} // namespace berthkeep

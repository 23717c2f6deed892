#include "Berthkeep/MenuBar/MenuBarText.hpp"

#include "Berthkeep/MenuBar/WrappedTextLines.hpp"

#include <QFontMetricsF>
#include <QPainter>

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
    setAccessibleName(m_text);
}

void MenuBarText::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    setAccessibleName(m_text);
    updateGeometry();
    update();
}

QStringList MenuBarText::layoutLines(qreal width) const {
    return wrappedTextLines(m_text, m_font, width, m_maxLines);
}

QStringList MenuBarText::visibleLines() const {
    return layoutLines(contentsRect().width());
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
    return wrappedTextHeight(lines.size(), m_font, margins);
}

void MenuBarText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(color());
    const QRectF area = contentsRect();
    drawWrappedLines(painter, layoutLines(area.width()), m_font, area);
}

} // namespace berthkeep

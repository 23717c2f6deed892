#include "Berthkeep/Settings/SettingsText.hpp"

#include "Berthkeep/MenuBar/WrappedTextLines.hpp"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace berthkeep {

SettingsText::SettingsText(QString text, QFont font, Style style, int lineLimit, QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
    , m_font(std::move(font))
    , m_style(style)
    , m_lineLimit(lineLimit) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setFont(m_font);
    setAccessibleName(m_text);
}

void SettingsText::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    setAccessibleName(m_text);
    updateGeometry();
    update();
}

void SettingsText::setColor(const QColor& color) {
    m_color = color;
    update();
}

QStringList SettingsText::visibleLines(int width) const {
    if (width <= 0) {
        return {};
    }
    return wrappedTextLines(m_text, m_font, width, m_lineLimit);
}

// Margins are part of the text, so a hidden note takes its spacing with it.
int SettingsText::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    const int textWidth = width - margins.left() - margins.right();
    return wrappedTextHeight(visibleLines(textWidth).size(), m_font, margins);
}

QSize SettingsText::sizeHint() const {
    const QMargins margins = contentsMargins();
    const QFontMetricsF metrics(m_font);
    const int singleLine = static_cast<int>(std::ceil(metrics.horizontalAdvance(m_text))) + 1;
    const int width = std::min(singleLine, 560) + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize SettingsText::minimumSizeHint() const {
    // One line: the real height comes from heightForWidth at the width given,
    // and a tall minimum here would stretch every layout above it.
    const QMargins margins = contentsMargins();
    return {std::min(sizeHint().width(), 40 + margins.left() + margins.right()),
            wrappedTextHeight(1, m_font, margins)};
}

QColor SettingsText::foreground() const {
    if (m_color.isValid()) {
        return isEnabled() ? m_color : palette().color(QPalette::Disabled, QPalette::WindowText);
    }
    const auto group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    return m_style == Style::secondary ? palette().color(group, QPalette::PlaceholderText)
                                       : palette().color(group, QPalette::WindowText);
}

void SettingsText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(foreground());
    const QRect area = contentsRect();
    drawWrappedLines(painter, visibleLines(area.width()), m_font, area);
}

} // namespace berthkeep

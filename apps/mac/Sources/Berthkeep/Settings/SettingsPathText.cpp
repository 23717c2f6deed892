#include "Berthkeep/Settings/SettingsPathText.hpp"

#include <QFontMetrics>
#include <QPainter>

namespace berthkeep {

SettingsPathText::SettingsPathText(QString path, QFont font, QWidget* parent)
    : QWidget(parent)
    , m_path(std::move(path)) {
    setFont(std::move(font));
    setForegroundRole(QPalette::PlaceholderText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setToolTip(m_path);
    setAccessibleName(m_path);
}

QString SettingsPathText::visibleText(int width) const {
    return fontMetrics().elidedText(m_path, Qt::ElideMiddle, width);
}

QSize SettingsPathText::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(m_path) + 1, metrics.height()};
}

QSize SettingsPathText::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

void SettingsPathText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, visibleText(width()));
}

} // namespace berthkeep

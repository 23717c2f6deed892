#include "BerthkeepReliabilityHarness/ElidingLabel.hpp"

#include <QEvent>
#include <QFontMetrics>

namespace berthkeep {

namespace {

const QString ellipsis = QStringLiteral("\u2026");

} // namespace

ElidingLabel::ElidingLabel(QString text, QWidget* parent)
    : QLabel(parent)
    , m_fullText(std::move(text)) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setToolTip(m_fullText);
    setText(m_fullText);
}

int ElidingLabel::horizontalExtras() const {
    const QMargins margins = contentsMargins();
    return margins.left() + margins.right() + 2 * margin();
}

QSize ElidingLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(m_fullText) + horizontalExtras(),
            QLabel::sizeHint().height()};
}

QSize ElidingLabel::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(ellipsis) + horizontalExtras(),
            QLabel::minimumSizeHint().height()};
}

void ElidingLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidingLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        elide();
    }
}

void ElidingLabel::elide() {
    const int width = contentsRect().width() - 2 * margin();
    const QString shown = fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, width);
    // Setting the same text again would only ask the layout for another pass.
    if (shown != text()) {
        setText(shown);
    }
}

} // namespace berthkeep

#include "Berthkeep/MenuBar/TransientActionStatusPanelView.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "Berthkeep/MenuBar/WrappedTextLines.hpp"

namespace berthkeep {

namespace {

constexpr qreal kCornerRadius = 8;
constexpr qreal kPaddingX = 12;
constexpr qreal kPaddingY = 10;
constexpr qreal kIconSide = 26;
constexpr qreal kSpacing = 10;
constexpr qreal kLineSpacing = 2;
constexpr int kSpinnerSpokes = 8;
// Close to the desktop's warning orange; the palette has no such role.
const QColor kAttentionOrange(245, 140, 20);
// "Secondary" text and glyphs: the window text, faded.
constexpr qreal kSecondaryAlpha = 0.55;

QColor withAlpha(QColor color, qreal alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

} // namespace

TransientActionStatusPanelView::TransientActionStatusPanelView(TransientActionStatus status,
                                                               bool drawsShadow, QWidget* parent)
    : QWidget(parent)
    , m_status(std::move(status))
    , m_drawsShadow(drawsShadow) {
    fitToTexts();
    if (m_drawsShadow) {
        setAttribute(Qt::WA_TranslucentBackground);
    }
    m_spinnerTimer.setInterval(80);
    connect(&m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinnerStep = (m_spinnerStep + 1) % kSpinnerSpokes;
        update();
    });
}

void TransientActionStatusPanelView::setStatus(TransientActionStatus status) {
    m_status = std::move(status);
    fitToTexts();
    updateSpinner();
    update();
}

void TransientActionStatusPanelView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        fitToTexts();
    }
    QWidget::changeEvent(event);
}

void TransientActionStatusPanelView::fitToTexts() {
    const qreal needed = textStackHeight() + 2 * kPaddingY;
    m_cardSize =
        QSize(cardSize.width(), std::max(cardSize.height(), static_cast<int>(std::ceil(needed))));
    setFixedSize(m_cardSize + QSize(2 * margin(), 2 * margin()));
}

int TransientActionStatusPanelView::margin() const {
    return m_drawsShadow ? shadowMargin : 0;
}

QRect TransientActionStatusPanelView::cardRect() const {
    return QRect(QPoint(margin(), margin()), m_cardSize);
}

QPainterPath TransientActionStatusPanelView::cardShape() const {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(cardRect()), kCornerRadius, kCornerRadius);
    return shape;
}

QFont TransientActionStatusPanelView::fontOfSize(qreal pixels, QFont::Weight weight) const {
    // Sizes are in device-independent pixels, as the card's other lengths.
    QFont result = font();
    result.setPointSizeF(pixels * 72.0 / logicalDpiY());
    result.setWeight(weight);
    return result;
}

QRectF TransientActionStatusPanelView::textRect() const {
    const QRectF inner = QRectF(cardRect()).adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY);
    return inner.adjusted(kIconSide + kSpacing, 0, 0, 0);
}

// Also read while the card is being sized: its text column is as wide at every height.
QStringList TransientActionStatusPanelView::titleLines() const {
    return wrappedTextLines(QString::fromStdString(m_status.title), titleFont(), textRect().width(),
                            0);
}

QStringList TransientActionStatusPanelView::detailLines() const {
    if (!m_status.detail) {
        return {};
    }
    return wrappedTextLines(QString::fromStdString(*m_status.detail), detailFont(),
                            textRect().width(), 0);
}

qreal TransientActionStatusPanelView::textStackHeight() const {
    qreal stack = wrappedTextHeight(titleLines().size(), titleFont(), {});
    if (m_status.detail) {
        stack += kLineSpacing + wrappedTextHeight(detailLines().size(), detailFont(), {});
    }
    return stack;
}

QString TransientActionStatusPanelView::displayedTitle() const {
    return titleLines().join(QLatin1Char('\n'));
}

QString TransientActionStatusPanelView::displayedDetail() const {
    return detailLines().join(QLatin1Char('\n'));
}

QColor TransientActionStatusPanelView::toneColor() const {
    switch (m_status.tone) {
    case TransientActionStatusTone::progress:
        // Stands in for the accent colour.
        return palette().color(QPalette::Highlight);
    case TransientActionStatusTone::success:
        return withAlpha(palette().color(QPalette::WindowText), kSecondaryAlpha);
    case TransientActionStatusTone::attention:
        return kAttentionOrange;
    }
    return palette().color(QPalette::WindowText);
}

void TransientActionStatusPanelView::updateSpinner() {
    const bool spinning = m_status.tone == TransientActionStatusTone::progress && isVisible();
    if (spinning && !m_spinnerTimer.isActive()) {
        m_spinnerTimer.start();
    } else if (!spinning) {
        m_spinnerTimer.stop();
    }
}

void TransientActionStatusPanelView::showEvent(QShowEvent*) {
    updateSpinner();
}

void TransientActionStatusPanelView::hideEvent(QHideEvent*) {
    m_spinnerTimer.stop();
}

void TransientActionStatusPanelView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card(cardRect());
    const QPainterPath shape = cardShape();
    const QColor text = palette().color(QPalette::WindowText);
    if (m_drawsShadow) {
        drawShadow(painter);
        painter.fillPath(shape, withAlpha(palette().color(QPalette::Window), 0.97));
    } else {
        // Every pixel opaque: without compositing a translucent one shows black.
        painter.fillRect(rect(), palette().color(QPalette::Window));
    }
    if (m_status.tone != TransientActionStatusTone::progress) {
        painter.save();
        painter.setClipPath(shape);
        painter.fillRect(QRectF(card.left(), card.bottom() - 2, card.width(), 2),
                         withAlpha(toneColor(), 0.38));
        painter.restore();
    }
    QPainterPath border;
    border.addRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius - 0.5,
                          kCornerRadius - 0.5);
    painter.strokePath(border, QPen(withAlpha(text, 0.1), 1));

    const QRectF inner = card.adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY);
    drawStatusIcon(painter,
                   QRectF(inner.left(), inner.center().y() - kIconSide / 2, kIconSide, kIconSide));

    const QFont title = titleFont();
    const QStringList titleText = titleLines();
    const QRectF texts = textRect();
    const qreal top = texts.center().y() - textStackHeight() / 2;
    painter.setPen(text);
    drawWrappedLines(painter, titleText, title,
                     QRectF(texts.left(), top, texts.width(), texts.height()));
    if (m_status.detail) {
        const qreal titleHeight = wrappedTextHeight(titleText.size(), title, {});
        painter.setPen(withAlpha(text, kSecondaryAlpha));
        drawWrappedLines(
            painter, detailLines(), detailFont(),
            QRectF(texts.left(), top + titleHeight + kLineSpacing, texts.width(), texts.height()));
    }
}

// A soft drop shadow in the margin: rounded rings fading outwards.
void TransientActionStatusPanelView::drawShadow(QPainter& painter) const {
    const QRectF card = QRectF(cardRect()).translated(0, 2);
    painter.save();
    painter.setPen(Qt::NoPen);
    constexpr int rings = 8;
    for (int ring = rings; ring >= 1; --ring) {
        const qreal grow = ring;
        QPainterPath path;
        path.addRoundedRect(card.adjusted(-grow, -grow, grow, grow), kCornerRadius + grow,
                            kCornerRadius + grow);
        painter.fillPath(path, QColor(0, 0, 0, 6));
    }
    painter.restore();
}

void TransientActionStatusPanelView::drawStatusIcon(QPainter& painter, const QRectF& area) const {
    const QColor tone = toneColor();
    const QPointF centre = area.center();
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(tone, tone.alphaF() * 0.12));
    painter.drawEllipse(area);

    switch (m_status.tone) {
    case TransientActionStatusTone::progress: {
        // Spokes fading behind the leading one, turned a step per timer tick.
        const QColor spoke = palette().color(QPalette::WindowText);
        for (int index = 0; index < kSpinnerSpokes; ++index) {
            const int age = (m_spinnerStep - index + kSpinnerSpokes) % kSpinnerSpokes;
            const qreal angle = 2 * std::numbers::pi * index / kSpinnerSpokes;
            const QPointF direction(std::sin(angle), -std::cos(angle));
            painter.setPen(
                QPen(withAlpha(spoke, 0.85 - age * 0.09), 1.3, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(centre + direction * 2.4, centre + direction * 4.8);
        }
        break;
    }
    case TransientActionStatusTone::success: {
        QPainterPath check;
        check.moveTo(centre + QPointF(-3.4, 0.3));
        check.lineTo(centre + QPointF(-1.1, 2.7));
        check.lineTo(centre + QPointF(3.5, -2.9));
        painter.strokePath(check, QPen(tone, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        break;
    }
    case TransientActionStatusTone::attention:
        painter.setPen(QPen(tone, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + QPointF(0, -3.9), centre + QPointF(0, 1.1));
        painter.setPen(Qt::NoPen);
        painter.setBrush(tone);
        painter.drawEllipse(centre + QPointF(0, 3.6), 1.0, 1.0);
        break;
    }
    painter.restore();
}

} // namespace berthkeep

#include "Berthkeep/Settings/SettingsStatusPill.hpp"

#include <QFontMetrics>
#include <QPainter>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {

namespace {
constexpr int kHorizontalPadding = 8;
constexpr int kVerticalPadding = 4;
} // namespace

SettingsStatusPill::SettingsStatusPill(QString label, QColor tint, QWidget* parent)
    : QWidget(parent)
    , m_label(std::move(label))
    , m_tint(std::move(tint)) {
    setFont(SettingsTypography::captionMedium());
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setAccessibleName(m_label);
}

void SettingsStatusPill::setLabel(const QString& label, const QColor& tint) {
    m_label = label;
    m_tint = tint;
    setAccessibleName(m_label);
    updateGeometry();
    update();
}

QString SettingsStatusPill::shownText() const {
    return fontMetrics().elidedText(m_label, Qt::ElideRight, width() - 2 * kHorizontalPadding);
}

QSize SettingsStatusPill::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(m_label) + 2 * kHorizontalPadding + 1,
            metrics.height() + 2 * kVerticalPadding};
}

QSize SettingsStatusPill::minimumSizeHint() const {
    return {2 * kHorizontalPadding + fontMetrics().horizontalAdvance(QChar(0x2026)),
            sizeHint().height()};
}

void SettingsStatusPill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    const qreal radius = capsule.height() / 2;
    painter.setPen(QPen(MenuBarPalette::withOpacity(m_tint, 0.16), 0.5));
    painter.setBrush(MenuBarPalette::withOpacity(m_tint, 0.12));
    painter.drawRoundedRect(capsule, radius, radius);
    painter.setPen(m_tint);
    painter.drawText(rect().adjusted(kHorizontalPadding, 0, -kHorizontalPadding, 0),
                     Qt::AlignCenter, shownText());
}

} // namespace berthkeep

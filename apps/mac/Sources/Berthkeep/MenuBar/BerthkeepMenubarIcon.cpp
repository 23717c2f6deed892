#include "Berthkeep/MenuBar/BerthkeepMenubarIcon.hpp"

#include <array>
#include <cmath>
#include <utility>

#include <QIcon>
#include <QPaintEngine>
#include <QPainter>
#include <QPalette>

#include "Berthkeep/MenuBar/BerthkeepMenubarRenderedAsset.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

namespace berthkeep {

namespace {

constexpr std::array<std::pair<BerthkeepMenubarIcon::Variant, std::string_view>, 5> kVariantNames{{
    {BerthkeepMenubarIcon::Variant::safe, "safe"},
    {BerthkeepMenubarIcon::Variant::attention, "attention"},
    {BerthkeepMenubarIcon::Variant::limitedProtection, "limitedProtection"},
    {BerthkeepMenubarIcon::Variant::ejecting, "ejecting"},
    {BerthkeepMenubarIcon::Variant::mounting, "mounting"},
}};

} // namespace

BerthkeepMenubarIcon::BerthkeepMenubarIcon(Variant variant, qreal size, QWidget* parent)
    : QWidget(parent)
    , m_variant(variant)
    , m_size(size) {
    const int side = std::max(1, static_cast<int>(std::ceil(size)));
    setFixedSize(side, side);
    setAttribute(Qt::WA_TranslucentBackground);
}

void BerthkeepMenubarIcon::setVariant(Variant variant) {
    if (variant != m_variant) {
        m_variant = variant;
        update();
    }
}

void BerthkeepMenubarIcon::setOpacity(qreal opacity) {
    if (opacity != m_opacity) {
        m_opacity = opacity;
        update();
    }
}

BerthkeepMenubarIcon::ColorScheme BerthkeepMenubarIcon::colorScheme(const QPalette& palette) {
    return MenuBarPalette::isDark(palette) ? ColorScheme::dark : ColorScheme::light;
}

void BerthkeepMenubarIcon::paintEvent(QPaintEvent*) {
    const QIcon image = BerthkeepMenubarRenderedAsset::displayImage(
        m_variant, m_size, colorScheme(palette()),
        BerthkeepRuntimeIdentity::currentBundleIdentifier());
    QPainter painter(this);
    // The device the pixels land on (the backing store, or the picture a render()
    // paints into), not the widget's screen: a 4x picture asks for the 4x image.
    const qreal ratio = painter.paintEngine()->paintDevice()->devicePixelRatioF();
    const QSize points(std::max(1, static_cast<int>(std::lround(m_size))),
                       std::max(1, static_cast<int>(std::lround(m_size))));
    const QPixmap pixmap = image.pixmap(points, ratio);
    painter.setOpacity(m_opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF target(
        QPointF((width() - points.width()) / 2.0, (height() - points.height()) / 2.0),
        QSizeF(points));
    painter.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
}

std::string toString(BerthkeepMenubarIcon::Variant variant) {
    for (const auto& [value, name] : kVariantNames) {
        if (value == variant) {
            return std::string(name);
        }
    }
    return {};
}

std::optional<BerthkeepMenubarIcon::Variant> menubarIconVariantFromString(std::string_view text) {
    for (const auto& [value, name] : kVariantNames) {
        if (name == text) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace berthkeep

#include "Berthkeep/MenuBar/BerthkeepMenubarRenderedAsset.hpp"

#include <algorithm>
#include <map>

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "Berthkeep/MenuBar/BerthkeepMenubarBaseTint.hpp"
#include "Berthkeep/MenuBar/BerthkeepMenubarPNGAsset.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep {

namespace {

constexpr qreal kHaloWidth = 1.4;

// Disc colours of the coloured image; they stand in for the desktop's red,
// orange and blue, which Qt's palette does not name.
QColor badgeColor(BerthkeepMenubarIcon::Variant variant) {
    switch (variant) {
    case BerthkeepMenubarIcon::Variant::attention:
        return QColor(224, 52, 45);
    case BerthkeepMenubarIcon::Variant::ejecting:
        return QColor(245, 140, 20);
    case BerthkeepMenubarIcon::Variant::mounting:
        return QColor(30, 120, 240);
    case BerthkeepMenubarIcon::Variant::limitedProtection:
    case BerthkeepMenubarIcon::Variant::safe:
        return QColor::fromRgbF(0.56f, 0.58f, 0.6f);
    }
    return Qt::gray;
}

// The badge symbol as a filled outline centred on the disc, in proportion to its
// side: a font's glyph at this size is a smudge, so the shapes are drawn here.
QPainterPath badgeSymbol(BerthkeepMenubarIcon::Variant variant, const QRectF& badge) {
    const qreal s = badge.width();
    const QPointF c = badge.center();
    const qreal stem = s * 0.17;
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    switch (variant) {
    case BerthkeepMenubarIcon::Variant::attention:
        path.addRoundedRect(QRectF(c.x() - stem / 2, c.y() - s * 0.31, stem, s * 0.41), stem / 2,
                            stem / 2);
        path.addEllipse(QPointF(c.x(), c.y() + s * 0.24), stem * 0.58, stem * 0.58);
        break;
    case BerthkeepMenubarIcon::Variant::ejecting:
    case BerthkeepMenubarIcon::Variant::mounting: {
        // Drawn pointing down, then turned over for mounting.
        const qreal head = s * 0.27;
        QPolygonF arrow{{c.x() - stem / 2, c.y() - s * 0.32},
                        {c.x() + stem / 2, c.y() - s * 0.32},
                        {c.x() + stem / 2, c.y() + s * 0.32 - head},
                        {c.x() + s * 0.27, c.y() + s * 0.32 - head},
                        {c.x(), c.y() + s * 0.32},
                        {c.x() - s * 0.27, c.y() + s * 0.32 - head},
                        {c.x() - stem / 2, c.y() + s * 0.32 - head}};
        path.addPolygon(arrow);
        path.closeSubpath();
        if (variant == BerthkeepMenubarIcon::Variant::mounting) {
            path = QTransform::fromTranslate(c.x(), c.y())
                       .scale(1, -1)
                       .translate(-c.x(), -c.y())
                       .map(path);
        }
        break;
    }
    case BerthkeepMenubarIcon::Variant::safe:
    case BerthkeepMenubarIcon::Variant::limitedProtection:
        break;
    }
    return path;
}

void clearHalo(QPainter& painter, const QRectF& badge) {
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(badge.adjusted(-kHaloWidth, -kHaloWidth, kHaloWidth, kHaloWidth));
    painter.restore();
}

} // namespace

BerthkeepMenubarRenderedAsset::CacheKey
BerthkeepMenubarRenderedAsset::cacheKey(Variant variant, double pointSize, ColorScheme colorScheme,
                                        const std::string& bundleIdentifier) {
    return CacheKey{variant, BerthkeepMenubarPNGAsset::roundedPointSize(pointSize), colorScheme,
                    BerthkeepRuntimeIdentity::effectiveBundleIdentifier(bundleIdentifier)};
}

QIcon BerthkeepMenubarRenderedAsset::displayImage(Variant variant, double pointSize,
                                                  ColorScheme colorScheme,
                                                  const std::string& bundleIdentifier) {
    static std::map<CacheKey, QIcon> imageCache;
    const CacheKey key = cacheKey(variant, pointSize, colorScheme, bundleIdentifier);
    if (const auto found = imageCache.find(key); found != imageCache.end()) {
        return found->second;
    }
    const bool coloured = key.bundleIdentifier == BerthkeepRuntimeIdentity::testBundleIdentifier;
    QIcon image = render(variant, key.pointSize, colorScheme, coloured);
    if (!hasVisibleContent(image)) {
        BerthkeepStartupAudit::error(
            "BerthkeepMenubarRenderedAsset", coloured ? "displayImage" : "templateImage",
            std::nullopt, BerthkeepAuditWorkPhase::appLaunch,
            coloured ? "Rendered menubar icon was fully transparent; falling back to base image"
                     : "Rendered menubar template icon was fully transparent; falling back to "
                       "base image",
            std::nullopt,
            {{"variant", toString(variant)}, {"point_size", std::to_string(key.pointSize)}});
        image = BerthkeepMenubarPNGAsset::displayImage(key.pointSize);
    }
    imageCache.emplace(key, image);
    return image;
}

QRectF BerthkeepMenubarRenderedAsset::badgeRect(qreal canvasSide) {
    const qreal side = std::max(canvasSide * 0.4, 3.0);
    // Lifted off the bottom edge by 8 % of its side.
    return QRectF(canvasSide - side, canvasSide - side * 0.08 - side, side, side);
}

QRectF BerthkeepMenubarRenderedAsset::haloRect(qreal canvasSide) {
    return badgeRect(canvasSide).adjusted(-kHaloWidth, -kHaloWidth, kHaloWidth, kHaloWidth);
}

bool BerthkeepMenubarRenderedAsset::hasVisibleContent(const QIcon& image) {
    const QList<QSize> sizes = image.availableSizes();
    if (sizes.isEmpty()) {
        return true;
    }
    const QSize largest = *std::max_element(sizes.begin(), sizes.end(),
                                            [](QSize a, QSize b) { return a.width() < b.width(); });
    const QImage pixels = image.pixmap(largest).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (qAlpha(row[x]) > 0) {
                return true;
            }
        }
    }
    return false;
}

QIcon BerthkeepMenubarRenderedAsset::render(Variant variant, int side, ColorScheme colorScheme,
                                            bool coloured) {
    const QIcon base = BerthkeepMenubarPNGAsset::displayImage(side);
    // A mask image is tinted by whoever shows it where the desktop can; where it
    // cannot, the scheme's ink keeps the glyph readable on the panel.
    const QColor ink = colorScheme == ColorScheme::dark ? Qt::white : Qt::black;
    const QRectF canvasRect(0, 0, side, side);
    QIcon result;
    for (const int ratio : BerthkeepMenubarPNGAsset::devicePixelRatios) {
        QImage canvas(side * ratio, side * ratio, QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPixmap glyph = base.pixmap(QSize(side, side), ratio);
        drawTintedBaseImage(painter, glyph, coloured ? BerthkeepMenubarBaseTint::color() : ink,
                            canvasRect);
        if (variant != Variant::safe) {
            if (coloured) {
                drawBadge(painter, variant, badgeRect(side));
            } else {
                drawTemplateBadge(painter, variant, badgeRect(side), ink);
            }
        }
        painter.end();
        result.addPixmap(QPixmap::fromImage(canvas));
    }
    result.setIsMask(!coloured);
    return result;
}

void BerthkeepMenubarRenderedAsset::drawTintedBaseImage(QPainter& painter, const QPixmap& base,
                                                        const QColor& color, const QRectF& canvas) {
    painter.drawPixmap(canvas, base, QRectF(base.rect()));
    painter.save();
    // The colour takes the glyph's shape and alpha.
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(canvas, color);
    painter.restore();
}

void BerthkeepMenubarRenderedAsset::drawTemplateBadge(QPainter& painter, Variant variant,
                                                      const QRectF& badge, const QColor& ink) {
    clearHalo(painter, badge);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(badge);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(badgeSymbol(variant, badge), Qt::black);
    painter.restore();
}

void BerthkeepMenubarRenderedAsset::drawBadge(QPainter& painter, Variant variant,
                                              const QRectF& badge) {
    clearHalo(painter, badge);
    const QColor fill = badgeColor(variant);
    // A soft shadow of the disc's own colour: rings fading out to the blur radius.
    const qreal blur = std::max(badge.width() * 0.08, 0.8);
    constexpr int steps = 4;
    QColor shadow = fill;
    shadow.setAlphaF(0.3f / steps);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    for (int step = steps; step >= 1; --step) {
        const qreal grow = blur * step / steps;
        painter.drawEllipse(badge.adjusted(-grow, -grow, grow, grow));
    }
    painter.setBrush(fill);
    painter.drawEllipse(badge);
    painter.fillPath(badgeSymbol(variant, badge), Qt::white);
}

} // namespace berthkeep

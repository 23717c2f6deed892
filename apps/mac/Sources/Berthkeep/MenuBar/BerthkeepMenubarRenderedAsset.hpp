#pragma once

#include <compare>
#include <string>

#include <QIcon>
#include <QRectF>

#include "Berthkeep/MenuBar/BerthkeepMenubarIcon.hpp"

class QImage;

namespace berthkeep {

// The finished menu-bar image: the glyph with a round badge in its bottom-right
// corner for every variant but `safe`. Under the test bundle identifier the image
// is coloured (an orange glyph, a red, grey, orange or blue badge); under any other
// it is a mask image in the colour scheme's ink (black on light, white on dark),
// with the badge's symbol cut out of its disc. Each key is drawn once, at each
// of the glyph's pixel ratios, and served from a cache that is never evicted.
// Main thread only.
class BerthkeepMenubarRenderedAsset {
public:
    using Variant = BerthkeepMenubarIcon::Variant;
    using ColorScheme = BerthkeepMenubarIcon::ColorScheme;

    BerthkeepMenubarRenderedAsset() = delete;

    struct CacheKey {
        Variant variant = Variant::safe;
        int pointSize = 1;
        ColorScheme colorScheme = ColorScheme::light;
        std::string bundleIdentifier;

        auto operator<=>(const CacheKey&) const = default;
    };

    // An empty identifier counts as the production one. A drawing without a
    // single visible pixel is logged and replaced by the plain glyph.
    static QIcon displayImage(Variant variant, double pointSize, ColorScheme colorScheme,
                              const std::string& bundleIdentifier);
    static CacheKey cacheKey(Variant variant, double pointSize, ColorScheme colorScheme,
                             const std::string& bundleIdentifier);

    // In points, origin top-left, on a square canvas of the given side: the badge
    // disc, and the ring around it cleared out of the glyph.
    static QRectF badgeRect(qreal canvasSide);
    static QRectF haloRect(qreal canvasSide);

    static bool hasVisibleContent(const QIcon& image);

private:
    static QIcon render(Variant variant, int side, ColorScheme colorScheme, bool coloured);
    static void drawTintedBaseImage(QPainter& painter, const QPixmap& base, const QColor& color,
                                    const QRectF& canvas);
    static void drawTemplateBadge(QPainter& painter, Variant variant, const QRectF& badge,
                                  const QColor& ink);
    static void drawBadge(QPainter& painter, Variant variant, const QRectF& badge);
};

} // namespace berthkeep

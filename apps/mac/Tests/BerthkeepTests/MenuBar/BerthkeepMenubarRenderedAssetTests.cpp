#include "Berthkeep/MenuBar/BerthkeepMenubarRenderedAsset.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include <QColor>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>

#include "Berthkeep/MenuBar/BerthkeepMenubarPNGAsset.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {
namespace {

using Asset = BerthkeepMenubarRenderedAsset;
using Variant = BerthkeepMenubarIcon::Variant;
using Scheme = BerthkeepMenubarIcon::ColorScheme;

const std::string kTestId = BerthkeepRuntimeIdentity::testBundleIdentifier;
const std::string kProductionId = BerthkeepRuntimeIdentity::productionBundleIdentifier;

QColor pixelAt(const QIcon& icon, QPointF point) {
    const QImage image = icon.pixmap(QSize(18, 18), 2).toImage();
    return image.convertToFormat(QImage::Format_ARGB32).pixelColor((point * 2).toPoint());
}

TEST(BerthkeepMenubarRenderedAsset, BadgeSitsInTheBottomRightCorner) {
    struct Case {
        qreal canvas;
        QRectF badge;
    };
    const Case cases[] = {
        // Canvas top-left origin: 18 - 7.2 - 0.576 from the top.
        {18, QRectF(10.8, 10.224, 7.2, 7.2)},
        {16, QRectF(9.6, 9.088, 6.4, 6.4)},
        // Never smaller than 3 points.
        {5, QRectF(2, 1.76, 3, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.canvas);
        const QRectF badge = Asset::badgeRect(c.canvas);
        EXPECT_NEAR(badge.x(), c.badge.x(), 1e-9);
        EXPECT_NEAR(badge.y(), c.badge.y(), 1e-9);
        EXPECT_NEAR(badge.width(), c.badge.width(), 1e-9);
        EXPECT_NEAR(badge.height(), c.badge.height(), 1e-9);
    }
    EXPECT_EQ(Asset::haloRect(18).size(), QSizeF(10, 10));
    EXPECT_NEAR(Asset::haloRect(18).x(), 9.4, 1e-9);
}

TEST(BerthkeepMenubarRenderedAsset, CacheKeyRoundsTheSizeAndFillsInTheIdentifier) {
    struct Case {
        double size;
        std::string identifier;
        int pointSize;
        std::string effective;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {0, kTestId, 1, kTestId},       {-4, kTestId, 1, kTestId},
        {0.4, kTestId, 1, kTestId},     {17.5, kTestId, 18, kTestId},
        {18.49, "", 18, kProductionId}, {nan, "app.other", 1, "app.other"},
    };
    for (const Case& c : cases) {
        const auto key = Asset::cacheKey(Variant::attention, c.size, Scheme::dark, c.identifier);
        EXPECT_EQ(key.pointSize, c.pointSize) << c.size;
        EXPECT_EQ(key.bundleIdentifier, c.effective) << c.size;
    }
}

TEST(BerthkeepMenubarRenderedAsset, ImagesAreCachedPerKeyAndMaskOnlyOutsideTests) {
    const QIcon first = Asset::displayImage(Variant::ejecting, 18, Scheme::light, kProductionId);
    EXPECT_EQ(Asset::displayImage(Variant::ejecting, 17.6, Scheme::light, "").cacheKey(),
              first.cacheKey());
    EXPECT_NE(Asset::displayImage(Variant::ejecting, 18, Scheme::dark, kProductionId).cacheKey(),
              first.cacheKey());
    EXPECT_TRUE(first.isMask());
    EXPECT_FALSE(Asset::displayImage(Variant::ejecting, 18, Scheme::light, kTestId).isMask());
    for (const int ratio : {1, 2}) {
        EXPECT_EQ(first.pixmap(QSize(18, 18), ratio).size(), QSize(18, 18) * ratio);
    }
    EXPECT_EQ(Asset::displayImage(Variant::safe, 0.4, Scheme::light, kTestId)
                  .pixmap(QSize(1, 1), 2)
                  .size(),
              QSize(2, 2));
}

// Sampled on the 18-point icon at 2x: the badge centre, the bar of the "!", a
// point of the disc beside the symbol, the cleared ring over the cradle floor,
// the drive body.
TEST(BerthkeepMenubarRenderedAsset, BadgePixelsPerVariantAndStyle) {
    const QPointF centre(14.4, 13.824), bar(14.3, 12.6), disc(17, 13.824), halo(10.5, 16.3), body(6.75, 9);
    const QColor clear(0, 0, 0, 0), black(Qt::black), white(Qt::white);
    const QColor tint = QColor::fromRgbF(0.88f, 0.4f, 0.02f);
    const QColor grey = QColor::fromRgbF(0.56f, 0.58f, 0.6f);
    struct Case {
        Variant variant;
        Scheme scheme;
        std::string identifier;
        QPointF point;
        QColor expected;
    };
    const Case cases[] = {
        {Variant::safe, Scheme::light, kProductionId, halo, black},
        {Variant::safe, Scheme::light, kProductionId, centre, clear},
        {Variant::attention, Scheme::light, kProductionId, halo, clear},
        {Variant::attention, Scheme::light, kProductionId, disc, black},
        {Variant::attention, Scheme::light, kProductionId, bar, clear},
        {Variant::ejecting, Scheme::dark, kProductionId, disc, white},
        {Variant::mounting, Scheme::dark, kProductionId, centre, clear},
        {Variant::mounting, Scheme::dark, kProductionId, body, white},
        {Variant::limitedProtection, Scheme::light, kProductionId, centre, black},
        {Variant::limitedProtection, Scheme::dark, kTestId, centre, grey},
        {Variant::attention, Scheme::light, kTestId, bar, white},
        {Variant::attention, Scheme::light, kTestId, halo, clear},
        {Variant::safe, Scheme::dark, kTestId, body, tint},
    };
    for (const Case& c : cases) {
        const QColor actual =
            pixelAt(Asset::displayImage(c.variant, 18, c.scheme, c.identifier), c.point);
        SCOPED_TRACE(toString(c.variant) + " " + c.identifier + " at " +
                     std::to_string(c.point.x()) + "," + std::to_string(c.point.y()));
        EXPECT_NEAR(actual.alpha(), c.expected.alpha(), 3);
        if (c.expected.alpha() > 0) {
            EXPECT_NEAR(actual.red(), c.expected.red(), 3);
            EXPECT_NEAR(actual.green(), c.expected.green(), 3);
            EXPECT_NEAR(actual.blue(), c.expected.blue(), 3);
        }
    }
}

TEST(BerthkeepMenubarPNGAsset, ResourceBundleCandidatesInOrderWithoutRepeats) {
    const std::string name = "/Berthkeep_Berthkeep.bundle";
    const InMemoryAppBundle app({}, "/Apps/Berthkeep.app",
                                "/Apps/Berthkeep.app/Contents/MacOS/Berthkeep");
    EXPECT_EQ(BerthkeepMenubarPNGAsset::berthkeepResourceBundleCandidateURLs(app),
              (std::vector<std::string>{"/Apps/Berthkeep.app/Contents/Resources" + name,
                                        "/Apps/Berthkeep.app/Contents/MacOS" + name,
                                        "/Apps/Berthkeep.app" + name}));
    const InMemoryAppBundle bare({}, "/opt/tools", "/opt/tools/runner");
    EXPECT_EQ(BerthkeepMenubarPNGAsset::berthkeepResourceBundleCandidateURLs(bare),
              (std::vector<std::string>{"/opt/tools/Contents/Resources" + name, "/opt/tools" + name,
                                        "/opt/Resources" + name}));

    // The tests run outside an app bundle and find the build tree's copy.
    const auto found = BerthkeepMenubarPNGAsset::berthkeepResourceBundle();
    ASSERT_TRUE(found);
    for (const char* file : {"/menubar-icon@1x.png", "/menubar-icon@2x.png"}) {
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(*found + file))) << file;
    }
}

} // namespace
} // namespace berthkeep

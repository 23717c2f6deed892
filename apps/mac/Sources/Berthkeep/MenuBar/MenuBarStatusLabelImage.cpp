#include "Berthkeep/MenuBar/MenuBarStatusLabelImage.hpp"

#include <cmath>
#include <numbers>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "Berthkeep/MenuBar/BerthkeepMenubarPNGAsset.hpp"
#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/MenuBarExtra/DesktopHints.hpp"

namespace berthkeep {

namespace {

// Steps around the circle the outline is stamped at.
constexpr int kOutlineSteps = 16;

void auditStatusItem(const MenubarViewState& state, const std::string& message) {
    BerthkeepStartupAudit::debug("BerthkeepApp", "menuBarStatusLabel", std::nullopt,
                                 BerthkeepAuditWorkPhase::appLaunch, message, std::nullopt,
                                 {{"global_state", state.globalState.description()}});
}

// The colour of the most opaque pixel: the glyph's ink.
QColor inkOf(const QImage& image) {
    QColor ink = Qt::black;
    int strongest = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > strongest) {
                strongest = pixel.alpha();
                ink = pixel;
            }
        }
    }
    ink.setAlpha(255);
    return ink;
}

// Above 0.179 relative luminance black stands further off than white.
QColor contrastingOutline(const QColor& ink) {
    const auto linear = [](float channel) {
        return channel <= 0.04045f ? channel / 12.92f : std::pow((channel + 0.055f) / 1.055f, 2.4f);
    };
    const float luminance = 0.2126f * linear(ink.redF()) + 0.7152f * linear(ink.greenF()) +
                            0.0722f * linear(ink.blueF());
    return luminance > 0.179f ? Qt::black : Qt::white;
}

QImage filledWith(QImage image, const QColor& color) {
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

} // namespace

MenuBarStatusLabelImage::MenuBarStatusLabelImage(qreal size, TrayForeground trayForeground)
    : m_size(size)
    , m_trayForeground(trayForeground ? std::move(trayForeground)
                                      : TrayForeground(&DesktopHints::trayForeground)) {}

QIcon MenuBarStatusLabelImage::image(const MenubarViewState& state,
                                     BerthkeepMenubarIcon::ColorScheme colorScheme) {
    if (!m_hasLoggedInitialRender) {
        m_hasLoggedInitialRender = true;
        auditStatusItem(state, "Assigned initial menu bar status item image");
    }
    return outlined(MenuBarStatusIcon::image(state, m_size, colorScheme,
                                             BerthkeepRuntimeIdentity::currentBundleIdentifier()),
                    m_size, m_trayForeground());
}

void MenuBarStatusLabelImage::itemBecameVisible(const MenubarViewState& state) const {
    auditStatusItem(state, "Menu bar status item became visible");
}

QIcon MenuBarStatusLabelImage::outlined(const QIcon& icon, qreal size,
                                        std::optional<QColor> foreground) {
    const int side = BerthkeepMenubarPNGAsset::roundedPointSize(size);
    QIcon result;
    for (const int ratio : BerthkeepMenubarPNGAsset::devicePixelRatios) {
        QImage glyph = icon.pixmap(QSize(side, side), ratio)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        glyph.setDevicePixelRatio(ratio);
        if (foreground && icon.isMask()) {
            glyph = filledWith(glyph, *foreground);
        }
        const QImage outline = filledWith(glyph, contrastingOutline(inkOf(glyph)));

        QImage canvas(glyph.size(), QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        for (int step = 0; step < kOutlineSteps; ++step) {
            const qreal angle = 2 * std::numbers::pi * step / kOutlineSteps;
            painter.drawImage(QPointF(std::cos(angle), std::sin(angle)) * outlineWidth, outline);
        }
        painter.drawImage(QPointF(0, 0), glyph);
        painter.end();
        result.addPixmap(QPixmap::fromImage(canvas));
    }
    return result;
}

} // namespace berthkeep

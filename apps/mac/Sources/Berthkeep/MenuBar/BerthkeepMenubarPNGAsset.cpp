#include "Berthkeep/MenuBar/BerthkeepMenubarPNGAsset.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPixmap>

#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {

namespace {

bool isDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The glyph scaled to side x side points at a pixel ratio, drawn
// from the smallest representation that needs no enlarging (else the largest).
QImage drawnAtSize(const std::vector<QImage>& representations, int side, int ratio) {
    const int pixels = side * ratio;
    const QImage* source = &representations.back();
    for (const QImage& candidate : representations) {
        if (candidate.width() >= pixels) {
            source = &candidate;
            break;
        }
    }
    // Area-averaged when shrinking, which keeps the thin strokes sharper than a
    // smooth-transformed paint would.
    QImage canvas = source->scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    return canvas;
}

} // namespace

int BerthkeepMenubarPNGAsset::roundedPointSize(double pointSize) {
    if (!std::isfinite(pointSize)) {
        return 1;
    }
    return static_cast<int>(std::max(1.0, std::round(std::min(pointSize, 4096.0))));
}

QIcon BerthkeepMenubarPNGAsset::displayImage(double pointSize) {
    static std::map<int, QIcon> sizedImageCache;
    const int side = roundedPointSize(pointSize);
    if (const auto found = sizedImageCache.find(side); found != sizedImageCache.end()) {
        return found->second;
    }
    QIcon sized;
    for (const int ratio : devicePixelRatios) {
        sized.addPixmap(QPixmap::fromImage(drawnAtSize(baseImage().representations, side, ratio)));
    }
    sized.setIsMask(true);
    sizedImageCache.emplace(side, sized);
    return sized;
}

const BerthkeepMenubarPNGAsset::BaseImage& BerthkeepMenubarPNGAsset::baseImage() {
    static const BaseImage base = makeBaseImage();
    return base;
}

BerthkeepMenubarPNGAsset::BaseImage BerthkeepMenubarPNGAsset::makeBaseImage() {
    const auto oneX = bitmapRepresentation("menubar-icon@1x");
    const auto twoX = bitmapRepresentation("menubar-icon@2x");
    if (!oneX || !twoX) {
        return fallbackImage();
    }
    BaseImage base{{*oneX, *twoX}, 16};
    std::sort(base.representations.begin(), base.representations.end(),
              [](const QImage& a, const QImage& b) { return a.width() < b.width(); });
    return base;
}

// A question mark in a ring, 18 points, for a build that lost its glyph files.
BerthkeepMenubarPNGAsset::BaseImage BerthkeepMenubarPNGAsset::fallbackImage() {
    constexpr int side = 18;
    BaseImage base{{}, side};
    for (const int ratio : devicePixelRatios) {
        QImage image(side * ratio, side * ratio, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(ratio, ratio);
        painter.setPen(QPen(Qt::black, 1.4));
        painter.drawEllipse(QRectF(1.7, 1.7, side - 3.4, side - 3.4));
        QFont font;
        font.setBold(true);
        font.setPixelSize(11);
        painter.setFont(font);
        painter.drawText(QRectF(0, 0, side, side), Qt::AlignCenter, QStringLiteral("?"));
        painter.end();
        base.representations.push_back(image);
    }
    return base;
}

std::optional<QImage> BerthkeepMenubarPNGAsset::bitmapRepresentation(const std::string& name) {
    const auto bundle = berthkeepResourceBundle();
    if (!bundle) {
        return std::nullopt;
    }
    const std::string file = name + ".png";
    std::string path = *bundle + "/" + file;
    if (!QFile::exists(QString::fromStdString(path))) {
        path = *bundle + "/MenubarIcons/" + file;
    }
    QImage image;
    if (!image.load(QString::fromStdString(path), "PNG") || image.isNull()) {
        return std::nullopt;
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::vector<std::string>
BerthkeepMenubarPNGAsset::berthkeepResourceBundleCandidateURLs(const AppBundle& bundle) {
    const std::string name = resourceBundleName;
    std::vector<std::string> candidates{bundle.resourcesPath() + "/" + name};
    if (const auto folder = bundle.executableFolderPath()) {
        const std::filesystem::path executableFolder(*folder);
        candidates.push_back((executableFolder / name).string());
        candidates.push_back((executableFolder.parent_path() / "Resources" / name).string());
    }
    candidates.push_back(bundle.bundlePath() + "/" + name);

    std::vector<std::string> unique;
    for (std::string& candidate : candidates) {
        candidate = std::filesystem::path(candidate).lexically_normal().string();
        if (std::find(unique.begin(), unique.end(), candidate) == unique.end()) {
            unique.push_back(std::move(candidate));
        }
    }
    return unique;
}

std::optional<std::string> BerthkeepMenubarPNGAsset::berthkeepResourceBundle() {
    for (const std::string& candidate : berthkeepResourceBundleCandidateURLs(*AppBundle::main())) {
        if (isDirectory(candidate)) {
            return candidate;
        }
    }
#ifdef BERTHKEEP_DEVELOPMENT_RESOURCE_BUNDLE_DIR
    if (isDirectory(BERTHKEEP_DEVELOPMENT_RESOURCE_BUNDLE_DIR)) {
        return std::string(BERTHKEEP_DEVELOPMENT_RESOURCE_BUNDLE_DIR);
    }
#endif
    return std::nullopt;
}

} // namespace berthkeep

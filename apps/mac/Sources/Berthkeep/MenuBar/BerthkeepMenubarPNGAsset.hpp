#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <QIcon>
#include <QImage>

namespace berthkeep {

class AppBundle;

// The product glyph from the two PNG files of the resource bundle
// "Berthkeep_Berthkeep.bundle" ("menubar-icon@1x" and "menubar-icon@2x", at its top
// level or in "MenubarIcons"), as a monochrome (mask) image. Without both files
// the glyph is a drawn question mark in a circle. Main thread only; the glyph and
// each sized copy are made once and kept for the life of the process.
class BerthkeepMenubarPNGAsset {
public:
    BerthkeepMenubarPNGAsset() = delete;

    static constexpr const char* resourceBundleName = "Berthkeep_Berthkeep.bundle";
    // Every image of the menu-bar icon has a pixmap at each of these ratios, so
    // a screen or picture at any of them gets its own pixels, not enlarged ones;
    // a ratio in between is shrunk from the next one up.
    static constexpr std::array<int, 4> devicePixelRatios{1, 2, 3, 4};

    // The glyph at the given point size rounded to a whole number (at least 1),
    // with a pixmap at each ratio; the fallback of every rendering path.
    static QIcon displayImage(double pointSize);

    // Where the resource bundle may be, in order of preference, repeats dropped:
    // the bundle's resources folder, the executable's folder, its sibling
    // "Resources" folder, the bundle folder itself.
    static std::vector<std::string> berthkeepResourceBundleCandidateURLs(const AppBundle& bundle);
    // The first candidate folder that exists, else the build tree's copy when it
    // exists; looked up afresh on each call.
    static std::optional<std::string> berthkeepResourceBundle();

    // A whole point size: halves away from zero, at least 1; non-finite gives 1.
    static int roundedPointSize(double pointSize);

private:
    struct BaseImage {
        // The representations, smallest first; each knows its pixel size.
        std::vector<QImage> representations;
        // The side in points the representations stand for.
        qreal pointSize = 16;
    };

    static const BaseImage& baseImage();
    static BaseImage makeBaseImage();
    static BaseImage fallbackImage();
    static std::optional<QImage> bitmapRepresentation(const std::string& name);
};

} // namespace berthkeep

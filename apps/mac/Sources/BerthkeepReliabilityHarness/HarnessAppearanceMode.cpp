#include "BerthkeepReliabilityHarness/HarnessAppearanceMode.hpp"

namespace berthkeep {

namespace {

struct Colors {
    QColor window;
    QColor base;
    QColor alternateBase;
    QColor text;
    QColor secondaryText;
    QColor button;
    QColor highlight;
};

QPalette paletteFrom(const Colors& colors) {
    QPalette palette;
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, colors.window);
        palette.setColor(group, QPalette::WindowText, colors.text);
        palette.setColor(group, QPalette::Base, colors.base);
        palette.setColor(group, QPalette::AlternateBase, colors.alternateBase);
        palette.setColor(group, QPalette::Text, colors.text);
        palette.setColor(group, QPalette::PlaceholderText, colors.secondaryText);
        palette.setColor(group, QPalette::Button, colors.button);
        palette.setColor(group, QPalette::ButtonText, colors.text);
        palette.setColor(group, QPalette::Highlight, colors.highlight);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, colors.base);
        palette.setColor(group, QPalette::ToolTipText, colors.text);
        palette.setColor(group, QPalette::Light, colors.button.lighter(130));
        palette.setColor(group, QPalette::Midlight, colors.button.lighter(115));
        palette.setColor(group, QPalette::Mid, colors.button.darker(130));
        palette.setColor(group, QPalette::Dark, colors.button.darker(160));
        palette.setColor(group, QPalette::Shadow, Qt::black);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, colors.window);
    palette.setColor(QPalette::Disabled, QPalette::Base, colors.base);
    palette.setColor(QPalette::Disabled, QPalette::Button, colors.button);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, colors.secondaryText);
    }
    return palette;
}

} // namespace

std::string rawValue(HarnessAppearanceMode mode) {
    switch (mode) {
    case HarnessAppearanceMode::system:
        return "system";
    case HarnessAppearanceMode::light:
        return "light";
    case HarnessAppearanceMode::dark:
        return "dark";
    }
    return {};
}

std::optional<HarnessAppearanceMode> harnessAppearanceModeFromRawValue(std::string_view raw) {
    for (const HarnessAppearanceMode mode : allHarnessAppearanceModes) {
        if (raw == rawValue(mode)) {
            return mode;
        }
    }
    return std::nullopt;
}

std::string title(HarnessAppearanceMode mode) {
    switch (mode) {
    case HarnessAppearanceMode::system:
        return "System";
    case HarnessAppearanceMode::light:
        return "Light";
    case HarnessAppearanceMode::dark:
        return "Dark";
    }
    return {};
}

std::optional<QPalette> harnessPalette(HarnessAppearanceMode mode) {
    switch (mode) {
    case HarnessAppearanceMode::system:
        return std::nullopt;
    case HarnessAppearanceMode::light:
        return paletteFrom({QColor(0xec, 0xec, 0xec), Qt::white, QColor(0xf4, 0xf5, 0xf5),
                            QColor(0, 0, 0, 0xd9), QColor(0, 0, 0, 0x80), QColor(0xfb, 0xfb, 0xfb),
                            QColor(0x00, 0x7a, 0xff)});
    case HarnessAppearanceMode::dark:
        return paletteFrom({QColor(0x32, 0x32, 0x32), QColor(0x1e, 0x1e, 0x1e),
                            QColor(0x2a, 0x2a, 0x2a), QColor(255, 255, 255, 0xd9),
                            QColor(255, 255, 255, 0x8c), QColor(0x4a, 0x4a, 0x4a),
                            QColor(0x0a, 0x84, 0xff)});
    }
    return std::nullopt;
}

} // namespace berthkeep

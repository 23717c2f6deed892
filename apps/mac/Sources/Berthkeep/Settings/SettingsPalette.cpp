#include "Berthkeep/Settings/SettingsPalette.hpp"

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"

namespace berthkeep::SettingsPalette {

QColor blue() {
    return QColor(38, 120, 240);
}
QColor teal() {
    return QColor(36, 160, 180);
}
QColor green() {
    return QColor(46, 164, 79);
}
QColor mint() {
    return QColor(40, 184, 164);
}
QColor indigo() {
    return QColor(92, 84, 214);
}
QColor secondaryTint() {
    return QColor(136, 136, 144);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor material(const QPalette& palette) {
    // Lighter than the window on both appearances, and see-through enough to
    // keep the background's tint.
    return MenuBarPalette::isDark(palette) ? QColor(255, 255, 255, 18) : QColor(255, 255, 255, 178);
}

QColor outline(const QPalette& palette) {
    return MenuBarPalette::withOpacity(palette.color(QPalette::WindowText), 0.08);
}

QColor divider(const QPalette& palette) {
    return MenuBarPalette::withOpacity(palette.color(QPalette::WindowText),
                                       MenuBarPalette::isDark(palette) ? 0.14 : 0.1);
}

} // namespace berthkeep::SettingsPalette

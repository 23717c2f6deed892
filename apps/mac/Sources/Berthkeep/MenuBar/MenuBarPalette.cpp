#include "Berthkeep/MenuBar/MenuBarPalette.hpp"

namespace berthkeep::MenuBarPalette {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Window).lightness() < 128;
}

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::WindowText);
}

QColor secondary(const QPalette& palette) {
    return withOpacity(primary(palette), isDark(palette) ? 0.55 : 0.5);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Active, accentRole);
}

// Our own orange and green, a little lighter on dark backgrounds.
QColor orange(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 160, 40) : QColor(238, 136, 18);
}

QColor systemGreen(const QPalette& palette) {
    return isDark(palette) ? QColor(62, 200, 96) : QColor(42, 172, 80);
}

QColor withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

QColor summarySupporting(const QPalette& p) {
    return withOpacity(secondary(p), 0.9);
}
QColor summaryMeta(const QPalette& p) {
    return withOpacity(secondary(p), 0.74);
}
QColor lastAction(const QPalette& p) {
    return withOpacity(secondary(p), 0.78);
}
QColor scopeRow(const QPalette& p) {
    return primary(p);
}
QColor scopeRowIcon(const QPalette& p) {
    return primary(p);
}
QColor scopeRowSeparator(const QPalette& p) {
    return utilitySeparator(p);
}
QColor safeStatus(const QPalette& p) {
    return withOpacity(secondary(p), 0.86);
}
QColor connectedStatus(const QPalette& p) {
    return withOpacity(secondary(p), 0.78);
}
QColor busyStatus(const QPalette& p) {
    return withOpacity(orange(p), 0.9);
}
QColor ejectingStatus(const QPalette& p) {
    return withOpacity(accent(p), 0.82);
}
QColor mountingStatus(const QPalette& p) {
    return withOpacity(accent(p), 0.78);
}
QColor safeIndicator(const QPalette& p) {
    return withOpacity(systemGreen(p), 0.92);
}
QColor connectedIndicator(const QPalette& p) {
    return withOpacity(secondary(p), 0.35);
}
QColor busyIndicator(const QPalette& p) {
    return withOpacity(orange(p), 0.95);
}
QColor ejectingIndicator(const QPalette& p) {
    return withOpacity(accent(p), 0.92);
}
QColor mountingIndicator(const QPalette& p) {
    return withOpacity(accent(p), 0.82);
}
QColor notMountedIndicator(const QPalette& p) {
    return withOpacity(secondary(p), 0.42);
}
QColor excludedStatus(const QPalette& p) {
    return withOpacity(secondary(p), 0.72);
}
QColor excludedIndicator(const QPalette& p) {
    return withOpacity(secondary(p), 0.5);
}
QColor driveMeta(const QPalette& p) {
    return withOpacity(secondary(p), 0.76);
}
QColor driveGroupFill(const QPalette& p) {
    return withOpacity(primary(p), 0.04);
}
QColor driveGroupStroke(const QPalette& p) {
    return withOpacity(primary(p), 0.08);
}
QColor driveGroupPlainFill(const QPalette&) {
    return Qt::transparent;
}
QColor driveGroupPlainStroke(const QPalette&) {
    return Qt::transparent;
}
QColor utilitySeparator(const QPalette& p) {
    return withOpacity(primary(p), 0.12);
}
QColor menuHoverFill(const QPalette& p) {
    return accent(p);
}
QColor menuHoverForeground(const QPalette&) {
    return Qt::white;
}

} // namespace berthkeep::MenuBarPalette

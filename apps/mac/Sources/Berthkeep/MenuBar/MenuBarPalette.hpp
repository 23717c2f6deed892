#pragma once

#include <QColor>
#include <QPalette>

// Colours of the menu-bar menu, read from the palette the view paints with, so
// light and dark appearance and the user's highlight colour follow without code
// of their own. "x at 0.9" below is x with its opacity multiplied by 0.9.
namespace berthkeep::MenuBarPalette {

// Qt has no accent role; the selection highlight is the user's chosen colour in
// every style we ship on, so the menu's accent is read from it and only here.
inline constexpr QPalette::ColorRole accentRole = QPalette::Highlight;

// One named colour of this namespace, to be asked of a palette at paint time.
using Color = QColor (*)(const QPalette&);

// Base colours.
bool isDark(const QPalette& palette);
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor accent(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor systemGreen(const QPalette& palette);
QColor withOpacity(QColor color, qreal opacity);

QColor summarySupporting(const QPalette& palette);
QColor summaryMeta(const QPalette& palette);
QColor lastAction(const QPalette& palette);
QColor scopeRow(const QPalette& palette);
QColor scopeRowIcon(const QPalette& palette);
QColor scopeRowSeparator(const QPalette& palette);
QColor safeStatus(const QPalette& palette);
QColor connectedStatus(const QPalette& palette);
QColor busyStatus(const QPalette& palette);
QColor ejectingStatus(const QPalette& palette);
QColor mountingStatus(const QPalette& palette);
QColor safeIndicator(const QPalette& palette);
QColor connectedIndicator(const QPalette& palette);
QColor busyIndicator(const QPalette& palette);
QColor ejectingIndicator(const QPalette& palette);
QColor mountingIndicator(const QPalette& palette);
QColor notMountedIndicator(const QPalette& palette);
QColor excludedStatus(const QPalette& palette);
QColor excludedIndicator(const QPalette& palette);
QColor driveMeta(const QPalette& palette);
QColor driveGroupFill(const QPalette& palette);
QColor driveGroupStroke(const QPalette& palette);
QColor driveGroupPlainFill(const QPalette& palette);
QColor driveGroupPlainStroke(const QPalette& palette);
QColor utilitySeparator(const QPalette& palette);
QColor menuHoverFill(const QPalette& palette);
QColor menuHoverForeground(const QPalette& palette);

} // namespace berthkeep::MenuBarPalette

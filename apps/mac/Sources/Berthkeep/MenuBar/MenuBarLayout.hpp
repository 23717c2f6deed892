#pragma once

#include <QMargins>

// Lengths of the menu-bar menu, in logical pixels.
namespace berthkeep::MenuBarLayout {

inline constexpr QMargins contentInsets{14, 12, 14, 10}; // left, top, right, bottom
inline constexpr int headerSpacing = 4;
inline constexpr int lastActionTopSpacing = 8;
inline constexpr int scopeRowTopSpacing = 6;
inline constexpr int scopeRowSpacing = 7;
inline constexpr int scopeRowContentTopSpacing = 8;
inline constexpr int driveListTopSpacing = 8;
inline constexpr int driveGroupSpacing = 5;
inline constexpr int utilityTopSpacing = 10;
inline constexpr int utilityTopSpacingWithoutList = 8;
inline constexpr int utilitySeparatorBottomSpacing = 8;
inline constexpr int utilityQuitSeparatorTopSpacing = 6;
inline constexpr int utilityQuitSeparatorBottomSpacing = 6;
inline constexpr int utilityRowSpacing = 2;
inline constexpr int utilityHoverCornerRadius = 4;
inline constexpr int headerIconSize = 17;
inline constexpr int lastActionHorizontalPadding = 6;
inline constexpr int scopeRowIconSize = 10;
inline constexpr int scopeRowIconFrameWidth = 12;
inline constexpr int driveGroupHorizontalPadding = 8;
inline constexpr int driveGroupVerticalPadding = 6;
inline constexpr int driveGroupCornerRadius = 7;
inline constexpr int driveIndicatorSize = 7;
inline constexpr int driveIndicatorSpacing = 7;
inline constexpr int utilityRowMinHeight = 20;

} // namespace berthkeep::MenuBarLayout

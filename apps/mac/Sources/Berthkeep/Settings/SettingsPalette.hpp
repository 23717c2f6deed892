#pragma once

#include <QColor>
#include <QPalette>

namespace berthkeep {

// The colours of the settings page: fixed tints that read on light and dark
// windows alike, and the surfaces, derived from the widget's palette so the page
// follows the desktop's appearance.
namespace SettingsPalette {

QColor blue();
QColor teal();
QColor green();
QColor mint();
QColor indigo();
// The neutral tint of toggle-row badges and of quiet status words.
QColor secondaryTint();

QColor accent(const QPalette& palette);
// The translucent surface of a card.
QColor material(const QPalette& palette);
// A card's hairline outline and the divider line.
QColor outline(const QPalette& palette);
QColor divider(const QPalette& palette);

} // namespace SettingsPalette

} // namespace berthkeep

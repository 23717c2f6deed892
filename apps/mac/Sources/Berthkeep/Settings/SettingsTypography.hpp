#pragma once

#include <QFont>

namespace berthkeep {

// The text styles of the settings page and the Full Monitoring prompt, from the
// application font at fixed pixel sizes, so the page keeps its proportions
// whatever the desktop's font size.
namespace SettingsTypography {

QFont title3Semibold();
QFont headline();
QFont body();
QFont bodyMedium();
QFont callout();
QFont caption();
QFont captionMedium();
QFont captionMonospaced();
QFont caption2Medium();

} // namespace SettingsTypography

} // namespace berthkeep

#pragma once

#include <QFont>

// Fonts of the menu-bar menu: the system font at a size in logical pixels (some
// are fractional, so they are set as point sizes) and a weight. Each is built
// once, on first use, after the application exists.
namespace berthkeep::MenuBarTypography {

const QFont& header();
const QFont& headerSupporting();
const QFont& summaryMeta();
const QFont& lastAction();
const QFont& scopeRow();
const QFont& driveName();
const QFont& driveMeta();
const QFont& utilityAction();

// The system font at `pixels` logical pixels; also for the drawn symbols.
QFont systemFont(qreal pixels, QFont::Weight weight = QFont::Normal);

} // namespace berthkeep::MenuBarTypography

#pragma once

#include <QLabel>
#include <QString>

#include <string>

namespace berthkeep {

// The text sizes of the harness window (not of the menu, which has its own).
enum class HarnessTextStyle {
    title2,
    title3,
    headline,
    subheadline,
    callout,
    caption,
};

struct HarnessTextOptions {
    QFont::Weight weight = QFont::Normal;
    // Drawn in the palette's secondary text colour, so it follows the appearance.
    bool secondary = false;
    bool monospaced = false;
    // Wraps onto as many lines as it needs instead of widening the column.
    bool wraps = false;
    // Stays on one line and gives up its middle to "…" when it does not fit.
    bool elides = false;
    bool selectable = false;
};

QFont harnessFont(HarnessTextStyle style, QFont::Weight weight = QFont::Normal);
QLabel* harnessLabel(const QString& text, HarnessTextStyle style, HarnessTextOptions options = {},
                     QWidget* parent = nullptr);
QLabel* harnessLabel(const std::string& text, HarnessTextStyle style,
                     HarnessTextOptions options = {}, QWidget* parent = nullptr);

} // namespace berthkeep

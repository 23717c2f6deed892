#include "BerthkeepReliabilityHarness/HarnessText.hpp"

#include <QFontDatabase>

#include "BerthkeepReliabilityHarness/ElidingLabel.hpp"

namespace berthkeep {

namespace {

int pixelSize(HarnessTextStyle style) {
    switch (style) {
    case HarnessTextStyle::title2:
        return 17;
    case HarnessTextStyle::title3:
        return 15;
    case HarnessTextStyle::headline:
        return 13;
    case HarnessTextStyle::subheadline:
        return 11;
    case HarnessTextStyle::callout:
        return 12;
    case HarnessTextStyle::caption:
        return 10;
    }
    return 13;
}

} // namespace

QFont harnessFont(HarnessTextStyle style, QFont::Weight weight) {
    QFont font;
    font.setPixelSize(pixelSize(style));
    // A headline is bold unless asked otherwise.
    font.setWeight(style == HarnessTextStyle::headline && weight == QFont::Normal ? QFont::DemiBold
                                                                                  : weight);
    return font;
}

QLabel* harnessLabel(const QString& text, HarnessTextStyle style, HarnessTextOptions options,
                     QWidget* parent) {
    QLabel* label = options.elides ? new ElidingLabel(text, parent) : new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    QFont font = harnessFont(style, options.weight);
    if (options.monospaced) {
        const int size = font.pixelSize();
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(size);
    }
    label->setFont(font);
    if (options.secondary) {
        label->setForegroundRole(QPalette::PlaceholderText);
    }
    label->setWordWrap(options.wraps && !options.elides);
    if (options.selectable) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    return label;
}

QLabel* harnessLabel(const std::string& text, HarnessTextStyle style, HarnessTextOptions options,
                     QWidget* parent) {
    return harnessLabel(QString::fromStdString(text), style, options, parent);
}

} // namespace berthkeep

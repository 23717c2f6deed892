#include "Berthkeep/Settings/SettingsTypography.hpp"

#include <QFontDatabase>
#include <QGuiApplication>

namespace berthkeep::SettingsTypography {

namespace {

QFont sized(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

} // namespace

QFont title3Semibold() {
    return sized(16, QFont::DemiBold);
}
QFont headline() {
    return sized(13, QFont::DemiBold);
}
QFont body() {
    return sized(13);
}
QFont bodyMedium() {
    return sized(13, QFont::Medium);
}
QFont callout() {
    return sized(12);
}
QFont caption() {
    return sized(11);
}
QFont captionMedium() {
    return sized(11, QFont::Medium);
}

QFont captionMonospaced() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    return font;
}

QFont caption2Medium() {
    return sized(10, QFont::Medium);
}

} // namespace berthkeep::SettingsTypography

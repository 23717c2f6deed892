#include "Berthkeep/MenuBar/MenuBarTypography.hpp"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

namespace berthkeep::MenuBarTypography {

QFont systemFont(qreal pixels, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // Point sizes take fractions where pixel sizes do not; convert with the
    // screen's logical resolution so one point stays one logical pixel.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPointSizeF(pixels * 72.0 / dpi);
    font.setWeight(weight);
    return font;
}

const QFont& header() {
    static const QFont font = systemFont(15, QFont::DemiBold);
    return font;
}

const QFont& headerSupporting() {
    static const QFont font = systemFont(12.5);
    return font;
}

const QFont& summaryMeta() {
    static const QFont font = systemFont(11.5);
    return font;
}

const QFont& lastAction() {
    static const QFont font = systemFont(11.5);
    return font;
}

const QFont& scopeRow() {
    static const QFont font = systemFont(12);
    return font;
}

const QFont& driveName() {
    static const QFont font = systemFont(13.5, QFont::Medium);
    return font;
}

const QFont& driveMeta() {
    static const QFont font = systemFont(11.5);
    return font;
}

const QFont& utilityAction() {
    static const QFont font = systemFont(12.5);
    return font;
}

} // namespace berthkeep::MenuBarTypography

#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace berthkeep {

// Draws the small line symbols of the settings page and the prompt, by name
// ("power", "bell.badge", "externaldrive.fill", ...). Each is drawn on a 20-unit
// grid scaled to the point size and centred in the box; an unknown name draws
// nothing.
namespace SettingsSymbolPainter {

void paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color,
           qreal pointSize);
bool knows(const QString& name);

} // namespace SettingsSymbolPainter

} // namespace berthkeep

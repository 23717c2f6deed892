#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace berthkeep {

// The small pictures the menu draws beside its texts. Our own line drawings,
// scaled to the box they are given.
enum class MenuBarSymbol {
    externalDrive,
};

// The symbol's width over its height, to size a box for a given height.
qreal aspectRatio(MenuBarSymbol symbol);

void drawSymbol(QPainter& painter, MenuBarSymbol symbol, const QRectF& box, const QColor& color);

} // namespace berthkeep

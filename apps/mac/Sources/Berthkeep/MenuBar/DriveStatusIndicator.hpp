#pragma once

#include <QColor>
#include <QWidget>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"

namespace berthkeep {

// A drive card's status dot, with the card's 3 px top inset built in so it sits
// level with the title line.
class DriveStatusIndicator final : public QWidget {
public:
    explicit DriveStatusIndicator(MenuBarPalette::Color color, QWidget* parent = nullptr);

    QColor color() const { return m_color(palette()); }
    void setColor(MenuBarPalette::Color color);
    // The dot's square inside the widget.
    QRect dotRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MenuBarPalette::Color m_color;
};

} // namespace berthkeep

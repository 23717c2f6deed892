#pragma once

#include <QWidget>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"

namespace berthkeep {

// A one-pixel horizontal line across the full width, in a palette-derived colour.
class MenuBarDivider final : public QWidget {
public:
    explicit MenuBarDivider(MenuBarPalette::Color color, QWidget* parent = nullptr);

    QColor color() const { return m_color(palette()); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MenuBarPalette::Color m_color;
};

} // namespace berthkeep

#pragma once

#include <string>

#include <QIcon>
#include <QWidget>

#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/MenuBar/BerthkeepMenubarIcon.hpp"

namespace berthkeep {

// The menu-bar icon for a published state: which variant, and how strongly it is
// drawn. A mounting row anywhere wins over an ejecting one, and either wins over
// the global state; the opacity follows the global state alone. The widget shows
// it in the menu header; image() gives the same picture for the tray.
class MenuBarStatusIcon : public QWidget {
public:
    MenuBarStatusIcon(MenubarViewState state, qreal size, QWidget* parent = nullptr);

    const MenubarViewState& state() const { return m_state; }
    void setState(MenubarViewState state);

    static BerthkeepMenubarIcon::Variant iconVariant(const MenubarViewState& state);
    static double baseOpacity(const MenubarViewState& state);

    // The finished image with the opacity applied, at every ratio of the glyph.
    static QIcon image(const MenubarViewState& state, qreal size,
                       BerthkeepMenubarIcon::ColorScheme colorScheme,
                       const std::string& bundleIdentifier);

private:
    MenubarViewState m_state;
    BerthkeepMenubarIcon* m_icon;
};

} // namespace berthkeep

#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QColor>
#include <QIcon>

#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/MenuBar/BerthkeepMenubarIcon.hpp"

namespace berthkeep {

// The tray item's picture: the status icon for the current state at 18 points
// by default. It writes two debug audit lines (component "BerthkeepApp"): one when
// the first image is handed out, one each time the item is shown. One instance
// per tray item; a new item logs its first image again. Main thread only.
//
// The tray's panel may be dark or light whatever the application's scheme, so
// the glyph is inked in the colour the tray host publishes when it does, and it
// always carries an outline in the contrasting colour: readable on any panel.
class MenuBarStatusLabelImage {
public:
    static constexpr qreal defaultSize = 18;
    // The outline's width, in points.
    static constexpr qreal outlineWidth = 1;

    using TrayForeground = std::function<std::optional<QColor>()>;

    // Absent trayForeground: asks the desktop's tray host on every image.
    explicit MenuBarStatusLabelImage(qreal size = defaultSize, TrayForeground trayForeground = {});

    // For QSystemTrayIcon::setIcon on every state change; `colorScheme` inks
    // the glyph when the tray host names no colour.
    QIcon image(const MenubarViewState& state, BerthkeepMenubarIcon::ColorScheme colorScheme);
    // Call when the tray item becomes visible.
    void itemBecameVisible(const MenubarViewState& state) const;

    bool hasLoggedInitialRender() const { return m_hasLoggedInitialRender; }

    // The icon re-inked in `foreground` when given and the icon is monochrome,
    // inside an outline of black or white, whichever stands further from its ink.
    static QIcon outlined(const QIcon& icon, qreal size, std::optional<QColor> foreground);

private:
    qreal m_size;
    TrayForeground m_trayForeground;
    bool m_hasLoggedInitialRender = false;
};

} // namespace berthkeep
